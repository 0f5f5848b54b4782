#include "host/models/ply_header.h"

#include <string_view>
#include <unordered_set>
#include <utility>

namespace vhost::models {
namespace {

PlyFormat FormatNamed(std::string_view name) {
  if (name == "ascii") return PlyFormat::kAscii;
  if (name == "binary_little_endian") return PlyFormat::kBinaryLittleEndian;
  if (name == "binary_big_endian") return PlyFormat::kBinaryBigEndian;
  return PlyFormat::kOther;
}

// `word` as a count: decimal digits only, below 2^64.
std::optional<uint64_t> Count(std::string_view word) {
  if (word.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<PlyScalar> PlyScalarNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, PlyScalar> kNames[] = {
      {"char", PlyScalar::kChar},     {"int8", PlyScalar::kChar},
      {"uchar", PlyScalar::kUChar},   {"uint8", PlyScalar::kUChar},
      {"short", PlyScalar::kShort},   {"int16", PlyScalar::kShort},
      {"ushort", PlyScalar::kUShort}, {"uint16", PlyScalar::kUShort},
      {"int", PlyScalar::kInt},       {"int32", PlyScalar::kInt},
      {"uint", PlyScalar::kUInt},     {"uint32", PlyScalar::kUInt},
      {"float", PlyScalar::kFloat},   {"float32", PlyScalar::kFloat},
      {"double", PlyScalar::kDouble}, {"float64", PlyScalar::kDouble}};
  for (const auto& [text, scalar] : kNames) {
    if (text == name) return scalar;
  }
  return std::nullopt;
}

std::size_t PlyScalarBytes(PlyScalar scalar) {
  switch (scalar) {
    case PlyScalar::kChar:
    case PlyScalar::kUChar:
      return 1;
    case PlyScalar::kShort:
    case PlyScalar::kUShort:
      return 2;
    case PlyScalar::kInt:
    case PlyScalar::kUInt:
    case PlyScalar::kFloat:
      return 4;
    case PlyScalar::kDouble:
      return 8;
  }
  return 0;
}

PlyHeader ReadPlyHeader(ByteReader& in) {
  PlyHeader header;
  std::unordered_set<std::string> names;  // declared so far: a header may declare thousands
  const auto flawed = [&](PlyHeaderFlaw::Kind kind, int64_t line, std::string element = {}) {
    header.flaw = PlyHeaderFlaw{kind, line, std::move(element)};
    return header;
  };
  std::string line;
  for (int64_t number = 1;; ++number) {
    line.clear();
    char c = 0;
    bool ended = false;
    while (in.Get(c)) {
      if (c == '\n') {
        ended = true;
        break;
      }
      if (line.size() >= kPlyLongestHeaderLine)
        return flawed(PlyHeaderFlaw::Kind::kLongLine, number);
      line.push_back(c);
    }
    // An end_header on the last line, without a line end, ends no header: the
    // body would start past the end of the file.
    if (!ended) return flawed(PlyHeaderFlaw::Kind::kNoEnd, number);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const char d : line) {
      if ((static_cast<unsigned char>(d) < 0x20 && d != '\t') || d == 0x7f) {
        return flawed(PlyHeaderFlaw::Kind::kControlCharacter, number);
      }
    }
    const std::vector<std::string_view> words = Words(line);
    const std::string_view keyword = words.empty() ? std::string_view() : words[0];
    if (number == 1) {
      if (words.size() != 1 || keyword != "ply") {
        return flawed(PlyHeaderFlaw::Kind::kNoSignature, number);
      }
      continue;
    }
    if (keyword == "end_header" && words.size() == 1) {
      header.endLine = number;
      return header;
    }
    if (keyword == "format" && words.size() >= 2) header.format = FormatNamed(words[1]);
    if (keyword == "property" && !header.elements.empty() && words.size() >= 3) {
      PlyProperty property;
      property.line = number;
      property.list = words[1] == "list";
      if (property.list) {
        property.countType = words[2];
        if (words.size() > 3) property.type = words[3];
        if (words.size() > 4) property.name = words[4];
      } else {
        property.type = words[1];
        property.name = words[2];
      }
      header.elements.back().properties.push_back(std::move(property));
    }
    if (keyword != "element") continue;
    if (words.size() != 3) return flawed(PlyHeaderFlaw::Kind::kBadElementLine, number);
    std::string name(words[1]);
    if (!names.insert(name).second) {
      return flawed(PlyHeaderFlaw::Kind::kRepeatedElement, number, std::move(name));
    }
    const std::optional<uint64_t> count = Count(words[2]);
    if (!count) return flawed(PlyHeaderFlaw::Kind::kBadCount, number, std::move(name));
    header.elements.push_back({std::move(name), *count, words[2].size(), number, {}});
  }
}

}  // namespace vhost::models
