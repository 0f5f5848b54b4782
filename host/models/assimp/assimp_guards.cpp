#include "host/models/assimp/assimp_guards.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/models/model_file.h"

#if defined(VHOST_HAS_ASSIMP)  // Windows builds read no assimp formats, and have no libzip
#include <zip.h>
#endif

namespace vhost::models {
namespace {

// `path` open for a check; none when it cannot be opened: assimp, reading it
// next, refuses it in its own words.
std::optional<InputFile> OpenForCheck(const std::string& path) {
  try {
    return std::optional<InputFile>(std::in_place, path);
  } catch (const ModelError&) {
    return std::nullopt;
  }
}

bool IsUnsigned(std::string_view word) {
  return !word.empty() && word.size() <= 9 &&
         std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsNumber(std::string_view s) { return IsDecimalNumber(s, SIZE_MAX); }

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// One element of a PLY header: its name, how many records, the fewest bytes a
// binary record of it takes, and which of its properties are lists.
struct PlyRecords {
  std::string name;
  uint64_t count = 0;
  uint64_t minBytes = 0;
  std::vector<bool> lists;
};

// Whether an ASCII record (one line's words) holds what its element declares:
// a word for each scalar, and for each list a count and that many words.
// Assimp makes room for a list's count before reading it: a count of billions
// on a short line takes the machine's memory.
bool PlyRecordWhole(const std::vector<std::string_view>& words, const PlyRecords& element) {
  std::size_t at = 0;
  for (const bool list : element.lists) {
    if (at >= words.size()) return false;
    if (!list) {
      ++at;
      continue;
    }
    const std::string_view word = words[at++];
    if (!IsUnsigned(word)) return false;
    const uint64_t count = std::stoull(std::string(word));
    if (count > words.size() - at) return false;
    at += static_cast<std::size_t>(count);
  }
  return true;
}

uint64_t PlyTypeBytes(std::string_view type) {
  if (type == "char" || type == "uchar" || type == "int8" || type == "uint8") return 1;
  if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
  if (type == "double" || type == "float64") return 8;
  return 4;  // int, uint, float and their sized names
}

// Whether the body holds the records its header declares: assimp reads a body
// that ends early without a word and counts what it did not read as vertices
// and faces of its own making. An ASCII record is a line; a binary one takes at
// least its scalars' and list counts' bytes. `in` stands just past the header.
std::string PlyBodyFault(ByteReader& in, bool binary, const std::vector<PlyRecords>& records) {
  uint64_t needed = 0;
  for (const PlyRecords& r : records) needed += binary ? r.count * r.minBytes : r.count;
  uint64_t found = 0;
  if (binary) {
    char buffer[1 << 16];
    while (found < needed) {
      const std::size_t got = in.Read(buffer, sizeof buffer);
      if (got == 0) break;
      found += got;
    }
  } else {
    std::string line;
    std::size_t element = 0;  // of the next record
    uint64_t ofElement = 0;   // records of it read
    while (found < needed && in.Line(line)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      while (ofElement == records[element].count) ++element, ofElement = 0;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!PlyRecordWhole(Words(line), records[element])) {
        return "record " + std::to_string(ofElement + 1) + " of the PLY element \"" +
               records[element].name + "\" is not what the header declares";
      }
      ++found;
      ++ofElement;
    }
  }
  if (found >= needed) return {};
  return binary ? "the PLY body ends before the records its header declares"
                : "the PLY body holds " + std::to_string(found) + " of the " +
                      std::to_string(needed) + " records its header declares";
}

// Elements of geometry that assimp's PLY reader does not hand over as the file
// stores them: it drops "edge" (2-point faces) without a word, and reads a
// "tristrips" strip of n indices as one triangle instead of n - 2. A count of
// either file would be wrong, so it is refused, naming the element.
std::string PlyGeometryAssimpMisreads(const std::string& element) {
  if (element == "edge") {
    return "the PLY element \"edge\" holds 2-point faces that assimp's PLY reader drops";
  }
  if (element == "tristrips") {
    return "the PLY element \"tristrips\" holds triangle strips that assimp's PLY reader does "
           "not read as stored";
  }
  return {};
}

// Whether the start of a file is a COLLADA document's: XML whose root is
// <COLLADA>, as assimp recognises it whatever the extension.
bool LooksLikeCollada(const std::string& start) {
  return start.find("<COLLADA") != std::string::npos;
}

}  // namespace

namespace {

// Finds a <trifans> tag in text fed to it in pieces of any size; a tag split
// between two pieces is found by carrying the end of each piece over.
class TrifansScan {
 public:
  // Whether the text so far holds the tag ("<trifansX" is another name; a tag
  // cut at the end of the text is taken as one).
  bool Feed(const char* data, std::size_t size) {
    std::string text = carried_;
    text.append(data, size);
    for (std::size_t at = text.find(kTag); at != std::string::npos; at = text.find(kTag, at + 1)) {
      const std::size_t next = at + kTag.size();
      const char after = next < text.size() ? text[next] : ' ';
      if (std::string_view(" \t\r\n/>").find(after) != std::string_view::npos) return true;
    }
    carried_ = text.substr(text.size() - std::min(text.size(), kTag.size()));
    return false;
  }

 private:
  static constexpr std::string_view kTag = "<trifans";
  std::string carried_;
};

constexpr const char* kTrifansFault =
    "the COLLADA element <trifans> holds triangle fans that assimp's COLLADA reader makes one "
    "polygon each";

// A .zae file is a zip archive of COLLADA documents: each .dae in it is read.
std::string ZaeFault(const std::string& path) {
#if !defined(VHOST_HAS_ASSIMP)
  static_cast<void>(path);
  return {};
#else
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return {};  // not a zip: assimp refuses it
  const std::unique_ptr<zip_t, int (*)(zip_t*)> closing(archive, zip_close);
  const zip_int64_t entries = zip_get_num_entries(archive, 0);
  std::vector<char> block(1 << 20);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    if (name == nullptr || LowerExtension(name) != ".dae") continue;
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file == nullptr) return "a COLLADA document in the archive cannot be read to check it";
    const std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> fileClosing(file, zip_fclose);
    TrifansScan scan;
    for (;;) {
      const zip_int64_t got = zip_fread(file, block.data(), block.size());
      if (got < 0) return "a COLLADA document in the archive cannot be read to check it";
      if (got == 0) break;
      if (scan.Feed(block.data(), static_cast<std::size_t>(got))) return kTrifansFault;
    }
  }
  return {};
#endif
}

}  // namespace

// A COLLADA <trifans> element stores triangles in fans; assimp's reader makes
// each fan one polygon of all its points (a fan of 6 indices, 4 triangles,
// becomes one 6-point face), and what it hands over cannot be told from a
// polygon the file stored. So a file holding one is refused, naming it. The
// whole file (each COLLADA document of a .zae archive) is searched as text.
std::string ColladaFault(const std::string& path) {
  if (LowerExtension(path) == ".zae") return ZaeFault(path);
  std::optional<InputFile> file = OpenForCheck(path);
  if (!file) return {};
  ByteReader in(*file);
  TrifansScan scan;
  std::vector<char> block(1 << 20);
  for (;;) {
    const std::size_t got = in.Read(block.data(), block.size());
    if (got == 0) break;
    if (scan.Feed(block.data(), got)) return kTrifansFault;
  }
  return {};
}

namespace {

// Why `path` must not reach assimp, with its kind and line in `detail`; empty
// when nothing is known against it.
std::string HazardFor(const std::string& path, FaultDetail& detail) {
  // By content as well as by name: assimp hands a file its reader for the
  // extension declines to whichever reader knows the file's signature.
  std::string start(4096, '\0');
  if (std::optional<InputFile> file = OpenForCheck(path)) {
    start.resize(ByteReader(*file).Read(start.data(), start.size()));
  } else {
    start.clear();
  }
  const std::string extension = LowerExtension(path);
  if (extension == ".ply" || start.rfind("ply\n", 0) == 0 || start.rfind("ply\r\n", 0) == 0) {
    if (std::string fault = PlyHeaderFault(path, detail); !fault.empty()) return fault;
  }
  // OFF's signature: the first word, past blank and comment lines, ends in "OFF".
  std::size_t at = 0;
  for (;;) {
    at = start.find_first_not_of(" \t\r\n", at);
    if (at == std::string::npos || start[at] != '#') break;
    at = start.find('\n', at);
  }
  const bool offSignature = at != std::string::npos && [&] {
    const std::size_t end = start.find_first_of(" \t\r\n", at);
    const std::string word = start.substr(at, end == std::string::npos ? end : end - at);
    return word.size() >= 3 && word.compare(word.size() - 3, 3, "OFF") == 0 &&
           std::all_of(word.begin(), word.end() - 3,
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
  }();
  if (extension == ".off" || offSignature) return OffFault(path, detail);
  if (extension == ".dae" || extension == ".zae" || LooksLikeCollada(start)) {
    std::string fault = ColladaFault(path);
    if (fault == kTrifansFault) detail.kind = ModelError::Kind::kGeometryLost;
    return fault;
  }
  return {};
}

}  // namespace

std::optional<ModelError> AssimpReaderHazard(const std::string& path) {
  FaultDetail detail;
  std::string fault = HazardFor(path, detail);
  if (fault.empty()) return std::nullopt;
  // A file that cannot be read (a folder, say) checks as one without bytes:
  // what is wrong is that it cannot be had, whatever the check says.
  if (std::optional<ModelError> unreadable = ReadError(path)) {
    detail = {unreadable->kind(), 0};
  }
  return ModelError::LineInMessage(detail.kind, path, detail.line, fault);
}

// A PLY header reaches assimp only when it is one assimp's reader survives:
// "ply", then lines of the header's statements (format, comment, element NAME
// COUNT, property, ...; assimp passes over any other), ended by a line of
// "end_header" alone, each
// line ended by "\n" or "\r\n", no other control characters. Without the end,
// assimp asks for the next header line past the end of the file forever; a
// second "element vertex" makes it fill one mesh from both and free memory it
// does not own; a count past 32 bits wraps around; a count the file cannot hold
// makes it reserve gigabytes. Reads the file up to the end of its header only; a
// file it cannot open is left to assimp to refuse.
std::string PlyHeaderFault(const std::string& path, FaultDetail& detail) {
  std::optional<InputFile> file = OpenForCheck(path);
  if (!file) return {};
  ByteReader in(*file);
  constexpr std::size_t kLongestLine = 1 << 16;
  // Every element takes a byte of the file at the least: a header that declares
  // more than the file holds is refused, since assimp makes room for all of them
  // before reading any (gigabytes for a few bytes of header).
  const uint64_t fileBytes = FileSizeOrZero(path);
  uint64_t declared = 0;
  std::vector<std::string> elements;
  std::vector<PlyRecords> records;  // each element's, in order
  bool binary = false;
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
      if (line.size() >= kLongestLine) return "a PLY header line longer than 64 KiB";
      line.push_back(c);
    }
    // An end_header on the last line, without a line end, is not one to assimp.
    if (!ended) return "the PLY header has no end_header line";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Other control characters are where assimp's reader loses its way (it has
    // been seen to read on forever past one).
    for (const char d : line) {
      if ((static_cast<unsigned char>(d) < 0x20 && d != '\t') || d == 0x7f) {
        detail.line = number;
        return "a control character in line " + std::to_string(number) + " of the PLY header";
      }
    }
    const std::vector<std::string_view> words = Words(line);
    const std::string_view keyword = words.empty() ? std::string_view() : words[0];
    if (number == 1) {
      if (words.size() != 1 || keyword != "ply") {
        detail.line = 1;
        return "no PLY header in line 1";
      }
      continue;
    }
    if (keyword == "end_header" && words.size() == 1) return PlyBodyFault(in, binary, records);
    if (keyword == "format" && words.size() >= 2) binary = words[1] != "ascii";
    if (keyword == "property" && !records.empty() && words.size() >= 3) {
      // A list takes its count at the least; a scalar its size.
      records.back().minBytes += PlyTypeBytes(words[1] == "list" ? words[2] : words[1]);
      records.back().lists.push_back(words[1] == "list");
    }
    // Other lines (exporters write free text there) assimp passes over.
    if (keyword != "element") continue;
    if (words.size() != 3) {
      detail.line = number;
      return "line " + std::to_string(number) + " of the PLY header is no \"element NAME COUNT\"";
    }
    const std::string name(words[1]);
    if (std::find(elements.begin(), elements.end(), name) != elements.end()) {
      return "the PLY header declares element \"" + name + "\" twice";
    }
    elements.push_back(name);
    // assimp reads a count past 32 bits by wrapping it around.
    const std::string count(words[2]);
    if (count.empty() || count.size() > 10 ||
        count.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(count) > UINT32_MAX) {
      return "the PLY header's element \"" + name + "\" has no count assimp reads";
    }
    declared += std::stoull(count);
    records.push_back({name, std::stoull(count), 0, {}});
    if (records.back().count > 0) {
      if (std::string fault = PlyGeometryAssimpMisreads(name); !fault.empty()) {
        detail.kind = ModelError::Kind::kGeometryLost;
        return fault;
      }
    }
    if (fileBytes > 0 && declared > fileBytes) {
      return "the PLY header declares more elements than a file of " + std::to_string(fileBytes) +
             " bytes holds";
    }
  }
}

// Assimp's OFF reader reads the faces twice, counting in the first pass and
// filling in the second, and the two passes disagree on lines they cannot
// parse: it then writes past the arrays it made (a crash). It also drops faces
// of more than 9 points, or of none, saying only "faces with zero indices
// aren't allowed". So an OFF file reaches it only when every line is what the
// format says: "OFF" (or a variant such as "COFF", "NOFF"), the vertex and face
// counts (and optionally edges), one line per vertex starting with 3 numbers,
// one line per face of its point count (1 to 9) and that many vertex indices;
// lines end in "\n" or "\r\n"; blank lines anywhere, "#" comments only before
// the counts (assimp reads a comment among the faces as a face and drops it, and
// refuses one among the vertices).
std::string OffFault(const std::string& path, FaultDetail& detail) {
  std::optional<InputFile> file = OpenForCheck(path);
  if (!file) return {};
  ByteReader in(*file);
  constexpr std::size_t kLongestLine = 1 << 16;
  int64_t lineNumber = 0;
  std::string line;
  bool commentsAllowed = true;              // until the counts are read
  const auto next = [&]() -> std::string {  // the next line that holds a statement, or a fault
    for (;;) {
      line.clear();
      char c = 0;
      bool any = false;
      bool atEnd = true;  // the bytes ended before a line end
      while (in.Get(c)) {
        if (c == '\n') {
          atEnd = false;
          break;
        }
        any = true;
        if (line.size() >= kLongestLine) return "a line longer than 64 KiB";
        line.push_back(c);
      }
      if (!any && atEnd) return "ends before its last face";
      ++lineNumber;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      for (const char d : line) {
        if ((static_cast<unsigned char>(d) < 0x20 && d != '\t') || d == 0x7f) {
          detail.line = lineNumber;
          return "a control character in line " + std::to_string(lineNumber);
        }
      }
      const std::size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos) continue;
      if (line[first] == '#') {
        if (commentsAllowed) continue;
        detail.line = lineNumber;
        return "holds a comment among its vertices or faces, in line " + std::to_string(lineNumber);
      }
      return {};
    }
  };
  const auto at = [&]() {
    detail.line = lineNumber;
    return " in line " + std::to_string(lineNumber);
  };

  if (std::string fault = next(); !fault.empty()) return "an OFF file that " + fault;
  std::vector<std::string_view> words = Words(line);
  const auto isHeader = [](std::string_view w) {
    return w.size() >= 3 && w.substr(w.size() - 3) == "OFF" &&
           std::all_of(w.begin(), w.end() - 3, [](char c) { return c >= 'A' && c <= 'Z'; });
  };
  if (words.empty() || !isHeader(words[0])) return "no OFF header" + at();
  // The counts may follow the header on its line, as assimp reads them.
  words.erase(words.begin());
  if (words.empty()) {
    if (std::string fault = next(); !fault.empty()) return "an OFF file that " + fault;
    words = Words(line);
  }
  if (words.size() < 2 || words.size() > 3 ||
      !std::all_of(words.begin(), words.end(), IsUnsigned)) {
    return "OFF counts that are not 2 or 3 whole numbers" + at();
  }
  commentsAllowed = false;
  const int64_t vertices = std::atoll(std::string(words[0]).c_str());
  const int64_t faces = std::atoll(std::string(words[1]).c_str());
  for (int64_t v = 0; v < vertices; ++v) {
    if (std::string fault = next(); !fault.empty()) return "an OFF file that " + fault;
    words = Words(line);
    if (words.size() < 3 || !std::all_of(words.begin(), words.begin() + 3, IsNumber)) {
      return "an OFF vertex that does not start with 3 numbers" + at();
    }
  }
  for (int64_t f = 0; f < faces; ++f) {
    if (std::string fault = next(); !fault.empty()) return "an OFF file that " + fault;
    words = Words(line);
    if (words.empty() || !IsUnsigned(words[0])) return "an OFF face without its point count" + at();
    const int64_t points = std::atoll(std::string(words[0]).c_str());
    if (points < 1 || points > 9) {
      detail.kind = ModelError::Kind::kGeometryLost;
      return "an OFF face of " + std::to_string(points) + " points" + at() +
             ": assimp's OFF reader takes faces of 1 to 9 points";
    }
    if (static_cast<int64_t>(words.size()) < 1 + points)
      return "an OFF face short of its points" + at();
    for (int64_t p = 1; p <= points; ++p) {
      const std::string_view index = words[static_cast<std::size_t>(p)];
      if (!IsUnsigned(index) || std::atoll(std::string(index).c_str()) >= vertices) {
        return "an OFF face point that is no vertex" + at();
      }
    }
  }
  return {};
}

}  // namespace vhost::models
