// The PLY reader: the header (ply_header.h) read into a plan of each element's
// fields, then the body scanned once, record by record, in file order. Vertices
// are joined as they are read (ExactJoin) and handed to the object in pieces;
// faces follow them in pieces, so that the object's arrays are the only whole
// copy of the geometry. Everything built lives in a document of the reader's
// own until the whole file has been read and checked.
#include "host/models/ply/ply_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "host/models/block_input.h"
#include "host/models/document_file.h"
#include "host/models/exact_join.h"
#include "host/models/limits.h"
#include "host/models/ply_header.h"
#include "host/models/text_numbers.h"

namespace vhost::models {
namespace {

// What a property is to the count.
enum class Use : uint8_t {
  kNone,      // read past
  kIdentity,  // part of what makes a vertex the vertex it is (normal, uv, colour)
  kAxis,      // a position coordinate, and part of the identity
  kIndices,   // a face's or strip's list of vertex numbers
  kEnd,       // an edge's vertex1 or vertex2
};

struct Field {
  std::string_view name;
  bool list = false;
  PlyScalar count = PlyScalar::kUChar;  // a list's
  PlyScalar type = PlyScalar::kFloat;
  std::size_t bytes = 0;  // of one value
  Use use = Use::kNone;
  int slot = 0;           // kAxis: x, y, z; kEnd: 0, 1
  std::size_t keyAt = 0;  // kIdentity, kAxis: where in the vertex's key
};

enum class Kind : uint8_t { kOther, kVertex, kFace, kStrips, kEdge };

struct Plan {
  const PlyElement* element = nullptr;
  Kind kind = Kind::kOther;
  std::vector<Field> fields;
  std::size_t fixedBytes = 0;  // a binary record's size when no field is a list
  bool fixed = true;
  std::size_t keyBytes = 0;
};

bool IsInteger(PlyScalar type) { return type != PlyScalar::kFloat && type != PlyScalar::kDouble; }

// The range of an integer type.
std::pair<int64_t, int64_t> RangeOf(PlyScalar type) {
  switch (type) {
    case PlyScalar::kChar:
      return {INT8_MIN, INT8_MAX};
    case PlyScalar::kUChar:
      return {0, UINT8_MAX};
    case PlyScalar::kShort:
      return {INT16_MIN, INT16_MAX};
    case PlyScalar::kUShort:
      return {0, UINT16_MAX};
    case PlyScalar::kInt:
      return {INT32_MIN, INT32_MAX};
    default:
      return {0, UINT32_MAX};
  }
}

const char* TypeName(PlyScalar type) {
  static constexpr const char* kNames[] = {"char", "uchar", "short", "ushort",
                                           "int",  "uint",  "float", "double"};
  return kNames[static_cast<int>(type)];
}

// The value at `p`, stored in the file's byte order (`swap`: the other one
// than this machine's).
template <typename T>
T Load(const char* p, bool swap) {
  std::array<char, sizeof(T)> bytes;
  std::memcpy(bytes.data(), p, sizeof(T));
  if (swap) std::reverse(bytes.begin(), bytes.end());
  T value;
  std::memcpy(&value, bytes.data(), sizeof(T));
  return value;
}

// The value of `type` at `p` as a T: a double for any field, an int64_t for
// the integer fields (counts and indices, which the plan checks are integers).
template <typename T>
T ValueAt(const char* p, PlyScalar type, bool swap) {
  switch (type) {
    case PlyScalar::kChar:
      return static_cast<T>(Load<int8_t>(p, swap));
    case PlyScalar::kUChar:
      return static_cast<T>(Load<uint8_t>(p, swap));
    case PlyScalar::kShort:
      return static_cast<T>(Load<int16_t>(p, swap));
    case PlyScalar::kUShort:
      return static_cast<T>(Load<uint16_t>(p, swap));
    case PlyScalar::kInt:
      return static_cast<T>(Load<int32_t>(p, swap));
    case PlyScalar::kUInt:
      return static_cast<T>(Load<uint32_t>(p, swap));
    case PlyScalar::kFloat:
      return static_cast<T>(Load<float>(p, swap));
    case PlyScalar::kDouble:
      return static_cast<T>(Load<double>(p, swap));
  }
  return 0;
}

// A text field as a value of `type`: its bytes as a binary body would hold
// them in this machine's order into `into`, its value into `value`. False
// when the field is no number of that type.
bool ParseField(std::string_view text, PlyScalar type, unsigned char* into, double& value) {
  if (type == PlyScalar::kFloat) {
    float real = 0;
    if (!ParseReal(text, real)) return false;
    std::memcpy(into, &real, sizeof real);
    value = real;
    return true;
  }
  if (type == PlyScalar::kDouble) {
    if (!ParseReal(text, value)) return false;
    std::memcpy(into, &value, sizeof value);
    return true;
  }
  const auto [low, high] = RangeOf(type);
  int64_t whole = 0;
  if (!ParseInteger(text, low, high, whole)) return false;
  // Little-endian machines only (x86, ARM as built): the low bytes are first.
  std::memcpy(into, &whole, PlyScalarBytes(type));
  value = static_cast<double>(whole);
  return true;
}

class Reader {
 public:
  Reader(ByteSource& source, const std::string& path, const ProgressShare& progress)
      : path_(path),
        in_(source, /*readErrorsAsEnd=*/false),
        progress_(progress),
        size_(source.RegularSize()) {}

  std::unique_ptr<ModelFile> Read() {
    header_ = ReadPlyHeader(in_);
    if (header_.flaw) FailHeader(*header_.flaw);
    if (header_.format == PlyFormat::kUnstated) {
      throw ModelError(path_, header_.endLine, "the header has no format line");
    }
    if (header_.format == PlyFormat::kOther) {
      throw ModelError(path_, header_.endLine,
                       "the format is none of ascii, binary_little_endian and binary_big_endian");
    }
    text_ = header_.format == PlyFormat::kAscii;
    swap_ = header_.format == PlyFormat::kBinaryBigEndian;
    for (const PlyElement& element : header_.elements) plans_.push_back(PlanOf(element));
    const auto vertexPlan = std::find_if(plans_.begin(), plans_.end(),
                                         [](const Plan& p) { return p.kind == Kind::kVertex; });
    if (vertexPlan == plans_.end()) {
      throw ModelError(path_, header_.endLine, "the header declares no vertex element");
    }
    vertexCount_ = vertexPlan->element->count;
    key_.resize(std::max<std::size_t>(vertexPlan->keyBytes, 1));

    object_ = &objects_.AddObject(FileStem(path_) + "/mesh 0");
    BlockInput body(in_, in_.Consumed(), progress_);
    body_ = &body;
    line_ = header_.endLine;
    for (const Plan& plan : plans_) {
      element_ = &plan;
      if (plan.kind == Kind::kVertex) {
        Vertices(plan);
      } else {
        Records(plan);
      }
    }
    element_ = nullptr;
    CheckEnd();
    Finish();
    return std::make_unique<DocumentFile>(objects_);
  }

 private:
  // --- Faults -----------------------------------------------------------------

  [[noreturn]] void FailHeader(const PlyHeaderFlaw& flaw) const {
    std::string message;
    switch (flaw.kind) {
      case PlyHeaderFlaw::Kind::kLongLine:
        message = "a header line longer than " + std::to_string(kPlyLongestHeaderLine) + " bytes";
        break;
      case PlyHeaderFlaw::Kind::kNoEnd:
        message = "the header ends without an end_header line";
        break;
      case PlyHeaderFlaw::Kind::kControlCharacter:
        message = "a control character in the header";
        break;
      case PlyHeaderFlaw::Kind::kNoSignature:
        message = "no PLY header: the first line is not \"ply\"";
        break;
      case PlyHeaderFlaw::Kind::kBadElementLine:
        message = "an element line that is not \"element NAME COUNT\"";
        break;
      case PlyHeaderFlaw::Kind::kRepeatedElement:
        message = "element " + Quote(flaw.element) + " declared twice";
        break;
      case PlyHeaderFlaw::Kind::kBadCount:
        message = "element " + Quote(flaw.element) + ": its count is no whole number";
        break;
    }
    throw ModelError(path_, flaw.line, message);
  }

  // A fault in the record being read: "element face 12: ...", on its line in a
  // text body.
  [[noreturn]] void Fail(const std::string& message,
                         ModelError::Kind kind = ModelError::Kind::kSyntax) const {
    throw ModelError(
        kind, path_, text_ ? line_ : 0,
        "element " + element_->element->name + " " + std::to_string(record_ + 1) + ": " + message);
  }

  [[noreturn]] void FailShort() const {
    Fail(text_ ? "the file ends here, short of the records the header declares"
               : "the file ends inside this record, short of the records the header declares");
  }

  // --- The plan ---------------------------------------------------------------

  Plan PlanOf(const PlyElement& element) {
    Plan plan;
    plan.element = &element;
    const std::string& name = element.name;
    plan.kind = name == "vertex"      ? Kind::kVertex
                : name == "face"      ? Kind::kFace
                : name == "tristrips" ? Kind::kStrips
                : name == "edge"      ? Kind::kEdge
                                      : Kind::kOther;
    bool indices = false;
    std::array<bool, 2> ends{};
    for (const PlyProperty& property : element.properties) {
      Field field;
      field.name = property.name;
      field.list = property.list;
      const auto typed = [&](const std::string& word) {
        const std::optional<PlyScalar> type = PlyScalarNamed(word);
        if (!type) {
          throw ModelError(path_, property.line,
                           "property " + Quote(property.name) + " of element " +
                               Quote(element.name) + ": " + Quote(word) + " is no PLY type");
        }
        return *type;
      };
      if (field.list) field.count = typed(property.countType);
      field.type = typed(property.type);
      field.bytes = PlyScalarBytes(field.type);
      if (field.list && !IsInteger(field.count)) {
        throw ModelError(path_, property.line,
                         "property " + Quote(property.name) + ": a list's size must be an integer");
      }
      const std::string_view n = property.name;
      if (plan.kind == Kind::kVertex && !field.list) {
        static constexpr std::string_view kAxes[] = {"x", "y", "z"};
        static constexpr std::string_view kIdentity[] = {
            "nx", "ny",        "nz",  "u",     "s",    "tx",    "texture_u", "v", "t",
            "ty", "texture_v", "red", "green", "blue", "alpha", "r",         "g", "b"};
        for (int axis = 0; axis < 3; ++axis) {
          if (n == kAxes[axis]) {
            field.use = Use::kAxis;
            field.slot = axis;
          }
        }
        if (std::find(std::begin(kIdentity), std::end(kIdentity), n) != std::end(kIdentity)) {
          field.use = Use::kIdentity;
        }
        if (field.use != Use::kNone) {
          field.keyAt = plan.keyBytes;
          plan.keyBytes += field.bytes;
        }
      } else if ((plan.kind == Kind::kFace || plan.kind == Kind::kStrips) && !indices &&
                 (n == "vertex_indices" || n == "vertex_index")) {
        if (!field.list || !IsInteger(field.type)) {
          throw ModelError(path_, property.line,
                           "property " + Quote(property.name) + " of element " +
                               Quote(element.name) + ": must be a list of integers");
        }
        field.use = Use::kIndices;
        indices = true;
      } else if (plan.kind == Kind::kEdge && !field.list && (n == "vertex1" || n == "vertex2")) {
        field.slot = n == "vertex1" ? 0 : 1;
        if (ends[static_cast<std::size_t>(field.slot)]) continue;
        if (!IsInteger(field.type)) {
          throw ModelError(path_, property.line,
                           "property " + Quote(property.name) + ": must be an integer");
        }
        field.use = Use::kEnd;
        ends[static_cast<std::size_t>(field.slot)] = true;
      }
      plan.fixed = plan.fixed && !field.list;
      plan.fixedBytes += field.bytes;
      plan.fields.push_back(field);
    }
    const bool faces = plan.kind == Kind::kFace || plan.kind == Kind::kStrips;
    if ((faces && !indices) || (plan.kind == Kind::kEdge && !(ends[0] && ends[1]))) {
      if (element.count > 0) {
        throw ModelError(path_, element.line,
                         "element " + Quote(element.name) + " has no " +
                             (faces ? "vertex_indices list" : "vertex1 and vertex2 properties"));
      }
      plan.kind = Kind::kOther;
    }
    if (plan.kind != Kind::kOther && plan.kind != Kind::kVertex &&
        element.count > static_cast<uint64_t>(kMaxElementCount)) {
      throw ModelError(ModelError::Kind::kLimit, path_, element.line,
                       "element " + Quote(element.name) + " declares more than " +
                           std::to_string(kMaxElementCount) + " records, the most this host holds");
    }
    if (plan.kind == Kind::kVertex && element.count > static_cast<uint64_t>(kMaxElementCount)) {
      throw ModelError(ModelError::Kind::kLimit, path_, element.line,
                       "more than " + std::to_string(kMaxElementCount) +
                           " vertices, the most this host holds in one object");
    }
    return plan;
  }

  // --- Records ----------------------------------------------------------------

  // The next record of a binary body, whole and contiguous; its size into `size`.
  const char* BinaryRecord(const Plan& plan, std::size_t& size) {
    if (plan.fixed) {
      size = plan.fixedBytes;
      const char* p = body_->Peek(size);
      if (p == nullptr) FailShort();
      return p;
    }
    std::size_t length = 0;
    for (const Field& field : plan.fields) {
      if (!field.list) {
        length += field.bytes;
        continue;
      }
      const std::size_t countBytes = PlyScalarBytes(field.count);
      const char* p = body_->Peek(length + countBytes);
      if (p == nullptr) FailShort();
      const int64_t items = ValueAt<int64_t>(p + length, field.count, swap_);
      if (items < 0) Fail("a list of negative size (" + std::to_string(items) + ")");
      // In 64 bits: a 32-bit build's size_t would wrap for a list of 2^32 doubles.
      const uint64_t longer =
          uint64_t{length} + countBytes + static_cast<uint64_t>(items) * field.bytes;
      if (longer > kMaxRecordBytes) {
        Fail("a record longer than " + std::to_string(kMaxRecordBytes >> 20) +
                 " MiB, the most this host reads as one",
             ModelError::Kind::kLimit);
      }
      length = static_cast<std::size_t>(longer);
    }
    size = length;
    const char* p = body_->Peek(length);
    if (p == nullptr) FailShort();
    return p;
  }

  // The next line of a text body that holds anything, split into its words.
  void TextRecord() {
    std::string_view line;
    for (;;) {
      bool tooLong = false;
      if (!body_->Line(line, kMaxRecordBytes, tooLong)) FailShort();
      ++line_;
      if (tooLong) {
        Fail("a line longer than " + std::to_string(kMaxRecordBytes >> 20) +
                 " MiB, the most this host reads as one",
             ModelError::Kind::kLimit);
      }
      SplitWords(line);
      if (!words_.empty()) return;
    }
  }

  void SplitWords(std::string_view line) {
    words_.clear();
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
      const std::size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
      if (i > start) words_.push_back(line.substr(start, i - start));
    }
  }

  std::string_view NextWord() {
    if (word_ >= words_.size()) {
      Fail("fewer values on the line than the element declares");
    }
    return words_[word_++];
  }

  void EndOfTextRecord() {
    if (word_ < words_.size()) {
      Fail("more values on the line than the element declares: " +
           Quote(words_[word_], {'"', 40, false}));
    }
  }

  // A text field of `type`; faults name it.
  double TextValue(const Field& field, PlyScalar type, unsigned char* into) {
    const std::string_view word = NextWord();
    double value = 0;
    unsigned char scratch[8];
    if (!ParseField(word, type, into != nullptr ? into : scratch, value)) {
      Fail(Quote(word, {'"', 40, false}) + " is no " + TypeName(type) + " value of property " +
           Quote(std::string(field.name)));
    }
    return value;
  }

  // --- Vertices ---------------------------------------------------------------

  void Vertices(const Plan& plan) {
    const uint64_t count = plan.element->count;
    ExactJoin join(std::max<std::size_t>(plan.keyBytes, 1));
    // A header may declare more than the file holds: room for what it can hold.
    const uint64_t room = std::min<uint64_t>(count, Affordable(plan));
    join.Reserve(static_cast<std::size_t>(room));
    object_->Reserve(static_cast<int64_t>(room), 0, 0);
    remap_.reserve(static_cast<std::size_t>(room));
    std::vector<Vec3> piece;
    piece.reserve(kVertexPiece);
    // Records are joined a batch at a time (ExactJoin::JoinAll).
    const std::size_t keyBytes = key_.size();
    std::vector<unsigned char> keys(ExactJoin::kBatch * keyBytes);
    std::array<Vec3, ExactJoin::kBatch> positions{};
    std::array<int32_t, ExactJoin::kBatch> numbers{};
    std::array<bool, ExactJoin::kBatch> added{};
    std::size_t batched = 0;
    const auto joinBatch = [&] {
      join.JoinAll(keys.data(), batched, numbers.data(), added.data());
      for (std::size_t i = 0; i < batched; ++i) {
        remap_.push_back(numbers[i]);
        if (!added[i]) continue;
        piece.push_back(positions[i]);
        if (piece.size() == kVertexPiece) {
          object_->AddVertices(piece.data(), static_cast<int32_t>(piece.size()));
          piece.clear();
        }
      }
      batched = 0;
    };
    for (record_ = 0; record_ < count; ++record_) {
      Vec3& position = positions[batched];
      position = Vec3{};
      double* axes[3] = {&position.x, &position.y, &position.z};
      unsigned char* key = &keys[batched * keyBytes];
      std::memset(key, 0, keyBytes);
      if (text_) {
        TextRecord();
        word_ = 0;
        for (const Field& field : plan.fields) {
          if (field.list) {
            const int64_t items = TextCount(field);
            for (int64_t i = 0; i < items; ++i) TextValue(field, field.type, nullptr);
            continue;
          }
          unsigned char* into = field.use == Use::kNone ? nullptr : key + field.keyAt;
          const double value = TextValue(field, field.type, into);
          if (field.use == Use::kAxis) *axes[field.slot] = value;
        }
        EndOfTextRecord();
      } else {
        std::size_t size = 0;
        const char* at = BinaryRecord(plan, size);
        for (const Field& field : plan.fields) {
          if (field.list) {
            const int64_t items = ValueAt<int64_t>(at, field.count, swap_);
            at += PlyScalarBytes(field.count) + static_cast<std::size_t>(items) * field.bytes;
            continue;
          }
          if (field.use != Use::kNone) {
            std::memcpy(key + field.keyAt, at, field.bytes);
            if (field.use == Use::kAxis) *axes[field.slot] = ValueAt<double>(at, field.type, swap_);
          }
          at += field.bytes;
        }
        body_->Skip(size);
      }
      if (++batched == ExactJoin::kBatch) joinBatch();
    }
    joinBatch();
    object_->AddVertices(piece.data(), static_cast<int32_t>(piece.size()));
    verticesRead_ = true;
    // Faces read before the vertices (an unusual order, but PLY's own) get
    // their vertices now.
    for (int32_t& point : points_) point = remap_[static_cast<std::size_t>(point)];
    Flush();
  }

  // Records of a binary body the file can hold at most in its remaining
  // bytes; every record when its size is not known.
  uint64_t Affordable(const Plan& plan) const {
    if (size_ == 0) return UINT64_MAX;
    const uint64_t left = size_ > body_->Offset() ? size_ - body_->Offset() : 0;
    uint64_t least = text_ ? 2 * plan.fields.size() : plan.fixedBytes;
    if (!plan.fixed && !text_) {
      least = 0;
      for (const Field& field : plan.fields) {
        least += field.list ? PlyScalarBytes(field.count) : field.bytes;
      }
    }
    return left / std::max<uint64_t>(least, 1);
  }

  int64_t TextCount(const Field& field) {
    const std::string_view word = NextWord();
    const auto [low, high] = RangeOf(field.count);
    int64_t items = 0;
    if (!ParseInteger(word, low, high, items)) {
      Fail(Quote(word, {'"', 40, false}) + " is no list size of property " +
           Quote(std::string(field.name)));
    }
    if (items < 0) Fail("a list of negative size (" + std::to_string(items) + ")");
    return items;
  }

  // --- Faces, strips, edges and other elements --------------------------------

  void Records(const Plan& plan) {
    const uint64_t count = plan.element->count;
    if (plan.kind != Kind::kOther && faceRoom_ == 0) {
      // Room once for all faces: a triangle each, the most common.
      uint64_t faces = 0;
      for (const Plan& p : plans_) {
        if (p.kind == Kind::kFace || p.kind == Kind::kEdge) faces += p.element->count;
      }
      faces = std::min<uint64_t>({faces, Affordable(plan), kMaxElementCount / 3});
      faceRoom_ = faces + 1;
      // Points only: faces of one size need no lists of sizes (Flush).
      object_->Reserve(
          0, 0,
          static_cast<int64_t>(plan.kind == Kind::kEdge ? 2 : 3) * static_cast<int64_t>(faces));
    }
    const bool plain = PlainFaces(plan);
    for (record_ = 0; record_ < count; ++record_) {
      if (plain) {
        TakePlainFaces(count);
        if (record_ == count) break;
      }
      corners_.clear();
      std::array<int64_t, 2> ends{};
      if (text_) {
        TextRecord();
        word_ = 0;
        for (const Field& field : plan.fields) {
          if (field.list) {
            const int64_t items = TextCount(field);
            for (int64_t i = 0; i < items; ++i) {
              const double value = TextValue(field, field.type, nullptr);
              if (field.use == Use::kIndices) corners_.push_back(static_cast<int64_t>(value));
            }
          } else {
            const double value = TextValue(field, field.type, nullptr);
            if (field.use == Use::kEnd)
              ends[static_cast<std::size_t>(field.slot)] = static_cast<int64_t>(value);
          }
        }
        EndOfTextRecord();
      } else {
        std::size_t size = 0;
        const char* at = BinaryRecord(plan, size);
        for (const Field& field : plan.fields) {
          if (field.list) {
            const auto items = static_cast<std::size_t>(ValueAt<int64_t>(at, field.count, swap_));
            at += PlyScalarBytes(field.count);
            if (field.use == Use::kIndices) {
              for (std::size_t i = 0; i < items; ++i) {
                corners_.push_back(ValueAt<int64_t>(at + i * field.bytes, field.type, swap_));
              }
            }
            at += items * field.bytes;
            continue;
          }
          if (field.use == Use::kEnd) {
            ends[static_cast<std::size_t>(field.slot)] = ValueAt<int64_t>(at, field.type, swap_);
          }
          at += field.bytes;
        }
        body_->Skip(size);
      }
      switch (plan.kind) {
        case Kind::kFace:
          if (corners_.empty()) Fail("a face of no points");
          AddFace(corners_.data(), corners_.size());
          break;
        case Kind::kEdge:
          AddFace(ends.data(), 2);
          break;
        case Kind::kStrips:
          Strips();
          break;
        default:
          break;
      }
    }
  }

  // Binary faces as nearly every file lays them out: one list of int or uint
  // indices with a uchar size, and nothing else, in this machine's byte order.
  bool PlainFaces(const Plan& plan) const {
    if (text_ || swap_ || plan.kind != Kind::kFace || plan.fields.size() != 1) return false;
    const Field& field = plan.fields[0];
    return field.list && field.use == Use::kIndices && field.count == PlyScalar::kUChar &&
           (field.type == PlyScalar::kInt || field.type == PlyScalar::kUInt);
  }

  // Takes plain faces (PlainFaces) straight from the block, many a call
  // rather than a record and a field at a time, from record_ on. Stops at the
  // first record that is anything but a face of valid indices whole in the
  // bytes at hand, record_ naming it, for the general path to read (and,
  // when it is at fault, to refuse in its own words).
  void TakePlainFaces(uint64_t count) {
    constexpr std::size_t kChunk = std::size_t{64} << 10;
    std::array<int64_t, UINT8_MAX> corners{};
    while (record_ < count) {
      const std::size_t have = body_->Left(kChunk);
      if (have == 0) return;  // the file ends: the record-at-a-time reading says so
      const char* bytes = body_->Peek(have);
      if (bytes == nullptr) return;
      std::size_t at = 0;
      bool stopped = false;
      while (record_ < count) {
        const std::size_t points = static_cast<unsigned char>(bytes[at]);
        if (points == 0 || at + 1 + 4 * points > have) {
          stopped = points == 0 || have < kChunk;
          break;
        }
        for (std::size_t i = 0; i < points; ++i) {
          int32_t value = 0;
          std::memcpy(&value, bytes + at + 1 + 4 * i, sizeof value);
          // A uint past 2^31 reads as negative here: past the vertices either way.
          if (value < 0 || static_cast<uint64_t>(value) >= vertexCount_) stopped = true;
          corners[i] = value;
        }
        if (stopped) break;
        AddFace(corners.data(), points);
        at += 1 + 4 * points;
        ++record_;
        if (at >= have) break;
      }
      body_->Skip(at);
      if (stopped || at == 0) return;
    }
  }

  // A strip's triangles: each point after the first two makes one with the
  // two before it, every other one turned so that all face the same way; -1
  // ends a strip and starts the next.
  void Strips() {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= corners_.size(); ++i) {
      if (i < corners_.size() && corners_[i] != -1) continue;
      for (std::size_t k = start; k + 2 < i; ++k) {
        const bool even = (k - start) % 2 == 0;
        const int64_t triangle[3] = {corners_[even ? k : k + 1], corners_[even ? k + 1 : k],
                                     corners_[k + 2]};
        AddFace(triangle, 3);
      }
      start = i + 1;
    }
  }

  void AddFace(const int64_t* corners, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const int64_t v = corners[i];
      if (v < 0 || static_cast<uint64_t>(v) >= vertexCount_) {
        Fail("index " + std::to_string(v) + " past the " + std::to_string(vertexCount_) +
             " vertices");
      }
    }
    faces_ += 1;
    facePoints_ += count;
    if (faces_ > static_cast<uint64_t>(kMaxElementCount) ||
        facePoints_ > static_cast<uint64_t>(kMaxElementCount)) {
      Fail("more than " + std::to_string(kMaxElementCount) +
               (faces_ > static_cast<uint64_t>(kMaxElementCount) ? " faces" : " face points") +
               ", the most this host holds in one object",
           ModelError::Kind::kLimit);
    }
    sizes_.push_back(static_cast<int32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
      const auto v = static_cast<std::size_t>(corners[i]);
      points_.push_back(verticesRead_ ? remap_[v] : static_cast<int32_t>(v));
    }
    if (verticesRead_ && sizes_.size() >= kVertexPiece) Flush();
  }

  void Flush() {
    // Faces of one size (a triangle mesh) go over whole, held without lists
    // of sizes; the first piece's points become the object's.
    if (!sizes_.empty() && std::all_of(sizes_.begin(), sizes_.end(),
                                       [this](int32_t size) { return size == sizes_[0]; })) {
      object_->AddFacesOfSize(sizes_[0], std::move(points_));
    } else {
      object_->AddFaces(sizes_.data(), static_cast<int32_t>(sizes_.size()), points_.data());
    }
    sizes_.clear();
    points_.clear();
  }

  // --- The end ----------------------------------------------------------------

  void CheckEnd() {
    if (text_) {
      std::string_view line;
      bool tooLong = false;
      while (body_->Line(line, kMaxRecordBytes, tooLong)) {
        ++line_;
        SplitWords(line);
        if (!words_.empty() || tooLong) {
          throw ModelError(path_, line_,
                           "text after the last record the header declares: " +
                               Quote(words_.empty() ? line : words_[0], {'"', 40, false}));
        }
      }
      return;
    }
    // Looked at no further than a block: asking for more would grow the block
    // to that size, for every file, only to count what is refused anyway.
    constexpr std::size_t kLooked = std::size_t{1} << 20;
    if (const std::size_t left = body_->Left(kLooked); left > 0) {
      throw ModelError(path_, 0,
                       std::string(left == kLooked ? "at least " : "") + std::to_string(left) +
                           " bytes after the last record the header declares");
    }
  }

  void Finish() {
    Flush();
    if (object_->FaceCount() == 0 && !remap_.empty()) {
      // A point cloud: a point per vertex the file stores, joined ones too.
      object_->Reserve(0, static_cast<int64_t>(remap_.size()), static_cast<int64_t>(remap_.size()));
      const std::vector<int32_t> ones(kVertexPiece, 1);
      for (std::size_t i = 0; i < remap_.size(); i += kVertexPiece) {
        const std::size_t n = std::min(kVertexPiece, remap_.size() - i);
        object_->AddFaces(ones.data(), static_cast<int32_t>(n), &remap_[i]);
      }
    }
    // Nothing at all (no vertices declared): no object, as an empty OBJ file.
    if (object_->VertexCount() == 0 && object_->FaceCount() == 0) objects_ = Document();
  }

  const std::string& path_;  // the caller's; outlives this
  ByteReader in_;
  const ProgressShare& progress_;  // the caller's
  PlyHeader header_;
  std::vector<Plan> plans_;  // one per element, in header order
  bool text_ = false;
  bool swap_ = false;
  uint64_t size_ = 0;  // of the file, when it is a regular one; else 0

  Document objects_;
  Object* object_ = nullptr;    // objects_'s one
  BlockInput* body_ = nullptr;  // Read's, while it runs

  // The record being read, for messages.
  const Plan* element_ = nullptr;
  uint64_t record_ = 0;
  int64_t line_ = 0;
  std::vector<std::string_view> words_;  // of a text record's line
  std::size_t word_ = 0;

  uint64_t vertexCount_ = 0;  // as declared
  std::vector<unsigned char> key_;
  std::vector<int32_t> remap_;  // file vertex → the object's
  bool verticesRead_ = false;
  std::vector<int64_t> corners_;
  std::vector<int32_t> sizes_;   // faces not yet handed over
  std::vector<int32_t> points_;  // theirs: file vertices until the vertices are read
  uint64_t faces_ = 0;
  uint64_t facePoints_ = 0;
  uint64_t faceRoom_ = 0;
};

}  // namespace

std::unique_ptr<ModelFile> ReadPlyFile(ByteSource& source, const std::string& path,
                                       const ProgressShare& progress) {
  Reader reader(source, path, progress);
  return NamingOutOfMemory(path, [&] { return reader.Read(); });
}

std::unique_ptr<ModelFile> ReadPlyFile(const std::string& path, const ProgressShare& progress) {
  InputFile file(path);
  return ReadPlyFile(file, path, progress);
}

}  // namespace vhost::models
