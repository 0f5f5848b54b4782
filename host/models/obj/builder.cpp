// Building the objects of an OBJ file, statement by statement, as each split
// batch is applied.
//
// What an object needs cannot all be known while it is read: its vertex list
// holds the file vertices its elements use, in file order, and an element may
// use any vertex defined before it. So the builder keeps every file vertex and,
// per object, its elements as file vertex numbers; when the object ends (at the
// next `o`/`g` with a name, or at the end of the file) it knows which vertices
// it used and builds the finished Object at once, in arrays of exactly its size.
// The object's own records are freed block by block as they are copied, so the
// peak is the document plus the file's vertices, not twice the document.
#include "host/models/obj/builder.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/models/limits.h"
#include "host/models/model_error.h"
#include "host/models/model_file.h"
#include "host/models/obj/fields.h"

namespace vhost::models::obj {
namespace {

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

// Applies the statements of each batch in file order: every check against what
// is defined so far, every message, the objects.
class Builder {
 public:
  Builder(const std::string& path, const ProgressShare& progress, Document& objects)
      : path_(path), progress_(progress), objects_(objects), current_(FileStem(path)) {}

  // Applies a split batch, the next in file order, then tells its bytes as
  // progress. Throws ModelError for the first fault in it.
  void Apply(Batch& batch) {
    const Position* position = batch.positions.data();
    const int32_t* references = batch.references.data();
    char* const textEnd = batch.text.data() + batch.bytes;
    if (batch.fault != Batch::Fault::kNone) FailText(batch);
    for (const Step& step : batch.steps) {
      // Faults are told at the line the statement starts on.
      line_ = firstLine_ + step.line;
      switch (step.kind) {
        case Step::kGeneral:
          Statement(step.begin, step.end);
          break;
        case Step::kVertices:
          for (int32_t i = 0; i < step.count; ++i, ++line_) AddPosition(*position++);
          break;
        case Step::kTexcoords:
          for (int32_t i = 0; i < step.count; ++i, ++line_) AddTexcoord();
          break;
        case Step::kNormals:
          for (int32_t i = 0; i < step.count; ++i, ++line_) AddNormal();
          break;
        case Step::kFaces:
          for (int32_t i = 0; i < step.count; ++i, ++line_) {
            const int32_t points = *references++;
            if (!AddFastFace(references, points)) {
              char* const begin = LineOfRun(step.begin, i);
              Statement(begin, std::find_if(begin, textEnd,
                                            [](char c) { return c == '\n' || c == '\r'; }));
            }
            references += points + 2;
          }
          break;
      }
    }
    firstLine_ += batch.lines;
    done_ += batch.bytes;
    progress_.Report(done_);
  }

  // Builds the last object, once every batch is applied: the objects hold, one
  // slot each, every object of the file that held something, in file order.
  void Finish() { FinishObject(/*last=*/true); }

 private:
  [[noreturn]] void Fail(const std::string& message,
                         ModelError::Kind kind = ModelError::Kind::kSyntax) const {
    throw ModelError(kind, path_, line_, message);
  }

  // Refuses the file for the fault found while reading `batch`, told at the
  // line of the NUL byte, or of the statement too long to read.
  [[noreturn]] void FailText(const Batch& batch) {
    line_ = firstLine_;
    if (batch.fault == Batch::Fault::kLongStatement) {
      Fail("line longer than " + std::to_string(kMaxObjStatementBytes >> 20) +
               " MiB, the most this host reads as one statement",
           ModelError::Kind::kLimit);
    }
    const char* text = batch.text.data();
    for (const char* c = text; c < text + batch.faultAt; ++c) {
      line_ += *c == '\n' || (*c == '\r' && c[1] != '\n');
    }
    Fail("a NUL byte: this is not a text file");
  }

  // Where line `i` of a run starting at `begin` starts: each of its statements
  // is one line, and every line before the last ends with a line end.
  static char* LineOfRun(char* begin, int32_t i) {
    for (; i > 0; --i) {
      while (*begin != '\n' && *begin != '\r') ++begin;
      begin += (begin[0] == '\r' && begin[1] == '\n') ? 2 : 1;
    }
    return begin;
  }

  // A face the splitter read fast: its `count` references as written, then the
  // largest texture and normal index. False, nothing changed, when one is out
  // of range: the general path then says which.
  bool AddFastFace(const int32_t* references, int32_t count) {
    if (references[count] > texcoords_ || references[count + 1] > normals_) return false;
    for (int32_t i = 0; i < count; ++i) {
      const int32_t r = references[i];
      if ((r < 0 ? -int64_t{r} : r) > vertices_) return false;
    }
    for (int32_t i = 0; i < count; ++i) {
      const int32_t r = references[i];
      const auto v = static_cast<int32_t>(r < 0 ? vertices_ + r : r - 1);
      current_.faceCorners.push_back(v);
      Use(v);
    }
    current_.faceSizes.push_back(count);
    CountElements(1);
    return true;
  }

  // --- Statements -------------------------------------------------------------

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
      AddTexcoord();
    } else if (keyword == "vn") {
      Numbers(p, end, 3, 3, "a normal", nullptr);
      AddNormal();
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
    AddPosition({xyz[0], xyz[1], xyz[2]});
  }

  void AddTexcoord() {
    if (++texcoords_ > kMaxCount)
      Fail("more texture coordinates than this host can hold", ModelError::Kind::kLimit);
  }
  void AddNormal() {
    if (++normals_ > kMaxCount)
      Fail("more normals than this host can hold", ModelError::Kind::kLimit);
  }

  void AddPosition(const Position& position) {
    if (++vertices_ > kMaxCount)
      Fail("more vertices than this host can hold", ModelError::Kind::kLimit);
    positions_.push_back(position);
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
      Fail("more faces in object " + Quote(current_.name) + " than this host can hold",
           ModelError::Kind::kLimit);
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
    Use(v);
    return v;
  }

  // Marks file vertex `v` used by the current object.
  void Use(int32_t v) {
    int32_t& mark = local_[static_cast<std::size_t>(v)];
    if (mark != kUsed) {
      mark = kUsed;
      current_.used.push_back(v);
      current_.firstUsed = std::min(current_.firstUsed, v);
      current_.lastUsed = std::max(current_.lastUsed, v);
    }
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

    // The vertex list in file order. When the object uses every vertex from
    // the first it uses to the last (one mesh of its own, the common case), that
    // is the range itself, numbered by subtraction; otherwise each vertex's
    // number in it goes to local_.
    std::vector<int32_t>& used = record.used;
    const int32_t first = record.firstUsed;
    const auto count = used.size();
    const bool whole = count == static_cast<std::size_t>(int64_t{record.lastUsed} - first + 1);
    if (whole) {
      std::vector<int32_t>().swap(used);
      // Marks left as kUsed would read as this object's to the next one.
      for (std::size_t v = 0; !last && v < count; ++v) local_[first + v] = kUnused;
    } else {
      if (std::is_sorted(used.begin(), used.end())) {
        // As first met: nothing to order.
      } else if (static_cast<std::size_t>(record.lastUsed - first + 1) / 16 <= count) {
        // Dense: the marks tell the order faster than sorting would.
        used.clear();
        for (auto v = static_cast<std::size_t>(first); used.size() < count; ++v) {
          if (local_[v] == kUsed) used.push_back(static_cast<int32_t>(v));
        }
      } else {
        std::sort(used.begin(), used.end());
      }
      for (std::size_t i = 0; i < count; ++i) {
        local_[static_cast<std::size_t>(used[i])] = Numbered(static_cast<int32_t>(i));
      }
    }
    const auto vertexAt = [&](std::size_t i) {  // the file vertex that is local i
      return whole ? static_cast<std::size_t>(first) + i : static_cast<std::size_t>(used[i]);
    };
    const auto local = [&](int32_t v) { return whole ? v - first : Local(v); };

    // Vertices and faces go over in pieces, a call each.
    Object& object = objects_.AddObject(record.name);
    object.Reserve(static_cast<int64_t>(count), 0, 0);
    HandOverVertices(
        object, count,
        [&](std::size_t i) {
          const Position& q = positions_[vertexAt(i)];
          return Vec3{q.x, q.y, q.z};
        },
        [&](std::size_t i) {
          if (last) positions_.ReleaseBefore(vertexAt(i));
        });
    std::vector<int32_t>().swap(used);

    const int64_t points = static_cast<int64_t>(record.faceCorners.size()) + 2 * record.Segments() +
                           static_cast<int64_t>(record.points.size());
    object.Reserve(0, record.ElementCount(), points);
    std::vector<int32_t> sizes;
    std::vector<int32_t> corners;  // in local numbers
    std::size_t corner = 0;
    for (std::size_t f = 0; f < record.faceSizes.size();) {
      sizes.clear();
      corners.clear();
      for (; f < record.faceSizes.size() && sizes.size() < kPiece; ++f) {
        const int32_t size = record.faceSizes[f];
        sizes.push_back(size);
        for (int32_t k = 0; k < size; ++k) corners.push_back(local(record.faceCorners[corner++]));
      }
      object.AddFaces(sizes.data(), static_cast<int32_t>(sizes.size()), corners.data());
      record.faceCorners.ReleaseBefore(corner);
      record.faceSizes.ReleaseBefore(f);
    }
    corner = 0;
    for (std::size_t l = 0; l < record.lineSizes.size(); ++l) {
      const auto size = static_cast<std::size_t>(record.lineSizes[l]);
      int32_t segment[2] = {0, local(record.lineCorners[corner++])};
      for (std::size_t k = 1; k < size; ++k) {
        segment[0] = segment[1];
        segment[1] = local(record.lineCorners[corner++]);
        object.AddFace(segment, 2);
      }
      record.lineCorners.ReleaseBefore(corner);
    }
    for (std::size_t i = 0; i < record.points.size(); ++i) {
      const int32_t point = local(record.points[i]);
      object.AddFace(&point, 1);
      record.points.ReleaseBefore(i);
    }
  }

  static constexpr std::size_t kPiece = 4096;

  // local_ holds, for each file vertex, kUnused, kUsed by the object being
  // read, or (from when its object is built) its number there, as Numbered().
  static constexpr int32_t kUnused = -1;
  static constexpr int32_t kUsed = 0;
  static int32_t Numbered(int32_t local) { return -2 - local; }
  int32_t Local(int32_t v) { return -2 - local_[static_cast<std::size_t>(v)]; }

  const std::string& path_;        // the caller's, as are the progress and the objects;
  const ProgressShare& progress_;  // all outlive the read
  Document& objects_;
  uint64_t done_ = 0;      // file bytes applied
  int64_t firstLine_ = 1;  // the line the next batch starts on
  int64_t line_ = 0;       // the line of the statement being applied

  int64_t vertices_ = 0;
  int64_t texcoords_ = 0;
  int64_t normals_ = 0;
  BlockList<Position> positions_;  // every vertex of the file
  BlockList<int32_t> local_;       // one for each vertex of the file, see kUnused
  ObjectRecord current_;
  int32_t statementPoints_ = 0;  // the references of the last f, l or p
};

}  // namespace

// A Builder under the name the header gives it. Builder itself stays local to
// this file, so that the compiler may fold each of its functions into the one
// call a batch's loop makes of it, as it does any function of one file.
class ObjBuilder::State : public Builder {
 public:
  using Builder::Builder;
};

ObjBuilder::ObjBuilder(const std::string& path, const ProgressShare& progress, Document& objects)
    : state_(std::make_unique<State>(path, progress, objects)) {}
ObjBuilder::~ObjBuilder() = default;

void ObjBuilder::Apply(Batch& batch) { state_->Apply(batch); }
void ObjBuilder::Finish() { state_->Finish(); }

}  // namespace vhost::models::obj
