// OBJ files are parsed by tinyobjloader. It reports few faults and no lines for
// most, and reads on past junk, so every line is first checked here (and tidied
// in place where the parser would misread it) just before the parser sees it;
// the check also records what each object holds, which is checked against what
// the parser made of it before anything is built.
#include "host/models/obj_file.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <istream>
#include <streambuf>
#include <string_view>
#include <utility>
#include <vector>

namespace vhost::models {
namespace {

constexpr int64_t kMaxCount = INT32_MAX;  // the document model counts in 32 bits

// What the check found in one object of the file.
struct ObjectPlan {
  explicit ObjectPlan(std::string objectName) : name(std::move(objectName)) {}

  std::string name;
  std::vector<int32_t> faceSizes;  // the parser keeps sizes in 8 bits; these are exact
  int64_t faceCorners = 0;
  int64_t polylines = 0;
  int64_t polylineCorners = 0;
  int64_t points = 0;

  bool Empty() const { return faceSizes.empty() && polylines == 0 && points == 0; }
  int64_t ElementCount() const {
    return static_cast<int64_t>(faceSizes.size()) + (polylineCorners - polylines) + points;
  }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The next blank-separated field at or after `p`, empty at the end of the line.
std::string_view NextField(char*& p, char* end) {
  while (p < end && IsBlank(*p)) ++p;
  char* start = p;
  while (p < end && !IsBlank(*p)) ++p;
  return {start, static_cast<std::size_t>(p - start)};
}

// A decimal number as the parser reads it: [sign] digits [. digits] [e [sign] digits],
// with digits on at least one side of the point. The parser would read the longest
// valid prefix of anything and 0 for nothing; here the whole field must be a number.
bool IsNumber(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exponent;
    // The parser gives up (and reads 0) on exponents past 9 digits.
    if (exponent == 0 || exponent > 4) return false;
  }
  return i == s.size();
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

class ObjChecker {
 public:
  explicit ObjChecker(const std::string& path) : path_(path) {
    objects_.push_back(ObjectPlan{FileStem(path)});
  }

  // Checks the complete statements in [begin, end), which ends at the end of a
  // statement or of the file, tidying them in place for the parser. Lines end as
  // the parser ends them: at "\n", "\r\n" or a lone "\r". A statement is a line
  // and the lines a `\` at its end continues it onto; the backslash and the line
  // end are blanked, so the parser reads the statement as one line.
  void Check(char* begin, char* end) {
    char* p = begin;
    if (nextLine_ == 1 && end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
      std::memset(p, ' ', 3);  // a UTF-8 byte order mark
    }
    while (p < end) {
      line_ = nextLine_;  // faults are told at the line the statement starts on
      char* const statement = p;
      bool comment = false;
      for (;;) {
        char* lineEnd = p;
        for (; lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r'; ++lineEnd) {
          if (*lineEnd == '\0') {
            line_ = nextLine_;
            Fail("a NUL byte: this is not a text file");
          }
          // As the line check reads comments: `#` first on the line or after a blank.
          if (*lineEnd == '#' && (lineEnd == statement || IsBlank(lineEnd[-1]))) comment = true;
        }
        ++nextLine_;
        const bool continued = !comment && lineEnd > p && lineEnd[-1] == '\\';
        char* next = lineEnd;
        if (next < end) next += (*next == '\r' && next + 1 < end && next[1] == '\n') ? 2 : 1;
        if (!continued) {
          CheckLine(statement, lineEnd);
          p = next;
          break;
        }
        std::memset(lineEnd - 1, ' ', static_cast<std::size_t>(next - (lineEnd - 1)));
        p = next;
        if (p == end) {  // continued onto the end of the file: nothing more to join
          CheckLine(statement, end);
          break;
        }
      }
    }
  }

  // Refuses the file for the NUL byte at `nul`, the text from `begin` (where the
  // next statement starts) to it not checked yet.
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

  int64_t VertexCount() const { return vertices_; }

  // The objects that hold something, in file order.
  std::vector<ObjectPlan> TakeObjects() {
    std::vector<ObjectPlan> kept;
    for (ObjectPlan& object : objects_) {
      if (!object.Empty()) kept.push_back(std::move(object));
    }
    objects_.clear();
    return kept;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw ModelError(path_, line_, message);
  }

  void CheckLine(char* begin, char* end) {
    char* p = begin;
    while (p < end && IsBlank(*p)) ++p;
    if (p == end || *p == '#') return;
    for (char* c = p + 1; c < end; ++c) {
      if (*c == '#' && IsBlank(c[-1])) {
        std::memset(c, ' ',
                    static_cast<std::size_t>(end - c));  // the parser knows no comments here
        end = c;
        break;
      }
    }
    char* keywordStart = p;
    const std::string_view keyword = NextField(p, end);
    if (keyword == "v") {
      Numbers(p, end, 3, 7, "a vertex");
      if (++vertices_ > kMaxCount) Fail("more vertices than this host can hold");
    } else if (keyword == "f") {
      CurrentObject().faceSizes.push_back(References(p, end, 3, "a face (use 'l' for lines)"));
      CurrentObject().faceCorners += CurrentObject().faceSizes.back();
      CountElements(1);
    } else if (keyword == "vt") {
      Numbers(p, end, 1, 3, "a texture coordinate");
      if (++texcoords_ > kMaxCount) Fail("more texture coordinates than this host can hold");
    } else if (keyword == "vn") {
      Numbers(p, end, 3, 3, "a normal");
      if (++normals_ > kMaxCount) Fail("more normals than this host can hold");
    } else if (keyword == "l" || keyword == "p") {
      char* first = p;
      while (first < end && IsBlank(*first)) ++first;
      if (keyword == "l") {
        const int64_t n = References(p, end, 2, "a line");
        ++CurrentObject().polylines;
        CurrentObject().polylineCorners += n;
        CountElements(n - 1);
      } else {
        const int64_t n = References(p, end, 1, "a point statement");
        CurrentObject().points += n;
        CountElements(n);
      }
      // The parser reads the first point twice when more than one blank follows
      // the keyword: move the keyword up to it.
      if (first - keywordStart > 2) {
        first[-2] = *keywordStart;
        first[-1] = ' ';
        *keywordStart = ' ';
      }
    } else if (keyword == "o" || keyword == "g") {
      StartObject(keywordStart, p, end);
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

  // `o` and `g` name the object that follows; the parser is told `o` for both, as
  // it would drop a `g` group of only lines and points. Without a name the
  // statement is blanked out and changes nothing.
  void StartObject(char* keywordStart, char* p, char* end) {
    std::string name;
    if (*keywordStart == 'o') {
      while (p < end && IsBlank(*p)) ++p;
      while (end > p && IsBlank(end[-1])) --end;
      name.assign(p, end);
    } else {
      for (std::string_view field = NextField(p, end); !field.empty(); field = NextField(p, end)) {
        if (!name.empty()) name += ' ';
        name.append(field.data(), field.size());
      }
    }
    if (name.empty()) {
      *keywordStart = ' ';
      return;
    }
    *keywordStart = 'o';
    if (CurrentObject().Empty()) {
      CurrentObject().name = std::move(name);
    } else {
      objects_.push_back(ObjectPlan{std::move(name)});
    }
  }

  ObjectPlan& CurrentObject() { return objects_.back(); }

  void CountElements(int64_t added) {
    if (CurrentObject().ElementCount() + added > kMaxCount) {
      Fail("more faces in object " + Quote(CurrentObject().name) + " than this host can hold");
    }
  }

  void Numbers(char*& p, char* end, int min, int max, const char* what) {
    int count = 0;
    for (std::string_view field = NextField(p, end); !field.empty(); field = NextField(p, end)) {
      if (!IsNumber(field)) Fail(Quote(field) + " is not a number");
      ++count;
    }
    if (count < min || count > max) {
      Fail(std::string(what) + " takes " + std::to_string(min) +
           (min == max ? "" : " to " + std::to_string(max)) + " numbers, not " +
           std::to_string(count));
    }
  }

  // Checks the vertex references of an f, l or p statement; returns how many.
  int32_t References(char*& p, char* end, int32_t min, const char* what) {
    int64_t count = 0;
    for (std::string_view field = NextField(p, end); !field.empty(); field = NextField(p, end)) {
      Reference(field);
      if (++count > kMaxCount) Fail(std::string(what) + " with too many points");
    }
    if (count < min) {
      Fail(std::string(what) + " needs at least " + std::to_string(min) +
           (min == 1 ? " point" : " points"));
    }
    return static_cast<int32_t>(count);
  }

  // v, v/vt, v/vt/vn or v//vn, each index existing when the reference is read.
  void Reference(std::string_view field) {
    std::size_t i = 0;
    Index(field, i, vertices_, "vertex");
    if (i == field.size()) return;
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

  void Index(std::string_view field, std::size_t& i, int64_t defined, const char* what) {
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
  }

  const std::string& path_;          // the caller's; outlives the check
  std::vector<ObjectPlan> objects_;  // the last one is being filled
  int64_t line_ = 0;                 // the line of the statement being checked
  int64_t nextLine_ = 1;             // the line of the next statement
  int64_t vertices_ = 0;
  int64_t texcoords_ = 0;
  int64_t normals_ = 0;
};

// Hands the parser the file in chunks of whole statements, read straight from
// the file and each checked first, so that memory holds a chunk (or the one long
// statement being read) rather than the file. A fault (or an exception from the
// progress callback, or running out of memory) ends the input, the parser seeing
// the end of the file, and is kept for the caller: no exception runs through the
// parser.
class CheckedText : public std::streambuf {
 public:
  CheckedText(InputFile& file, ObjChecker& checker, const ProgressShare& progress)
      : file_(file), checker_(checker), progress_(progress) {}

  // The fault that ended the input, if any.
  std::exception_ptr fault() const { return fault_; }

 protected:
  int_type underflow() override {
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (fault_) return traits_type::eof();
    try {
      setg(nullptr, nullptr, nullptr);  // the buffer is about to move
      const std::size_t end = NextChunk();
      if (end == 0) return traits_type::eof();
      char* data = buffer_.data();
      checker_.Check(data, data + end);
      handed_ = end;
      done_ += end;
      progress_.Report(done_);
      setg(data, data, data + end);
    } catch (...) {
      fault_ = std::current_exception();
      return traits_type::eof();
    }
    return traits_type::to_int_type(*gptr());
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  // Drops what the parser has had and reads on until the buffer holds a whole
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
        // Early, so that a binary file (or an endless device) is refused at once.
        const auto* nul =
            static_cast<const char*>(std::memchr(buffer_.data() + old, '\0', buffer_.size() - old));
        if (nul != nullptr) checker_.FailNul(buffer_.data(), nul);
      }
      const std::size_t cut = LastStatementEnd();
      if (cut > 0) return cut;
      if (file_.AtEnd()) return buffer_.size();
      if (buffer_.size() >= kMaxObjStatementBytes) checker_.FailLongStatement();
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

  InputFile& file_;  // the caller's, as are the checker and the progress
  ObjChecker& checker_;
  const ProgressShare& progress_;
  std::vector<char> buffer_;  // checked and tidied in place; the parser reads from it
  std::size_t handed_ = 0;    // how much of the buffer is the parser's
  std::size_t searched_ = 0;  // no statement ends in the buffer up to here
  uint64_t done_ = 0;         // bytes handed to the parser
  std::exception_ptr fault_;
};

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

struct ObjFile::Data {
  std::string path;
  std::vector<ObjectPlan> objects;
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;  // one per object
  // Scratch for building objects, sized to the file's vertices once.
  std::vector<int32_t> seen;   // the build that last met each file vertex
  std::vector<int32_t> local;  // a file vertex's number in the object being built
  std::vector<int32_t> used;
  std::vector<int32_t> points;
  int32_t build = 0;
};

ObjFile::ObjFile(std::unique_ptr<Data> data) : data_(std::move(data)) {}
ObjFile::ObjFile(ObjFile&&) noexcept = default;
ObjFile& ObjFile::operator=(ObjFile&&) noexcept = default;
ObjFile::~ObjFile() = default;

int32_t ObjFile::ObjectCount() const { return static_cast<int32_t>(data_->objects.size()); }
const std::string& ObjFile::ObjectName(int32_t index) const {
  return data_->objects.at(static_cast<std::size_t>(index)).name;
}

ObjFile ObjFile::Read(const std::string& path, const ProgressShare& progress) {
  auto data = std::make_unique<Data>();
  data->path = path;
  int64_t vertices = 0;
  {
    InputFile file(path);
    ObjChecker checker(path);
    CheckedText input(file, checker, progress);
    std::istream stream(&input);
    std::vector<tinyobj::material_t> materials;
    std::string warnings;
    std::string errors;
    // No material reader: mtllib is not followed, so usemtl never splits a shape.
    const bool parsed = tinyobj::LoadObj(&data->attrib, &data->shapes, &materials, &warnings,
                                         &errors, &stream, nullptr, /*triangulate=*/false,
                                         /*default_vcols_fallback=*/false);
    if (input.fault()) std::rethrow_exception(input.fault());
    if (!parsed) throw ModelError(path, 0, "cannot be parsed: " + FirstLine(errors));
    data->objects = checker.TakeObjects();
    vertices = checker.VertexCount();
  }  // the file and its last chunk are not needed any more

  // The check and the parser must agree on every object before one is built.
  bool agree = data->objects.size() == data->shapes.size() &&
               static_cast<int64_t>(data->attrib.vertices.size()) == 3 * vertices;
  for (std::size_t i = 0; agree && i < data->objects.size(); ++i) {
    const ObjectPlan& plan = data->objects[i];
    const tinyobj::shape_t& shape = data->shapes[i];
    agree = shape.mesh.num_face_vertices.size() == plan.faceSizes.size() &&
            static_cast<int64_t>(shape.mesh.indices.size()) == plan.faceCorners &&
            static_cast<int64_t>(shape.lines.num_line_vertices.size()) == plan.polylines &&
            static_cast<int64_t>(shape.lines.indices.size()) == plan.polylineCorners &&
            static_cast<int64_t>(shape.points.indices.size()) == plan.points;
  }
  if (!agree) throw ModelError(path, 0, "the OBJ parser read this file differently from its check");
  return ObjFile(std::move(data));
}

Object& ObjFile::AddObjectTo(int32_t index, Document& document) {
  Data& d = *data_;
  const ObjectPlan& plan = d.objects.at(static_cast<std::size_t>(index));
  const tinyobj::shape_t& shape = d.shapes[static_cast<std::size_t>(index)];
  const std::size_t fileVertices = d.attrib.vertices.size() / 3;
  if (d.seen.size() != fileVertices) {
    d.seen.assign(fileVertices, -1);
    d.local.assign(fileVertices, 0);
  }

  // The object's vertices: those its elements use, in file order.
  const int32_t build = d.build++;
  d.used.clear();
  for (const auto* corners : {&shape.mesh.indices, &shape.lines.indices, &shape.points.indices}) {
    for (const tinyobj::index_t& corner : *corners) {
      const auto v = static_cast<std::size_t>(corner.vertex_index);
      if (corner.vertex_index < 0 || v >= fileVertices) {
        throw ModelError(d.path, 0, "the OBJ parser gave a vertex index out of range");
      }
      if (d.seen[v] != build) {
        d.seen[v] = build;
        d.used.push_back(corner.vertex_index);
      }
    }
  }
  if (!std::is_sorted(d.used.begin(), d.used.end())) std::sort(d.used.begin(), d.used.end());

  Object& object = document.AddObject(plan.name);
  for (std::size_t i = 0; i < d.used.size(); ++i) {
    const auto v = static_cast<std::size_t>(d.used[i]);
    d.local[v] = static_cast<int32_t>(i);
    object.AddVertex(
        {d.attrib.vertices[3 * v], d.attrib.vertices[3 * v + 1], d.attrib.vertices[3 * v + 2]});
  }
  const auto local = [&d](const tinyobj::index_t& corner) {
    return d.local[static_cast<std::size_t>(corner.vertex_index)];
  };

  std::size_t corner = 0;
  for (const int32_t size : plan.faceSizes) {
    d.points.clear();
    for (int32_t k = 0; k < size; ++k) d.points.push_back(local(shape.mesh.indices[corner++]));
    object.AddFace(d.points);
  }
  corner = 0;
  for (const int size : shape.lines.num_line_vertices) {
    for (int k = 0; k + 1 < size; ++k) {
      d.points.assign(
          {local(shape.lines.indices[corner + k]), local(shape.lines.indices[corner + k + 1])});
      object.AddFace(d.points);
    }
    corner += static_cast<std::size_t>(size);
  }
  for (const tinyobj::index_t& point : shape.points.indices) {
    d.points.assign({local(point)});
    object.AddFace(d.points);
  }
  return object;
}

}  // namespace vhost::models
