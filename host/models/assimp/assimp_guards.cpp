#include "host/models/assimp/assimp_guards.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/models/model_file.h"
#include "host/models/ply_header.h"
#include "host/models/source_text.h"

#if defined(VHOST_HAS_ASSIMP)  // Windows builds read no assimp formats, and have no libzip
#include <zip.h>
#endif

namespace vhost::models {
namespace {

// `path` open for a check; none when it cannot be opened: no check is made,
// and assimp, reading it next, refuses it in its own words.
std::unique_ptr<ByteSource> OpenForCheck(const std::string& path) {
  try {
    return std::make_unique<InputFile>(path);
  } catch (const ModelError&) {
    return nullptr;
  }
}

bool IsUnsigned(std::string_view word) {
  return !word.empty() && word.size() <= 9 &&
         std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsNumber(std::string_view s) { return IsDecimalNumber(s, SIZE_MAX); }

// Whether an ASCII record (one line's words) holds what its element declares:
// a word for each scalar, and for each list a count and that many words.
// Assimp makes room for a list's count before reading it: a count of billions
// on a short line takes the machine's memory.
bool PlyRecordWhole(const std::vector<std::string_view>& words, const PlyElement& element) {
  std::size_t at = 0;
  for (const PlyProperty& property : element.properties) {
    if (at >= words.size()) return false;
    if (!property.list) {
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
// least its scalars' and list counts' bytes. `in` stands just past the header,
// whose elements `records` are.
// The fewest bytes a binary record of `element` takes: its scalars' and its
// lists' counts.
uint64_t PlyMinRecordBytes(const PlyElement& element) {
  uint64_t bytes = 0;
  for (const PlyProperty& property : element.properties) {
    bytes += PlyTypeBytes(property.list ? property.countType : property.type);
  }
  return bytes;
}

std::string PlyBodyFault(ByteReader& in, bool binary, const std::vector<PlyElement>& records) {
  uint64_t needed = 0;
  for (const PlyElement& r : records) needed += binary ? r.count * PlyMinRecordBytes(r) : r.count;
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

#if defined(VHOST_HAS_ASSIMP)
// Whether any .dae document of `archive` holds a <trifans>. Takes the archive,
// which the caller opened, and closes it.
std::string TrifansInArchive(zip_t* archive) {
  const std::unique_ptr<zip_t, void (*)(zip_t*)> closing(archive, zip_discard);
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
}
#endif

// A .zae file is a zip archive of COLLADA documents: each .dae in it is read.
// libzip seeks in an archive, so it reads the file itself, by path.
std::string ZaeFault(const std::string& path) {
#if !defined(VHOST_HAS_ASSIMP)
  static_cast<void>(path);
  return {};
#else
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return {};  // not a zip: assimp refuses it
  return TrifansInArchive(archive);
#endif
}

// The same for an archive held in memory (the caller's, alive meanwhile).
std::string ZaeFault(std::string_view bytes) {
#if !defined(VHOST_HAS_ASSIMP)
  static_cast<void>(bytes);
  return {};
#else
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = source == nullptr ? nullptr : zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (archive == nullptr) {
    // Not a zip: assimp refuses it. The source is still ours when no archive took it.
    if (source != nullptr) zip_source_free(source);
    return {};
  }
  return TrifansInArchive(archive);  // the archive owns the source from here
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
  const std::unique_ptr<ByteSource> file = OpenForCheck(path);
  return file ? ColladaFault(*file) : std::string();
}

std::string ColladaFault(ByteSource& document) {
  ByteReader in(document);
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

// What a check is given: the name its extension is taken from, its bytes from
// their start as often as a check asks (a file is read more than once: its
// start to tell the format, then by each check its name or content calls
// for), and the .zae check of the same bytes. `open` gives none for bytes that
// cannot be had at all, which no check then reads. Everything is the caller's
// and outlives the checks.
struct CheckInput {
  const std::string& name;
  std::function<std::unique_ptr<ByteSource>()> open;
  std::function<std::string()> zaeFault;

  // `check` of the bytes from their start; empty when they cannot be opened.
  template <typename Check>
  std::string Run(Check&& check) const {
    const std::unique_ptr<ByteSource> source = open();
    return source ? check(*source) : std::string();
  }
};

// Why the input must not reach assimp, with its kind and line in `detail`;
// empty when nothing is known against it.
std::string HazardFor(const CheckInput& input, FaultDetail& detail) {
  // By content as well as by name: assimp hands a file its reader for the
  // extension declines to whichever reader knows the file's signature.
  const std::string start = input.Run([](ByteSource& source) {
    std::string bytes(4096, '\0');
    bytes.resize(ByteReader(source).Read(bytes.data(), bytes.size()));
    return bytes;
  });
  const std::string extension = LowerExtension(input.name);
  if (extension == ".ply" || start.rfind("ply\n", 0) == 0 || start.rfind("ply\r\n", 0) == 0) {
    std::string fault =
        input.Run([&](ByteSource& source) { return PlyHeaderFault(source, detail); });
    if (!fault.empty()) return fault;
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
  if (extension == ".off" || offSignature) {
    return input.Run([&](ByteSource& source) { return OffFault(source, detail); });
  }
  if (extension == ".dae" || extension == ".zae" || LooksLikeCollada(start)) {
    std::string fault = extension == ".zae"
                            ? input.zaeFault()
                            : input.Run([](ByteSource& source) { return ColladaFault(source); });
    if (fault == kTrifansFault) detail.kind = ModelError::Kind::kGeometryLost;
    return fault;
  }
  return {};
}

}  // namespace

std::optional<ModelError> AssimpReaderHazard(const std::string& path) {
  FaultDetail detail;
  std::string fault =
      HazardFor({path, [&] { return OpenForCheck(path); }, [&] { return ZaeFault(path); }}, detail);
  if (fault.empty()) return std::nullopt;
  // A file that cannot be read (a folder, say) checks as one without bytes:
  // what is wrong is that it cannot be had, whatever the check says.
  if (std::optional<ModelError> unreadable = ReadError(path)) {
    detail = {unreadable->kind(), 0};
  }
  return ModelError::LineInMessage(detail.kind, path, detail.line, fault);
}

std::optional<ModelError> AssimpReaderHazard(std::string_view bytes, const std::string& name) {
  FaultDetail detail;
  std::string fault = HazardFor({name, [&] { return std::make_unique<MemorySource>(bytes); },
                                 [&] { return ZaeFault(bytes); }},
                                detail);
  if (fault.empty()) return std::nullopt;
  return ModelError::LineInMessage(detail.kind, name, detail.line, fault);
}

// A PLY header reaches assimp only when it is one assimp's reader survives:
// one ReadPlyHeader reads without a flaw (without the end, assimp asks for the
// next header line past the end of the file forever; a second "element vertex"
// makes it fill one mesh from both and free memory it does not own; control
// characters are where it loses its way, and has been seen to read on forever
// past one), whose counts fit 32 bits (assimp wraps a longer one around) and do
// not pass the file's size (assimp makes room for all of them before reading
// any: gigabytes for a few bytes of header), and whose body holds the records
// it declares.
std::string PlyHeaderFault(ByteSource& source, FaultDetail& detail) {
  ByteReader in(source);
  const PlyHeader header = ReadPlyHeader(in);
  const auto noCount = [](const std::string& name) {
    return "the PLY header's element \"" + name + "\" has no count assimp reads";
  };
  // Every element takes a byte of the file at the least. Faults of the
  // elements read come first: they stand on lines before the header's flaw.
  const uint64_t fileBytes = source.RegularSize();
  uint64_t declared = 0;
  for (const PlyElement& element : header.elements) {
    if (element.countDigits > 10 || element.count > UINT32_MAX) return noCount(element.name);
    declared += element.count;
    if (element.count > 0) {
      if (std::string fault = PlyGeometryAssimpMisreads(element.name); !fault.empty()) {
        detail.kind = ModelError::Kind::kGeometryLost;
        return fault;
      }
    }
    if (fileBytes > 0 && declared > fileBytes) {
      return "the PLY header declares more elements than a file of " + std::to_string(fileBytes) +
             " bytes holds";
    }
  }
  if (!header.flaw) return PlyBodyFault(in, header.Binary(), header.elements);
  const PlyHeaderFlaw& flaw = *header.flaw;
  const std::string line = std::to_string(flaw.line);
  switch (flaw.kind) {
    case PlyHeaderFlaw::Kind::kLongLine:
      return "a PLY header line longer than 64 KiB";
    case PlyHeaderFlaw::Kind::kNoEnd:
      return "the PLY header has no end_header line";
    case PlyHeaderFlaw::Kind::kControlCharacter:
      detail.line = flaw.line;
      return "a control character in line " + line + " of the PLY header";
    case PlyHeaderFlaw::Kind::kNoSignature:
      detail.line = flaw.line;
      return "no PLY header in line " + line;
    case PlyHeaderFlaw::Kind::kBadElementLine:
      detail.line = flaw.line;
      return "line " + line + " of the PLY header is no \"element NAME COUNT\"";
    case PlyHeaderFlaw::Kind::kRepeatedElement:
      return "the PLY header declares element \"" + flaw.element + "\" twice";
    case PlyHeaderFlaw::Kind::kBadCount:
      return noCount(flaw.element);
  }
  return "the PLY header is not one assimp reads";  // no other flaw is told
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
std::string OffFault(ByteSource& source, FaultDetail& detail) {
  ByteReader in(source);
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
