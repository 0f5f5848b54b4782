// The STL reader. A binary file is scanned a block of facets at a time, a text
// file a line at a time; each corner is joined with those before it
// (ExactJoin) as it is read, and the object's vertices and faces are handed
// over in pieces, so that the object's arrays are the only whole copy of the
// geometry. Everything built lives in a document of the reader's own until
// the whole file has been read and checked.
#include "host/models/stl/stl_file.h"

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
#include "host/models/text_numbers.h"

namespace vhost::models {
namespace {

constexpr std::size_t kHeaderBytes = 84;  // 80 free bytes, then the facet count
constexpr std::size_t kFacetBytes = 50;   // normal, 3 corners, attribute word

// A corner as the join compares it: position, then colour (r, g, b, a), as
// 32-bit floats.
using Corner = std::array<float, 7>;

// One object being built: its corners joined, its faces handed over in pieces.
//
// Corners join by position alone while every one so far has the file's plain
// colour, as nearly every file's have: a key of 12 bytes, not 28, which is
// most of what the join costs. The first corner of another colour moves the
// join over to keys of position and colour, the corners joined so far
// re-entered in their order with the plain colour, so that every number stays
// what a join of whole corners from the start would have given.
class Mesh {
 public:
  Mesh(Object& object, const std::array<float, 4>& plain) : object_(object), plain_(plain) {}

  void Reserve(uint64_t facets) {
    const auto faces = static_cast<int64_t>(std::min<uint64_t>(facets, kMaxElementCount / 3));
    object_.Reserve(0, 0, 3 * faces);  // triangles need no lists of sizes
    // Room for the joined corners too: a closed mesh has about half as many
    // vertices as facets.
    join_.Reserve(static_cast<std::size_t>(faces / 2 + 16));
  }

  // Adds a facet of three corners; false when the object would pass its limits.
  bool AddFacet(const Corner* corners) {
    if (object_.FaceCount() + static_cast<int64_t>(queued_ + batched_ / 3) >=
        kMaxElementCount / 3) {
      return false;
    }
    if (!coloured_) {
      for (std::size_t c = 0; c < 3; ++c) {
        // By their bytes, as the join tells corners apart.
        if (!exact::SameBytes(corners[c].data() + 3, plain_.data(), sizeof plain_)) {
          JoinWholeCorners();
          break;
        }
      }
    }
    std::copy(corners, corners + 3, batch_.begin() + static_cast<std::ptrdiff_t>(batched_));
    batched_ += 3;
    if (batched_ + 3 > batch_.size()) {
      JoinBatch();
      if (queued_ >= kVertexPiece) HandOver();
    }
    return true;
  }

  // Hands every facet added so far to the object.
  void Flush() {
    JoinBatch();
    HandOver();
  }

 private:
  void HandOver() {
    object_.AddVertices(vertices_.data(), static_cast<int32_t>(vertices_.size()));
    // Triangles only: held without lists of sizes, the first piece's points
    // becoming the object's.
    object_.AddFacesOfSize(3, std::move(points_));
    vertices_.clear();
    queued_ = 0;
    // The list moved away took its room: the next piece's, at once.
    points_.clear();
    points_.reserve(3 * kVertexPiece + kBatch);
  }

  // From here on, corners join by position and colour (see the class).
  void JoinWholeCorners() {
    JoinBatch();  // the corners waiting all have the plain colour
    ExactJoin whole(sizeof(Corner));
    whole.Reserve(std::max<std::size_t>(join_.Count(), 16));
    Corner corner{};
    std::memcpy(corner.data() + 3, plain_.data(), sizeof plain_);
    bool added = false;
    for (std::size_t v = 0; v < join_.Count(); ++v) {
      std::memcpy(corner.data(), join_.Key(v), kPositionBytes);
      whole.Join(corner.data(), added);
    }
    join_ = std::move(whole);
    coloured_ = true;
  }

  // Joins the corners batched (ExactJoin::JoinAll) and queues their facets.
  void JoinBatch() {
    std::array<int32_t, kBatch> numbers{};
    std::array<bool, kBatch> added{};
    static_assert(sizeof(Corner) == 7 * sizeof(float), "corners lie back to back");
    join_.JoinAll(static_cast<const unsigned char*>(static_cast<const void*>(batch_.data())),
                  batched_, numbers.data(), added.data(), sizeof(Corner));
    points_.insert(points_.end(), numbers.begin(),
                   numbers.begin() + static_cast<std::ptrdiff_t>(batched_));
    for (std::size_t c = 0; c < batched_; ++c) {
      if (added[c]) vertices_.push_back(Vec3{batch_[c][0], batch_[c][1], batch_[c][2]});
    }
    queued_ += batched_ / 3;
    batched_ = 0;
  }

  Object& object_;  // in the reader's document
  static constexpr std::size_t kBatch = ExactJoin::kBatch;
  static constexpr std::size_t kPositionBytes = 3 * sizeof(float);
  std::array<float, 4> plain_;  // the colour of a facet that gives none
  bool coloured_ = false;       // a corner of another colour was met: keys are whole corners
  ExactJoin join_{kPositionBytes};
  std::array<Corner, kBatch> batch_{};  // corners not yet joined, whole facets
  std::size_t batched_ = 0;
  std::vector<Vec3> vertices_;  // joined, not yet handed over
  std::size_t queued_ = 0;      // facets joined, not yet handed over
  std::vector<int32_t> points_;
};

class Reader {
 public:
  Reader(ByteSource& source, const std::string& path, const ProgressShare& progress)
      : path_(path),
        in_(source, /*readErrorsAsEnd=*/false),
        progress_(progress),
        size_(source.RegularSize()) {}

  std::unique_ptr<ModelFile> Read() {
    BlockInput body(in_, 0, progress_);
    body_ = &body;
    const std::size_t head = body.Left(kHeaderBytes);
    // A copy: the block moves as more of the file is looked at.
    const std::string header(body.Peek(head), head);
    uint32_t facets = 0;
    if (head == kHeaderBytes) std::memcpy(&facets, header.data() + 80, sizeof facets);
    const uint64_t binarySize = kHeaderBytes + uint64_t{kFacetBytes} * facets;
    uint64_t size = size_;
    if (size == 0 && head == kHeaderBytes) {
      // A pipe tells no size: a binary file is one that ends where its count says.
      size =
          binarySize + (body.Left(static_cast<std::size_t>(binarySize + 1)) > binarySize ? 1 : 0);
    }
    if (head == kHeaderBytes && size == binarySize) {
      Binary(header, facets);
    } else if (StartsAsText(body)) {
      Text();
    } else if (head == kHeaderBytes) {
      throw ModelError(path_, 0,
                       "not an STL file: no \"solid\" starts it as text, and as binary its "
                       "count of " +
                           std::to_string(facets) + " facets makes " + std::to_string(binarySize) +
                           " bytes, not the " + std::to_string(size) + " it has");
    } else {
      throw ModelError(path_, 0,
                       "not an STL file: too short for binary, and no \"solid\" starts it as text");
    }
    return std::make_unique<DocumentFile>(objects_);
  }

 private:
  // --- Binary -----------------------------------------------------------------

  void Binary(std::string_view header, uint32_t facets) {
    // Colours, as the common readers take them: a facet whose attribute word
    // has its top bit set carries 5-bit red, green and blue (the other way
    // round when the header holds "COLOR=", which also gives every other
    // facet's colour); the rest are light grey. Corners join only in one colour.
    std::array<float, 4> plain = {0.6F, 0.6F, 0.6F, 0.6F};
    bool reversed = false;
    const std::size_t colorAt = header.substr(0, 80).find("COLOR=");
    if (colorAt != std::string_view::npos && colorAt + 10 <= header.size()) {
      reversed = true;
      const float byte = 1.0F / 255.0F;
      for (std::size_t c = 0; c < 4; ++c) {
        plain[c] = static_cast<float>(static_cast<unsigned char>(header[colorAt + 6 + c])) * byte;
      }
    }
    body_->Skip(kHeaderBytes);
    if (facets == 0) return;
    Mesh mesh(objects_.AddObject(FileStem(path_) + "/mesh 0"), plain);
    if (facets > static_cast<uint64_t>(kMaxElementCount / 3)) {
      throw ModelError(ModelError::Kind::kLimit, path_, 0,
                       "more than " + std::to_string(kMaxElementCount / 3) +
                           " facets, the most this host holds in one object");
    }
    mesh.Reserve(facets);
    const float fifth = 1.0F / 31.0F;
    std::array<Corner, 3> corners{};
    for (uint32_t f = 0; f < facets; ++f) {
      const char* facet = body_->Peek(kFacetBytes);
      if (facet == nullptr) {
        throw ModelError(path_, 0, "facet " + std::to_string(f + 1) + ": the file ends inside it");
      }
      uint16_t attribute = 0;
      std::memcpy(&attribute, facet + 48, sizeof attribute);
      std::array<float, 4> colour = plain;
      if ((attribute & 0x8000U) != 0) {
        const float low = static_cast<float>(attribute & 0x1FU) * fifth;
        const float mid = static_cast<float>((attribute >> 5U) & 0x1FU) * fifth;
        const float high = static_cast<float>((attribute >> 10U) & 0x1FU) * fifth;
        colour = {reversed ? low : high, mid, reversed ? high : low, 1.0F};
      }
      for (std::size_t c = 0; c < 3; ++c) {
        std::memcpy(corners[c].data(), facet + 12 + 12 * c, 12);
        std::memcpy(corners[c].data() + 3, colour.data(), 16);
      }
      mesh.AddFacet(corners.data());
      body_->Skip(kFacetBytes);
    }
    mesh.Flush();
  }

  // --- Text -------------------------------------------------------------------

  // Whether the file starts, after blanks, with "solid": a binary file may too,
  // but it was told by its size first.
  static bool StartsAsText(BlockInput& body) {
    const std::size_t have = body.Left(512);
    const char* p = body.Peek(have);
    std::size_t i = 0;
    while (i < have && (p[i] == ' ' || p[i] == '\t' || p[i] == '\r' || p[i] == '\n')) ++i;
    return have - i >= 5 && std::string_view(p + i, 5) == "solid";
  }

  [[noreturn]] void Fail(const std::string& message) const {
    throw ModelError(path_, line_, message);
  }

  // The next word of the text, across lines; empty at the end of the file.
  std::string_view Word() {
    while (word_ >= words_.size()) {
      std::string_view line;
      bool tooLong = false;
      if (!body_->Line(line, kMaxRecordBytes, tooLong)) return {};
      ++line_;
      if (tooLong) {
        throw ModelError(ModelError::Kind::kLimit, path_, line_,
                         "a line longer than " + std::to_string(kMaxRecordBytes >> 20) +
                             " MiB, the most this host reads as one");
      }
      words_.clear();
      word_ = 0;
      std::size_t i = 0;
      while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const std::size_t begin = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > begin) words_.push_back(line.substr(begin, i - begin));
      }
      lineWords_ = words_.size();
    }
    return words_[word_++];
  }

  static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
  }

  void Expect(std::string_view keyword, std::string_view after) {
    const std::string_view word = Word();
    if (word != keyword) {
      Fail(word.empty() ? "the file ends where \"" + std::string(keyword) + "\" should follow " +
                              std::string(after)
                        : Quote(word, {'"', 40, true}) + " where \"" + std::string(keyword) +
                              "\" should follow " + std::string(after));
    }
  }

  float Number(std::string_view what) {
    const std::string_view word = Word();
    float value = 0;
    if (word.empty()) Fail("the file ends inside " + std::string(what));
    if (!ParseReal(word, value))
      Fail(Quote(word, {'"', 40, true}) + " is no number, in " + std::string(what));
    return value;
  }

  void Text() {
    int solids = 0;
    for (std::string_view word = Word(); !word.empty(); word = Word(), ++solids) {
      if (word != "solid") {
        Fail(Quote(word, {'"', 40, true}) + " where a solid should start");
      }
      // The solid's name: the word after "solid" on its line, if any.
      std::string name;
      if (word_ < words_.size()) name = std::string(words_[word_]);
      word_ = words_.size();
      Object* object = nullptr;
      std::optional<Mesh> mesh;
      const int64_t solidLine = line_;
      for (;;) {
        word = Word();
        if (word == "endsolid") {
          word_ = words_.size();  // its name, if any, as written
          break;
        }
        if (word.empty()) {
          line_ = solidLine;
          Fail("the solid that starts here has no \"endsolid\"");
        }
        if (word != "facet")
          Fail(Quote(word, {'"', 40, true}) + " where a facet or \"endsolid\" should be");
        Expect("normal", "\"facet\"");
        for (int i = 0; i < 3; ++i) Number("a facet normal");
        Expect("outer", "a facet normal");
        Expect("loop", "\"outer\"");
        std::array<Corner, 3> corners{};
        for (Corner& corner : corners) {
          const std::string_view vertex = Word();
          if (vertex == "endloop") Fail("a facet of fewer than 3 corners");
          if (vertex != "vertex")
            Fail(Quote(vertex, {'"', 40, true}) + " where a facet's \"vertex\" should be");
          for (int i = 0; i < 3; ++i) corner[static_cast<std::size_t>(i)] = Number("a vertex");
        }
        const std::string_view end = Word();
        if (end == "vertex") Fail("a facet of more than 3 corners");
        if (end != "endloop")
          Fail(Quote(end, {'"', 40, true}) + " where \"endloop\" should end a facet's corners");
        Expect("endfacet", "\"endloop\"");
        if (object == nullptr) {
          // "NAME/NAME", or "FILE/mesh N" for a nameless solid.
          std::string objectName = name.empty() ? FileStem(path_) : name;
          objectName += '/';
          objectName += name.empty() ? "mesh " + std::to_string(solids) : name;
          object = &objects_.AddObject(std::move(objectName));
          mesh.emplace(*object, std::array<float, 4>{});  // text gives no colours
        }
        if (!mesh->AddFacet(corners.data())) {
          throw ModelError(ModelError::Kind::kLimit, path_, line_,
                           "more than " + std::to_string(kMaxElementCount / 3) +
                               " facets, the most this host holds in one object");
        }
      }
      if (mesh) mesh->Flush();
    }
  }

  const std::string& path_;  // the caller's; outlives this
  ByteReader in_;
  const ProgressShare& progress_;  // the caller's
  uint64_t size_ = 0;              // of a regular file; else 0
  BlockInput* body_ = nullptr;     // Read's, while it runs
  Document objects_;

  // The text being read: the words of the current line.
  std::vector<std::string_view> words_;
  std::size_t word_ = 0;
  std::size_t lineWords_ = 0;
  int64_t line_ = 0;
};

}  // namespace

std::unique_ptr<ModelFile> ReadStlFile(ByteSource& source, const std::string& path,
                                       const ProgressShare& progress) {
  Reader reader(source, path, progress);
  return NamingOutOfMemory(path, [&] { return reader.Read(); });
}

std::unique_ptr<ModelFile> ReadStlFile(const std::string& path, const ProgressShare& progress) {
  InputFile file(path);
  return ReadStlFile(file, path, progress);
}

Format StlFormat() {
  Format format;
  format.name = "STL";
  format.extensions = {".stl"};
  // --reader assimp sends STL files back to assimp.
  format.standsInFor = "assimp";
  format.read = [](const std::string& path, const ProgressShare& progress) {
    return ReadStlFile(path, progress);
  };
  format.listing =
      "  .stl       STL (text, binary), by its own reader: an object per text solid\n"
      "             (\"NAME/NAME\") or binary file (\"FILE/mesh 0\")\n";
  format.notes =
      "What counts in STL files:\n"
      "  faces     a triangle per facet\n"
      "  vertices  facet corners identical to the bit in position (and colour, in\n"
      "            binary files that colour facets) joined; facet normals dropped\n";
  format.help = " and STL by\nour own readers everywhere;";
  return format;
}

}  // namespace vhost::models
