// Splitting a block into statements, and the fast paths that read the common
// ones in one pass over their line. Every function a statement or a field
// passes through is in this file or inline in fields.h, so that the loop over a
// block's lines is compiled as one. See statements.h.
#include "host/models/obj/statements.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/models/obj/fields.h"

namespace vhost::models::obj {
namespace {

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

}  // namespace

void SplitBatch(Batch& batch) { BatchSplitter(batch).Split(); }

}  // namespace vhost::models::obj
