// A model file read into memory, from which objects are made on demand: a
// loader takes all of them, a scene may pick one by name. Which reader a file
// gets follows its extension (registry.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/model/documents.h"
#include "host/models/source_text.h"

namespace vhost::models {

class ModelFile {
 public:
  virtual ~ModelFile() = default;

  virtual int32_t ObjectCount() const = 0;
  virtual const std::string& ObjectName(int32_t index) const = 0;

  // Makes object `index` in a new slot of `document`. Throws on running out of
  // memory, leaving a part-built object behind: build into a document of your
  // own and hand it over when done.
  virtual Object& AddObjectTo(int32_t index, Document& document) = 0;

  // Moves every object to new slots at the end of `document`, in file order,
  // all or nothing: when memory runs out, `document` is unchanged. The file
  // may be left without objects. By default built in a document of its own
  // with AddObjectTo and handed over whole.
  virtual void MoveObjectsTo(Document& document);
};

// Hands `count` vertices to `object` in pieces of kVertexPiece, one call each,
// so that the object grows its storage once per piece and not per vertex,
// and the caller's copy is never whole. `positionOf(i)` gives vertex i's
// position, asked for once each, in order; `afterPiece(i)` is told the last vertex of each piece
// handed over, so that the caller may free what it held for it.
constexpr std::size_t kVertexPiece = 4096;
template <typename PositionOf, typename AfterPiece>
void HandOverVertices(Object& object, std::size_t count, const PositionOf& positionOf,
                      const AfterPiece& afterPiece) {
  std::vector<Vec3> piece;
  for (std::size_t i = 0; i < count;) {
    piece.clear();
    for (; i < count && piece.size() < kVertexPiece; ++i) piece.push_back(positionOf(i));
    object.AddVertices(piece.data(), static_cast<int32_t>(piece.size()));
    afterPiece(i - 1);
  }
}

// The extension of the path's last component, lower-case with the dot (".glb");
// empty when it has none.
std::string LowerExtension(const std::string& path);

// The extensions this build reads, lower-case with the dot, sorted.
std::vector<std::string> SupportedExtensions();

// ModelError(path, 0, ...) for a path whose extension no reader takes, naming
// the supported ones.
ModelError UnsupportedExtension(const std::string& path);

// Reads and checks the whole of a model file (not a scene) with the reader its
// extension names. Throws ModelError naming the file and, for faults in its
// text, the line.
std::unique_ptr<ModelFile> ReadModelFile(const std::string& path, const ProgressShare& progress);

}  // namespace vhost::models
