// The OBJ reader: one pass over the file, read in blocks of whole statements,
// each statement checked and turned into geometry as soon as it is read.
//
// What an object needs cannot all be known while it is read: its vertex list
// holds the file vertices its elements use, in file order, and an element may
// use any vertex defined before it. So the reader keeps every file vertex and,
// per object, its elements as file vertex numbers; when the object ends (at the
// next `o`/`g` with a name, or at the end of the file) it knows which vertices
// it used and builds the finished Object at once, in arrays of exactly its size.
// The object's own records are freed block by block as they are copied, so the
// peak is the document plus the file's vertices, not twice the document.
#include "host/models/obj_file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace vhost::models {
namespace {

constexpr int64_t kMaxCount = INT32_MAX;  // the document model counts in 32 bits

// A list that grows in fixed blocks: appending never moves what is there (no
// copy of the whole list, no moment holding it twice), and the blocks before
// a position can be freed once a reader has passed them.
template <typename T>
class BlockList {
 public:
  static constexpr std::size_t kShift = 16;
  static constexpr std::size_t kBlock = std::size_t{1} << kShift;

  std::size_t size() const { return size_; }
  T& operator[](std::size_t i) { return blocks_[i >> kShift][i & (kBlock - 1)]; }

  void push_back(const T& value) {
    if ((size_ & (kBlock - 1)) == 0) blocks_.emplace_back(new T[kBlock]);
    (*this)[size_++] = value;
  }

  // Frees the blocks that lie wholly before `index`: they are not read again.
  void ReleaseBefore(std::size_t index) {
    for (; released_ < (index >> kShift); ++released_) blocks_[released_].reset();
  }

 private:
  std::vector<std::unique_ptr<T[]>> blocks_;
  std::size_t size_ = 0;
  std::size_t released_ = 0;  // blocks freed from the front
};

struct Position {
  double x, y, z;
};

// One object of the file while it is read: its elements, each point a file
// vertex numbered from 0.
struct ObjectRecord {
  explicit ObjectRecord(std::string objectName) : name(std::move(objectName)) {}

  std::string name;
  BlockList<int32_t> faceSizes;  // `f`: points of each face
  BlockList<int32_t> faceCorners;
  BlockList<int32_t> lineSizes;  // `l`: points of each polyline
  BlockList<int32_t> lineCorners;
  BlockList<int32_t> points;  // `p`: one point each
  std::vector<int32_t> used;  // the file vertices used, in the order first met
  int32_t firstUsed = INT32_MAX;
  int32_t lastUsed = -1;

  bool Empty() const {
    return faceSizes.size() == 0 && lineSizes.size() == 0 && points.size() == 0;
  }
  int64_t Segments() const {
    return static_cast<int64_t>(lineCorners.size()) - static_cast<int64_t>(lineSizes.size());
  }
  int64_t ElementCount() const {
    return static_cast<int64_t>(faceSizes.size()) + Segments() +
           static_cast<int64_t>(points.size());
  }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The next blank-separated field at or after `p`, empty at the end of the line
// or where a comment starts (a `#` after a blank; fields are split at blanks,
// so a field that starts with `#` is one).
std::string_view NextField(char*& p, char* end) {
  while (p < end && IsBlank(*p)) ++p;
  if (p < end && *p == '#') p = end;
  char* start = p;
  while (p < end && !IsBlank(*p)) ++p;
  return {start, static_cast<std::size_t>(p - start)};
}

// Where the comment in [p, end) starts, or `end`.
char* CommentStart(char* p, char* end) {
  for (char* c = p; c < end; ++c) {
    if (*c == '#' && (c == p || IsBlank(c[-1]))) return c;
  }
  return end;
}

// A decimal number with an exponent of at most 4 digits; the whole field must be one.
bool IsNumber(std::string_view s) { return IsDecimalNumber(s, 4); }

// The value of a field IsNumber accepted, rounded to the nearest double; past
// the range of a double, infinity or zero with the number's sign.
double NumberValue(std::string_view s) {
  const char* begin = s.data();
  const char* const end = begin + s.size();
  if (*begin == '+') ++begin;  // from_chars takes only a minus
  double value = 0;
  if (std::from_chars(begin, end, value).ec == std::errc()) return value;
  // Out of range: the decimal exponent of the first significant digit tells
  // which way (no file holds the hundreds of digits it takes to be near).
  const bool negative = *begin == '-';
  if (negative) ++begin;
  const char* c = begin;
  while (c < end && *c == '0') ++c;
  int64_t magnitude = 0;  // of the first significant digit
  if (c < end && IsDigit(*c)) {
    for (const char* d = c + 1; d < end && IsDigit(*d); ++d) ++magnitude;
  } else if (c < end && *c == '.') {
    for (++c, magnitude = -1; c < end && *c == '0'; ++c) --magnitude;
  }
  const char* e = begin;
  while (e < end && *e != 'e' && *e != 'E') ++e;
  if (e < end) {
    const bool down = e[1] == '-';
    int64_t exponent = 0;
    for (++e; e < end; ++e) {
      if (IsDigit(*e)) exponent = exponent * 10 + (*e - '0');
    }
    magnitude += down ? -exponent : exponent;
  }
  const double limit = magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -limit : limit;
}

// Shows a piece of the file in a message: short, and printable.
std::string Quote(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  if (text.size() > kMax) out += "...";
  return out + "'";
}

class ObjReader {
 public:
  ObjReader(const std::string& path, const ProgressShare& progress)
      : path_(path), file_(path), progress_(progress), current_(FileStem(path)) {}

  // Reads the whole file into `objects`, one slot for each object that holds
  // something, in file order.
  void Read(Document& objects) {
    objects_ = &objects;
    for (std::size_t end = NextChunk(); end > 0; end = NextChunk()) {
      Parse(buffer_.data(), buffer_.data() + end);
      handed_ = end;
      done_ += end;
      progress_.Report(done_);
    }
    FinishObject(/*last=*/true);
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  [[noreturn]] void Fail(const std::string& message) const {
    throw ModelError(path_, line_, message);
  }

  // --- Blocks of whole statements --------------------------------------------

  // Drops what has been parsed and reads on until the buffer holds a whole
  // statement; returns where the last whole one ends, or the size of what is
  // left at the end of the file (0 once nothing is).
  std::size_t NextChunk() {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(handed_));
    handed_ = 0;
    searched_ = 0;
    for (;;) {
      // The buffer now holds the start of one statement only: it may grow up to
      // the longest statement read, no further.
      const std::size_t old = buffer_.size();
      const auto room = static_cast<std::size_t>(kMaxObjStatementBytes) -
                        std::min(old, static_cast<std::size_t>(kMaxObjStatementBytes));
      if (!file_.AtEnd() && room > 0) {
        const std::size_t want = std::min(kChunk, room);
        buffer_.resize(old + want);
        buffer_.resize(old + file_.Read(buffer_.data() + old, want));
        // Early, so that a binary file (or an endless device) is refused at once;
        // the statements are then known to hold none.
        const auto* nul =
            static_cast<const char*>(std::memchr(buffer_.data() + old, '\0', buffer_.size() - old));
        if (nul != nullptr) FailNul(buffer_.data(), nul);
      }
      const std::size_t cut = LastStatementEnd();
      if (cut > 0) return cut;
      if (file_.AtEnd()) return buffer_.size();
      if (buffer_.size() >= kMaxObjStatementBytes) FailLongStatement();
    }
  }

  // Just past the line end of the last whole statement in the buffer; 0 for
  // none. A line end counts when no `\` comes before it: one that does may be
  // in a comment (which it does not continue), but the statement surely ends at
  // the next line end without one.
  std::size_t LastStatementEnd() {
    const char* data = buffer_.data();
    std::size_t n = buffer_.size();
    if (n > 0 && data[n - 1] == '\r' && !file_.AtEnd()) --n;  // maybe half of a CRLF
    for (std::size_t i = n; i > searched_; --i) {
      const char c = data[i - 1];
      if (c != '\n' && c != '\r') continue;
      std::size_t lineEnd = i - 1;
      if (c == '\n' && lineEnd > 0 && data[lineEnd - 1] == '\r') --lineEnd;
      if (lineEnd == 0 || data[lineEnd - 1] != '\\') return i;
      i = lineEnd + 1;
    }
    searched_ = n;  // a long statement is not searched again as it grows
    return 0;
  }

  // Refuses the file for the NUL byte at `nul`, the text from `begin` (where the
  // next statement starts) to it not parsed yet.
  [[noreturn]] void FailNul(const char* begin, const char* nul) {
    line_ = nextLine_;
    for (const char* c = begin; c < nul; ++c) line_ += *c == '\n' || (*c == '\r' && c[1] != '\n');
    Fail("a NUL byte: this is not a text file");
  }

  // Refuses the file for a statement, starting at the next line, that runs past
  // the most this host reads as one.
  [[noreturn]] void FailLongStatement() {
    line_ = nextLine_;
    Fail("line longer than " + std::to_string(kMaxObjStatementBytes >> 20) +
         " MiB, the most this host reads as one statement");
  }

  // --- Statements --------------------------------------------------------------

  // Parses the complete statements in [begin, end), which ends at the end of a
  // statement or of the file. Lines end at "\n", "\r\n" or a lone "\r". A
  // statement is a line and the lines a `\` at its end continues it onto; the
  // backslash and the line end are blanked in place, so it reads as one line.
  void Parse(char* begin, char* end) {
    char* p = begin;
    if (nextLine_ == 1 && end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
      std::memset(p, ' ', 3);  // a UTF-8 byte order mark
    }
    while (p < end) {
      line_ = nextLine_;  // faults are told at the line the statement starts on
      char* const statement = p;
      for (;;) {
        char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r') ++lineEnd;
        ++nextLine_;
        // A `\` in a comment continues nothing. Earlier lines of the statement
        // hold none (they would not have continued it), and this one starts
        // after the blanked line end.
        const bool continued = lineEnd > p && lineEnd[-1] == '\\' &&
                               CommentStart(p == statement ? p : p - 1, lineEnd) == lineEnd;
        char* next = lineEnd;
        if (next < end) next += (*next == '\r' && next + 1 < end && next[1] == '\n') ? 2 : 1;
        if (!continued) {
          Statement(statement, lineEnd);
          p = next;
          break;
        }
        std::memset(lineEnd - 1, ' ', static_cast<std::size_t>(next - (lineEnd - 1)));
        p = next;
        if (p == end) {  // continued onto the end of the file: nothing more to join
          Statement(statement, end);
          break;
        }
      }
    }
  }

  void Statement(char* p, char* end) {
    while (p < end && IsBlank(*p)) ++p;
    if (p == end || *p == '#') return;
    const std::string_view keyword = NextField(p, end);
    if (keyword == "v") {
      Vertex(p, end);
    } else if (keyword == "f") {
      References(p, end, 3, "a face (use 'l' for lines)", current_.faceCorners);
      current_.faceSizes.push_back(statementPoints_);
      CountElements(1);
    } else if (keyword == "vt") {
      Numbers(p, end, 1, 3, "a texture coordinate", nullptr);
      if (++texcoords_ > kMaxCount) Fail("more texture coordinates than this host can hold");
    } else if (keyword == "vn") {
      Numbers(p, end, 3, 3, "a normal", nullptr);
      if (++normals_ > kMaxCount) Fail("more normals than this host can hold");
    } else if (keyword == "l") {
      References(p, end, 2, "a line", current_.lineCorners);
      current_.lineSizes.push_back(statementPoints_);
      CountElements(statementPoints_ - 1);
    } else if (keyword == "p") {
      References(p, end, 1, "a point statement", current_.points);
      CountElements(statementPoints_);
    } else if (keyword == "o" || keyword == "g") {
      StartObject(keyword[0] == 'o', p, end);
    } else if (IsIgnored(keyword)) {
      // Materials, smoothing and display attributes do not change what is counted.
    } else if (IsFreeForm(keyword)) {
      Fail("free-form geometry (" + Quote(keyword) + ") is not supported");
    } else {
      Fail("unknown statement " + Quote(keyword));
    }
  }

  static bool IsIgnored(std::string_view k) {
    for (const char* known :
         {"s", "mg", "usemtl", "mtllib", "usemap", "maplib", "lod", "bevel", "c_interp", "d_interp",
          "shadow_obj", "trace_obj", "ctech", "stech"}) {
      if (k == known) return true;
    }
    return false;
  }
  static bool IsFreeForm(std::string_view k) {
    for (const char* known : {"vp", "cstype", "deg", "bmat", "step", "curv", "curv2", "surf",
                              "parm", "trim", "hole", "scrv", "sp", "end", "con"}) {
      if (k == known) return true;
    }
    return false;
  }

  void Vertex(char*& p, char* end) {
    double xyz[3] = {0, 0, 0};
    Numbers(p, end, 3, 7, "a vertex", xyz);  // x y z, then w or a colour, ignored
    if (++vertices_ > kMaxCount) Fail("more vertices than this host can hold");
    positions_.push_back({xyz[0], xyz[1], xyz[2]});
    local_.push_back(kUnused);
  }

  // Checks the numbers of a statement; the first three go to `values`, if given.
  void Numbers(char*& p, char* end, int min, int max, const char* what, double* values) {
    int count = 0;
    for (std::string_view field = NextField(p, end); !field.empty(); field = NextField(p, end)) {
      if (!IsNumber(field)) Fail(Quote(field) + " is not a number");
      if (values != nullptr && count < 3) values[count] = NumberValue(field);
      ++count;
    }
    if (count < min || count > max) {
      Fail(std::string(what) + " takes " + std::to_string(min) +
           (min == max ? "" : " to " + std::to_string(max)) + " numbers, not " +
           std::to_string(count));
    }
  }

  // `o` and `g` name the object that follows (a `g` with several names by all
  // of them). Without a name the statement changes nothing.
  void StartObject(bool isObject, char* p, char* end) {
    std::string name;
    if (isObject) {
      end = CommentStart(p, end);
      while (p < end && IsBlank(*p)) ++p;
      while (end > p && IsBlank(end[-1])) --end;
      name.assign(p, end);
    } else {
      for (std::string_view field = NextField(p, end); !field.empty(); field = NextField(p, end)) {
        if (!name.empty()) name += ' ';
        name.append(field.data(), field.size());
      }
    }
    if (name.empty()) return;
    if (current_.Empty()) {
      current_.name = std::move(name);
    } else {
      FinishObject(/*last=*/false);
      current_ = ObjectRecord(std::move(name));
    }
  }

  void CountElements(int64_t added) {
    if (current_.ElementCount() + added > kMaxCount) {
      Fail("more faces in object " + Quote(current_.name) + " than this host can hold");
    }
  }

  // Reads the vertex references of an f, l or p statement into `corners`, and
  // how many into statementPoints_.
  void References(char*& p, char* end, int32_t min, const char* what, BlockList<int32_t>& corners) {
    int64_t count = 0;
    for (std::string_view field = NextField(p, end); !field.empty(); field = NextField(p, end)) {
      corners.push_back(Reference(field));
      if (++count > kMaxCount) Fail(std::string(what) + " with too many points");
    }
    if (count < min) {
      Fail(std::string(what) + " needs at least " + std::to_string(min) +
           (min == 1 ? " point" : " points"));
    }
    statementPoints_ = static_cast<int32_t>(count);
  }

  // v, v/vt, v/vt/vn or v//vn, each index existing when the reference is read.
  // Answers the file vertex, from 0, and marks it used by the current object.
  int32_t Reference(std::string_view field) {
    std::size_t i = 0;
    const int64_t vertex = Index(field, i, vertices_, "vertex");
    if (i != field.size()) {
      if (field[i] == '/') {
        ++i;
        if (i < field.size() && field[i] == '/') {
          ++i;
          Index(field, i, normals_, "normal");
        } else {
          Index(field, i, texcoords_, "texture coordinate");
          if (i < field.size() && field[i] == '/') {
            ++i;
            Index(field, i, normals_, "normal");
          }
        }
      }
      if (i != field.size()) Fail(Quote(field) + " is not a vertex reference");
    }
    const auto v = static_cast<int32_t>(vertex);
    int32_t& mark = local_[static_cast<std::size_t>(v)];
    if (mark != kUsed) {
      mark = kUsed;
      current_.used.push_back(v);
      current_.firstUsed = std::min(current_.firstUsed, v);
      current_.lastUsed = std::max(current_.lastUsed, v);
    }
    return v;
  }

  // An index of `defined` ones, counting from 1 or back from the last; answers
  // it from 0.
  int64_t Index(std::string_view field, std::size_t& i, int64_t defined, const char* what) {
    const bool negative = i < field.size() && field[i] == '-';
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
    int64_t value = 0;
    std::size_t digits = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i, ++digits) {
      if (value <= kMaxCount) value = value * 10 + (field[i] - '0');
    }
    if (digits == 0) Fail(Quote(field) + " is not a vertex reference");
    if (value == 0)
      Fail(std::string(what) + " index 0 in " + Quote(field) + ": indices count from 1");
    if (value > defined) {
      const std::string number =
          value > kMaxCount ? "" : (negative ? "-" : "") + std::to_string(value) + " ";
      Fail(std::string(negative ? "relative " : "") + what + " index " + number + "in " +
           Quote(field) + " is out of range: " + std::to_string(defined) + " defined so far");
    }
    return negative ? defined - value : value - 1;
  }

  // --- Objects -----------------------------------------------------------------

  // Builds the current object, if it holds something, into the next slot: its
  // vertices, then its faces, segments and points, each in file order. `last`:
  // no object follows, so the file's vertices are freed as they are copied.
  void FinishObject(bool last) {
    ObjectRecord& record = current_;
    if (record.Empty()) return;

    // The vertex list in file order, each vertex's number in it in local_.
    std::vector<int32_t>& used = record.used;
    const auto range = static_cast<std::size_t>(int64_t{record.lastUsed} - record.firstUsed + 1);
    if (std::is_sorted(used.begin(), used.end())) {
      // As first met: nothing to order.
    } else if (range / 16 <= used.size()) {
      // Dense: the marks tell the order faster than sorting would.
      const std::size_t count = used.size();
      used.clear();
      for (auto v = static_cast<std::size_t>(record.firstUsed); used.size() < count; ++v) {
        if (local_[v] == kUsed) used.push_back(static_cast<int32_t>(v));
      }
    } else {
      std::sort(used.begin(), used.end());
    }
    for (std::size_t i = 0; i < used.size(); ++i) {
      local_[static_cast<std::size_t>(used[i])] = Numbered(static_cast<int32_t>(i));
    }

    Object& object = objects_->AddObject(record.name);
    object.Reserve(static_cast<int64_t>(used.size()), 0, 0);
    for (const int32_t v : used) {
      const Position& q = positions_[static_cast<std::size_t>(v)];
      object.AddVertex({q.x, q.y, q.z});
      if (last) positions_.ReleaseBefore(static_cast<std::size_t>(v));
    }
    std::vector<int32_t>().swap(used);

    const int64_t points = static_cast<int64_t>(record.faceCorners.size()) + 2 * record.Segments() +
                           static_cast<int64_t>(record.points.size());
    object.Reserve(0, record.ElementCount(), points);
    std::size_t corner = 0;
    for (std::size_t f = 0; f < record.faceSizes.size(); ++f) {
      const auto size = static_cast<std::size_t>(record.faceSizes[f]);
      if (face_.size() < size) face_.resize(size);
      for (std::size_t k = 0; k < size; ++k) face_[k] = Local(record.faceCorners[corner++]);
      object.AddFace(face_.data(), static_cast<int32_t>(size));
      record.faceCorners.ReleaseBefore(corner);
      record.faceSizes.ReleaseBefore(f);
    }
    corner = 0;
    for (std::size_t l = 0; l < record.lineSizes.size(); ++l) {
      const auto size = static_cast<std::size_t>(record.lineSizes[l]);
      int32_t segment[2] = {0, Local(record.lineCorners[corner++])};
      for (std::size_t k = 1; k < size; ++k) {
        segment[0] = segment[1];
        segment[1] = Local(record.lineCorners[corner++]);
        object.AddFace(segment, 2);
      }
      record.lineCorners.ReleaseBefore(corner);
    }
    for (std::size_t i = 0; i < record.points.size(); ++i) {
      const int32_t point = Local(record.points[i]);
      object.AddFace(&point, 1);
      record.points.ReleaseBefore(i);
    }
  }

  // local_ holds, for each file vertex, kUnused, kUsed by the object being
  // read, or (from when its object is built) its number there, as Numbered().
  static constexpr int32_t kUnused = -1;
  static constexpr int32_t kUsed = 0;
  static int32_t Numbered(int32_t local) { return -2 - local; }
  int32_t Local(int32_t v) { return -2 - local_[static_cast<std::size_t>(v)]; }

  const std::string& path_;  // the caller's, as is the progress; both outlive the read
  InputFile file_;
  const ProgressShare& progress_;
  Document* objects_ = nullptr;  // the caller's, filled by Read

  std::vector<char> buffer_;  // whole statements, parsed and blanked in place
  std::size_t handed_ = 0;    // how much of the buffer has been parsed
  std::size_t searched_ = 0;  // no statement ends in the buffer up to here
  uint64_t done_ = 0;         // bytes parsed
  int64_t line_ = 0;          // the line of the statement being parsed
  int64_t nextLine_ = 1;      // the line of the next statement

  int64_t vertices_ = 0;
  int64_t texcoords_ = 0;
  int64_t normals_ = 0;
  BlockList<Position> positions_;  // every vertex of the file
  BlockList<int32_t> local_;       // one for each vertex of the file, see kUnused
  ObjectRecord current_;
  int32_t statementPoints_ = 0;  // the references of the last f, l or p
  std::vector<int32_t> face_;    // scratch: one face in local numbers
};

}  // namespace

struct ObjFile::Data {
  Document objects;  // built; LoadObj takes them, a scene copies the ones it picks
};

ObjFile::ObjFile(std::unique_ptr<Data> data) : data_(std::move(data)) {}
ObjFile::ObjFile(ObjFile&&) noexcept = default;
ObjFile& ObjFile::operator=(ObjFile&&) noexcept = default;
ObjFile::~ObjFile() = default;

int32_t ObjFile::ObjectCount() const { return data_->objects.SlotCount(); }
const std::string& ObjFile::ObjectName(int32_t index) const {
  const Object* object = data_->objects.At(index);
  if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
  return object->name;
}

ObjFile ObjFile::Read(const std::string& path, const ProgressShare& progress) {
  auto data = std::make_unique<Data>();
  ObjReader(path, progress).Read(data->objects);
  return ObjFile(std::move(data));
}

Object& ObjFile::AddObjectTo(int32_t index, Document& document) {
  const Object* object = data_->objects.At(index);
  if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
  return document.AddCopy(*object);
}

void ObjFile::MoveObjectsTo(Document& document) { document.TakeSlots(data_->objects); }

}  // namespace vhost::models
