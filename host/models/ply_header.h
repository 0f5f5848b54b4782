// A PLY file's header read into what it declares: the body's format, and its
// elements with their counts and properties. Any PLY reader's first step, and
// what the checks before an import look at; neither judges what a declared
// element means (which elements hold geometry is the reader's business).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/models/source_text.h"

namespace vhost::models {

// How the body is written, by the header's "format" line (the last one, should
// there be several).
enum class PlyFormat { kUnstated, kAscii, kBinaryLittleEndian, kBinaryBigEndian, kOther };

// A "property" line of an element: "property TYPE NAME", or for a list
// "property list COUNT_TYPE TYPE NAME". Words missing from a short line are
// empty; a line of fewer than 3 words declares none.
struct PlyProperty {
  bool list = false;
  std::string countType;  // a list's only
  std::string type;
  std::string name;
  int64_t line = 0;  // of the header, from 1
};

// The scalar types a property may have, by either of the names PLY gives them
// ("uchar" or "uint8", ...); none for a name that is no type.
enum class PlyScalar { kChar, kUChar, kShort, kUShort, kInt, kUInt, kFloat, kDouble };
std::optional<PlyScalar> PlyScalarNamed(std::string_view name);
// Bytes of one value in a binary body.
std::size_t PlyScalarBytes(PlyScalar scalar);

// An "element NAME COUNT" line and the properties declared below it.
struct PlyElement {
  std::string name;
  uint64_t count = 0;
  std::size_t countDigits = 0;  // as written: leading zeros count
  int64_t line = 0;             // of the header, from 1
  std::vector<PlyProperty> properties;
};

// The first thing in a header that is not PLY as the format states it, and the
// line it is on.
struct PlyHeaderFlaw {
  enum class Kind {
    kLongLine,          // a line of more than kPlyLongestHeaderLine bytes
    kNoEnd,             // the bytes end before a line of "end_header" ends
    kControlCharacter,  // a control character but tab in a line
    kNoSignature,       // line 1 is not "ply"
    kBadElementLine,    // an "element" line of other than 3 words
    kRepeatedElement,   // an element name declared before
    kBadCount,          // an element count that is no whole number below 2^64
  };
  Kind kind = Kind::kNoEnd;
  int64_t line = 0;     // from 1
  std::string element;  // the element's name, for kRepeatedElement and kBadCount
};

constexpr std::size_t kPlyLongestHeaderLine = 1 << 16;

struct PlyHeader {
  PlyFormat format = PlyFormat::kUnstated;
  // Those declared before the flaw, if there is one, in header order.
  std::vector<PlyElement> elements;
  std::optional<PlyHeaderFlaw> flaw;
  int64_t endLine = 0;  // the line of "end_header": a text body starts on the next

  bool Binary() const { return format != PlyFormat::kUnstated && format != PlyFormat::kAscii; }
};

// Reads the header from the start of `in`: "ply", then statements (format,
// comment, obj_info, element, property; any other line is passed over, as
// exporters write free text there), up to a line of "end_header" alone. Lines
// end in "\n" or "\r\n". Stops at the first flaw; without one, `in` is left
// just past the header, at the first byte of the body. Reads nothing past a
// flaw's line, so a file that is no PLY costs a line at most.
PlyHeader ReadPlyHeader(ByteReader& in);

}  // namespace vhost::models
