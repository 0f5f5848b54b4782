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
#include "host/models/obj/obj_file.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "host/models/limits.h"

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

// The bytes read and not yet parsed. Unlike a vector it does not clear the
// room it is about to read into: the file overwrites it at once.
class TextBuffer {
 public:
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }

  // Drops the first `count` bytes; what follows moves to the front.
  void DropFront(std::size_t count) {
    if (count > 0) std::memmove(data_.get(), data_.get() + count, size_ - count);
    size_ -= count;
  }
  // Room for `count` more bytes at the end, which Append then takes; grows by
  // doubling, never past `most` bytes in all (the caller asks for no more).
  char* Reserve(std::size_t count, std::size_t most) {
    if (capacity_ - size_ < count) {
      const std::size_t capacity = std::min(std::max(size_ + count, 2 * capacity_), most);
      std::unique_ptr<char[]> bigger(new char[capacity]);
      if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
      data_ = std::move(bigger);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  void Append(std::size_t count) { size_ += count; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
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
  return vhost::Quote(text, {'\'', 40, /*controlsAsQuestionMarks=*/true});
}

// --- Splitting a block into statements --------------------------------------

// A step of a batch: one statement for the general path to read, its text in
// the batch's buffer with continued lines joined; or a run of statements the
// fast paths read, each on a line of its own, what they made of them in the
// batch's arrays.
struct Step {
  enum Kind : int32_t { kGeneral, kVertices, kTexcoords, kNormals, kFaces };

  Kind kind;
  int32_t count;  // statements: 1 for kGeneral
  int64_t line;   // the line the first starts on, from 0 at the batch's start
  char* begin;    // the first's text
  char* end;      // kGeneral: the end of its text
};

// A block of the file split into statements: what the splitter hands the
// builder. A batch is filled, read and cleared again: its arrays keep their
// room from one block to the next.
struct Batch {
  TextBuffer text;        // the block's whole statements, then the start of the next
  std::size_t bytes = 0;  // the file bytes its statements span
  bool first = false;     // the file's first block
  int64_t lines = 0;      // the lines its statements span, once split
  // A fault of the text found while reading the block, told when the batches
  // before it are applied (its line depends on them); its statements are none.
  enum class Fault { kNone, kNul, kLongStatement } fault = Fault::kNone;
  std::size_t faultAt = 0;  // kNul: where in the text
  std::vector<Step> steps;
  std::vector<Position> positions;  // of the `v`s read fast, in order
  // For each `f` read fast: how many points it has, its vertex references as
  // written (from 1, or a minus and back from the last), then the largest
  // texture and normal index it names (0 for none).
  std::vector<int32_t> references;

  // Empties it for the next block. Room far past what a block of ordinary
  // lines takes (left by one long statement) is given back.
  void Clear() {
    bytes = 0;
    lines = 0;
    fault = Fault::kNone;
    Empty(steps, std::size_t{1} << 16);
    Empty(positions, std::size_t{1} << 17);
    Empty(references, std::size_t{1} << 20);
  }

 private:
  template <typename T>
  static void Empty(std::vector<T>& list, std::size_t keep) {
    if (list.capacity() > keep) {
      std::vector<T>().swap(list);
    } else {
      list.clear();
    }
  }
};

// Reads the file in blocks of whole statements, one into each batch. Knows
// nothing of lines: a batch counts its own when split, so that batches can be
// split in any order.
class ObjBlocks {
 public:
  explicit ObjBlocks(ByteSource& file) : file_(file) {}

  // The size of the file when it is a regular one, else 0.
  uint64_t RegularSize() const { return file_.RegularSize(); }

  // Reads the next block into `batch`, not split yet; false, the batch empty,
  // once the file is through. A fault of the text as such (a NUL byte, a
  // statement past the longest this host reads) ends the file with a batch of
  // that fault; one of reading throws ModelError.
  bool Read(Batch& batch) {
    if (ended_) return false;
    batch.Clear();
    TextBuffer& text = batch.text;
    text.DropFront(text.size());
    if (text.capacity() > 4 * kChunk) text = TextBuffer();  // left by a long statement
    if (!tail_.empty()) {
      std::memcpy(text.Reserve(tail_.size(), kMaxObjStatementBytes), tail_.data(), tail_.size());
      text.Append(tail_.size());
      if (tail_.capacity() > 4 * kChunk) {
        std::string().swap(tail_);
      } else {
        tail_.clear();
      }
    }
    batch.first = first_;
    first_ = false;
    const std::size_t cut = ReadStatements(batch);
    if (batch.fault != Batch::Fault::kNone) {
      ended_ = true;
      return true;
    }
    if (cut == 0) return false;
    tail_.assign(text.data() + cut, text.size() - cut);
    batch.bytes = cut;
    return true;
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  // Reads on until the batch's text holds a whole statement; returns where the
  // last whole one ends, or the size of what is left at the end of the file (0
  // once nothing is); or marks the batch with a fault of the text.
  std::size_t ReadStatements(Batch& batch) {
    TextBuffer& text = batch.text;
    std::size_t searched = 0;  // no statement ends in the text up to here
    for (;;) {
      // The text now holds the start of one statement only: it may grow up to
      // the longest statement read, no further.
      const std::size_t old = text.size();
      const auto room = static_cast<std::size_t>(kMaxObjStatementBytes) -
                        std::min(old, static_cast<std::size_t>(kMaxObjStatementBytes));
      if (!file_.AtEnd() && room > 0) {
        const std::size_t want = std::min(kChunk, room);
        char* into = text.Reserve(want, kMaxObjStatementBytes);
        text.Append(file_.Read(into, want));
        // Early, so that a binary file (or an endless device) is refused at once;
        // the statements are then known to hold none.
        const auto* nul =
            static_cast<const char*>(std::memchr(text.data() + old, '\0', text.size() - old));
        if (nul != nullptr) {
          batch.fault = Batch::Fault::kNul;
          batch.faultAt = static_cast<std::size_t>(nul - text.data());
          return 0;
        }
      }
      const std::size_t cut = LastStatementEnd(text, searched);
      if (cut > 0) return cut;
      if (file_.AtEnd()) return text.size();
      if (text.size() >= kMaxObjStatementBytes) {
        batch.fault = Batch::Fault::kLongStatement;
        return 0;
      }
    }
  }

  // Just past the line end of the last whole statement in `text`; 0 for none,
  // and `searched` moved to where the next search may start. A line end counts
  // when no `\` comes before it: one that does may be in a comment (which it
  // does not continue), but the statement surely ends at the next line end
  // without one.
  std::size_t LastStatementEnd(TextBuffer& text, std::size_t& searched) const {
    const char* data = text.data();
    std::size_t n = text.size();
    if (n > 0 && data[n - 1] == '\r' && !file_.AtEnd()) --n;  // maybe half of a CRLF
    for (std::size_t i = n; i > searched; --i) {
      const char c = data[i - 1];
      if (c != '\n' && c != '\r') continue;
      std::size_t lineEnd = i - 1;
      if (c == '\n' && lineEnd > 0 && data[lineEnd - 1] == '\r') --lineEnd;
      if (lineEnd == 0 || data[lineEnd - 1] != '\\') return i;
      i = lineEnd + 1;
    }
    searched = n;  // a long statement is not searched again as it grows
    return 0;
  }

  ByteSource& file_;    // the caller's; outlives this
  std::string tail_;    // the start of the next statement, read with the last block
  bool first_ = true;   // no block read yet
  bool ended_ = false;  // a fault of the text ended the file
};

// Splits the statements of one batch into its steps, knowing nothing of other
// batches (lines count from the batch's start): batches can be split in any
// order, on either thread, and are then applied in file order.
class BatchSplitter {
 public:
  explicit BatchSplitter(Batch& batch) : batch_(batch) {}

  // Splits the batch's statements into its steps, the batch's arrays, lines
  // counted from 0 at its start; throws only std::bad_alloc.
  void Split() {
    Split(batch_.text.data(), batch_.text.data() + batch_.bytes, batch_);
    batch_.lines = nextLine_;
  }

 private:
  // Splits the complete statements in [begin, end), which ends at the end of a
  // statement or of the file, into `batch`. Lines end at "\n", "\r\n" or a lone
  // "\r". A statement is a line and the lines a `\` at its end continues it
  // onto; the backslash and the line end are blanked in place, so it reads as
  // one line.
  void Split(char* begin, char* end, Batch& batch) {
    char* p = begin;
    if (batch.first && end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
      std::memset(p, ' ', 3);  // a UTF-8 byte order mark
    }
    while (p < end) {
      if (char* next = FastStatement(p, end, batch)) {
        p = next;
        continue;
      }
      const int64_t line = nextLine_;
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
          AddGeneral(statement, lineEnd, line, batch);
          p = next;
          break;
        }
        std::memset(lineEnd - 1, ' ', static_cast<std::size_t>(next - (lineEnd - 1)));
        p = next;
        if (p == end) {  // continued onto the end of the file: nothing more to join
          AddGeneral(statement, end, line, batch);
          break;
        }
      }
    }
  }

  // Adds the statement [begin, end) for the general path, unless it is blank or
  // a comment, which the general path reads as nothing: a file of those costs no
  // memory for them.
  void AddGeneral(char* begin, char* end, int64_t line, Batch& batch) {
    runOpen_ = false;  // a run holds consecutive lines only: this one ends it
    const char* p = begin;
    while (p < end && IsBlank(*p)) ++p;
    if (p == end || *p == '#') return;
    batch.steps.push_back({Step::kGeneral, 1, line, begin, end});
  }

  // --- The common statements, fast -------------------------------------------
  //
  // Nearly all of a large file is `v`, `vt`, `vn` and `f` statements on lines
  // of their own. These are read here in one pass over the line, without
  // splitting it into fields first. A fast path takes only what the general
  // path takes the same way and declines (nullptr, the batch as it was) anything else: a
  // comment, a `\`, an exponent, a sign the general path would read
  // differently, any fault. The general path then reads the statement, with its
  // own messages.

  // Where the statement at `p` ends if a fast path read it into `batch`, or nullptr.
  char* FastStatement(char* p, char* end, Batch& batch) {
    if (end - p < 3) return nullptr;
    if (p[0] == 'v') {
      if (IsBlank(p[1])) return FastVertex(p, end, batch);
      if (p[1] == 't' && IsBlank(p[2])) return FastNumbers(p, end, 1, 3, Step::kTexcoords, batch);
      if (p[1] == 'n' && IsBlank(p[2])) return FastNumbers(p, end, 3, 3, Step::kNormals, batch);
    } else if (p[0] == 'f' && IsBlank(p[1])) {
      return FastFace(p, end, batch);
    }
    return nullptr;
  }

  // Skips blanks; whether the line ends there (at a line end or at `end`).
  static bool SkipToField(char*& p, const char* end) {
    while (p < end && IsBlank(*p)) ++p;
    return p == end || *p == '\n' || *p == '\r';
  }
  // Whether a field read fast ends at `p`: at a blank, a line end or `end`.
  static bool FieldEnds(const char* p, const char* end) {
    return p == end || IsBlank(*p) || *p == '\n' || *p == '\r';
  }

  // Adds the statement at `begin`, read fast, to a run of `kind`, counts its
  // line, and returns where the next line starts.
  char* EndStatement(char* begin, char* lineEnd, char* end, Step::Kind kind, Batch& batch) {
    if (runOpen_ && batch.steps.back().kind == kind) {
      ++batch.steps.back().count;
    } else {
      batch.steps.push_back({kind, 1, nextLine_, begin, nullptr});
      runOpen_ = true;
    }
    ++nextLine_;
    if (lineEnd == end) return end;
    return lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
  }

  char* FastVertex(char* begin, char* end, Batch& batch) {
    double xyz[3] = {0, 0, 0};
    int count = 0;
    char* p = begin + 2;
    while (!SkipToField(p, end)) {
      double value = 0;
      if (!FastNumber(p, end, value)) return nullptr;
      if (count < 3) xyz[count] = value;
      ++count;
    }
    if (count < 3 || count > 7) return nullptr;  // x y z, then w or a colour, ignored
    batch.positions.push_back({xyz[0], xyz[1], xyz[2]});
    return EndStatement(begin, p, end, Step::kVertices, batch);
  }

  // A `vt` or `vn`: `min` to `max` numbers, checked, not kept.
  char* FastNumbers(char* begin, char* end, int min, int max, Step::Kind kind, Batch& batch) {
    int count = 0;
    char* p = begin + 3;
    for (double ignored = 0; !SkipToField(p, end); ++count) {
      if (!FastNumber(p, end, ignored)) return nullptr;
    }
    if (count < min || count > max) return nullptr;
    return EndStatement(begin, p, end, kind, batch);
  }

  // A number of at most 15 digits and no exponent, moving `p` past it: such a
  // number is an integer below 2^53 divided by a power of ten of at most 15, both
  // exact in a double, so one division in double arithmetic rounds it to the
  // nearest double, as NumberValue would. False, `p` anywhere, for anything else.
  static bool FastNumber(char*& p, const char* end, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    [[maybe_unused]] const char* const start = p;
    [[maybe_unused]] const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    for (; p < end && IsDigit(*p); ++p, ++digits) mantissa = mantissa * 10 + (*p - '0');
    if (p < end && *p == '.') {
      for (++p; p < end && IsDigit(*p); ++p, ++digits, ++decimals) {
        mantissa = mantissa * 10 + (*p - '0');
      }
    }
    if (digits == 0 || digits > 15 || !FieldEnds(p, end)) return false;
#if FLT_EVAL_METHOD == 0
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
#else
    // Arithmetic carried out wider than double (x87) would round twice: the
    // digits just checked are left to from_chars, which rounds once.
    static_cast<void>(mantissa);
    static_cast<void>(kPowersOfTen);
    std::from_chars(start + (*start == '+' ? 1 : 0), p, value);
#endif
    return true;
  }

  char* FastFace(char* begin, char* end, Batch& batch) {
    const std::size_t first = batch.references.size();
    batch.references.push_back(0);  // the count, once known
    int32_t count = 0;
    int32_t texcoords = 0;  // the largest index of each kind named
    int32_t normals = 0;
    char* p = begin + 2;
    const auto decline = [&] {
      batch.references.resize(first);
      return nullptr;
    };
    while (!SkipToField(p, end)) {
      if (count == kFastFacePoints) return decline();
      int32_t vertex = 0;
      if (!FastIndex(p, end, vertex)) return decline();
      int32_t texcoord = 0;
      int32_t normal = 0;
      if (p < end && *p == '/') {  // v/vt, v/vt/vn or v//vn
        if (++p < end && *p == '/') {
          if (!FastIndex(++p, end, normal)) return decline();
        } else {
          if (!FastIndex(p, end, texcoord)) return decline();
          if (p < end && *p == '/' && !FastIndex(++p, end, normal)) return decline();
        }
      }
      if (!FieldEnds(p, end)) return decline();
      batch.references.push_back(vertex);
      texcoords = std::max(texcoords, texcoord < 0 ? -texcoord : texcoord);
      normals = std::max(normals, normal < 0 ? -normal : normal);
      ++count;
    }
    if (count < 3) return decline();
    batch.references[first] = count;
    batch.references.push_back(texcoords);
    batch.references.push_back(normals);
    return EndStatement(begin, p, end, Step::kFaces, batch);
  }

  // A longer face takes the general path, which adds its points to the object
  // as it reads them rather than to the batch.
  static constexpr int32_t kFastFacePoints = 64;

  // An index as written, moving `p` past it: from 1, or a minus and back from
  // the last. False for none, 0, or one past what the document can hold.
  static bool FastIndex(char*& p, const char* end, int32_t& index) {
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    int64_t value = 0;
    int digits = 0;
    for (; p < end && IsDigit(*p) && digits < 10; ++p, ++digits) value = value * 10 + (*p - '0');
    if (digits == 0 || value == 0 || value > kMaxCount) return false;
    index = static_cast<int32_t>(negative ? -value : value);
    return true;
  }

  Batch& batch_;          // the caller's; outlives this
  int64_t nextLine_ = 0;  // the line of the next statement, from the batch's start
  bool runOpen_ = false;  // the last step is a run the next line may extend
};

// --- Building objects from statements ---------------------------------------

// Applies the statements of each batch in file order: every check against what
// is defined so far, every message, the objects.
class ObjBuilder {
 public:
  ObjBuilder(const std::string& path, const ProgressShare& progress, Document& objects)
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

// --- Splitting on a second thread --------------------------------------------

// Reads blocks on a thread of its own, up to kSlots ahead of the builder, and
// splits them there too; the builder splits the one it needs next itself when
// the thread has not begun it, so that both threads stay busy whichever part
// of the work is the larger for a file. Batches come out in file order; a
// fault comes out where it happened, after the batches before it, as it would
// on one thread. Dropping this stops the thread and waits for it.
class SplitAhead {
 public:
  // Starts the thread; throws std::system_error when it cannot be made.
  explicit SplitAhead(ObjBlocks& blocks) : blocks_(blocks) {
    thread_ = std::thread([this] { Run(); });
  }
  SplitAhead(const SplitAhead&) = delete;
  SplitAhead& operator=(const SplitAhead&) = delete;
  ~SplitAhead() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // The next batch in file order, split, to be handed back with Done; null
  // once the file is through. Rethrows a fault of reading or splitting in its
  // place.
  Batch* Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (handed_ < read_) {
        Slot& slot = SlotOf(handed_);
        if (slot.state == State::kSplit) {
          if (slot.fault) std::rethrow_exception(slot.fault);
          return &slot.batch;
        }
        // Not split yet: split it here if the thread has not begun it, else
        // one after it while the thread finishes.
        if (SplitOne(lock)) continue;
      } else if (ended_) {
        if (fault_) std::rethrow_exception(fault_);
        return nullptr;
      }
      changed_.wait(lock);
    }
  }

  // Hands back the batch Next gave last, applied.
  void Done() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      Slot& slot = SlotOf(handed_++);
      slot.state = State::kFree;
      slot.fault = nullptr;
    }
    changed_.notify_all();
  }

 private:
  enum class State { kFree, kRead, kSplitting, kSplit };
  struct Slot {
    Batch batch;
    State state = State::kFree;
    std::exception_ptr fault;  // of splitting it
  };
  static constexpr uint64_t kSlots = 4;

  Slot& SlotOf(uint64_t index) { return slots_[index % kSlots]; }

  // The oldest batch from `from` on that is read and that nobody splits yet,
  // marked as being split by the caller, or null; the lock held.
  Slot* Unsplit(uint64_t from) {
    for (uint64_t i = from; i < read_; ++i) {
      if (SlotOf(i).state == State::kRead) {
        SlotOf(i).state = State::kSplitting;
        return &SlotOf(i);
      }
    }
    return nullptr;
  }

  // Splits the oldest batch read that nobody splits yet, `lock` let go of
  // meanwhile; false when there is none.
  bool SplitOne(std::unique_lock<std::mutex>& lock) {
    Slot* unsplit = Unsplit(handed_);
    if (unsplit == nullptr) return false;
    lock.unlock();
    SplitInto(*unsplit);
    lock.lock();
    return true;
  }

  // Splits the slot Unsplit gave, the lock not held. A fault (std::bad_alloc)
  // stays with the slot, told when its turn comes: a later block must not
  // overtake an earlier one's fault.
  void SplitInto(Slot& slot) noexcept {
    std::exception_ptr fault;
    try {
      BatchSplitter(slot.batch).Split();
    } catch (...) {
      fault = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      slot.fault = fault;
      slot.state = State::kSplit;
    }
    changed_.notify_all();
  }

  // Reads while a slot is free, else splits the oldest batch read that nobody
  // splits yet, else waits.
  void Run() noexcept {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (!ended_ && read_ - handed_ < kSlots) {
        Slot& slot = SlotOf(read_);
        lock.unlock();
        bool more = false;
        std::exception_ptr fault;
        try {
          more = blocks_.Read(slot.batch);
        } catch (...) {
          fault = std::current_exception();
        }
        lock.lock();
        if (more) {
          slot.state = State::kRead;
          ++read_;
        } else {
          ended_ = true;
          fault_ = fault;
        }
        changed_.notify_all();
        continue;
      }
      if (SplitOne(lock)) continue;
      if (ended_) return;  // all read, and all split or being split
      changed_.wait(lock);
    }
  }

  ObjBlocks& blocks_;  // the caller's; used by the thread alone until it ends
  Slot slots_[kSlots];
  std::mutex mutex_;  // guards what follows, and the slots' states
  std::condition_variable changed_;
  uint64_t read_ = 0;    // batches read
  uint64_t handed_ = 0;  // batches handed back applied; the next Next gives
  bool ended_ = false;   // the file is through, or reading it failed with fault_
  std::exception_ptr fault_;
  bool stop_ = false;  // the builder wants no more
  std::thread thread_;
};

// Files smaller than this are split on the builder's thread: a thread costs
// more than it saves on a few blocks.
constexpr uint64_t kSplitAheadBytes = uint64_t{4} << 20;

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

ObjFile ObjFile::Read(const std::string& path, const ProgressShare& progress, ObjThreads threads) {
  InputFile file(path);
  return Read(file, path, progress, threads);
}

ObjFile ObjFile::Read(ByteSource& source, const std::string& path, const ProgressShare& progress,
                      ObjThreads threads) {
  auto data = std::make_unique<Data>();
  ObjBlocks blocks(source);
  ObjBuilder builder(path, progress, data->objects);
  // Only a regular file is read ahead: the thread must be able to stop when
  // the builder refuses the file, and a read of a pipe or device may never
  // return.
  if (threads == ObjThreads::kAuto) {
    threads = blocks.RegularSize() >= kSplitAheadBytes ? ObjThreads::kTwo : ObjThreads::kOne;
  }
  std::unique_ptr<SplitAhead> ahead;
  if (threads == ObjThreads::kTwo && blocks.RegularSize() > 0) {
    try {
      ahead = std::make_unique<SplitAhead>(blocks);
    } catch (const std::system_error&) {
      // No thread to be had: the one there is does it all.
    }
  }
  if (ahead != nullptr) {
    while (Batch* batch = ahead->Next()) {
      builder.Apply(*batch);
      ahead->Done();
    }
  } else {
    Batch batch;
    while (blocks.Read(batch)) {
      BatchSplitter(batch).Split();
      builder.Apply(batch);
    }
  }
  ahead.reset();
  builder.Finish();
  return ObjFile(std::move(data));
}

Object& ObjFile::AddObjectTo(int32_t index, Document& document) {
  const Object* object = data_->objects.At(index);
  if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
  return document.AddCopy(*object);
}

void ObjFile::MoveObjectsTo(Document& document) { document.TakeSlots(data_->objects); }

namespace {

class ObjModelFile : public ModelFile {
 public:
  explicit ObjModelFile(ObjFile file) : file_(std::move(file)) {}
  int32_t ObjectCount() const override { return file_.ObjectCount(); }
  const std::string& ObjectName(int32_t index) const override { return file_.ObjectName(index); }
  Object& AddObjectTo(int32_t index, Document& document) override {
    return file_.AddObjectTo(index, document);
  }
  // Moved, not copied: a load takes every object once.
  void MoveObjectsTo(Document& document) override { file_.MoveObjectsTo(document); }

 private:
  ObjFile file_;
};

}  // namespace

Format ObjFormat() {
  Format format;
  format.name = "OBJ";
  format.extensions = {".obj"};
  // A path without extension (a pipe, /dev/stdin) is read as OBJ, as it always was.
  format.takesNoExtension = true;
  format.read = [](const std::string& path, const ProgressShare& progress) {
    return std::unique_ptr<ModelFile>(
        std::make_unique<ObjModelFile>(ObjFile::Read(path, progress)));
  };
  format.listing =
      "  .obj       Wavefront OBJ, by its own reader: objects, vertices and faces as the\n"
      "             file has them (see README); also a file without extension (a pipe)\n";
  format.help = "OBJ";
  return format;
}

}  // namespace vhost::models
