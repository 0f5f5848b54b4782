// A model file read into memory, from which objects are made on demand: a
// loader makes all of them, a scene may pick one by name. Which reader a file
// gets follows its extension (see models.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
};

// The extension of the path's last component, lower-case with the dot (".glb");
// empty when it has none.
std::string LowerExtension(const std::string& path);

// The readers a path can go to.
enum class Reader {
  kObj,     // the project's own OBJ reader: ".obj", and a path without extension
  kScene,   // ".json"
  kAssimp,  // an extension the assimp library imports (none in a build without it)
  kNone,    // any other extension
};
Reader ReaderFor(const std::string& path);

// The extensions this build reads, lower-case with the dot, sorted.
std::vector<std::string> SupportedExtensions();

// ModelError(path, 0, ...) for a path whose extension no reader takes, naming
// the supported ones.
ModelError UnsupportedExtension(const std::string& path);

// Reads and checks the whole of a model file (not a scene). Throws ModelError
// naming the file and, for faults in its text, the line.
std::unique_ptr<ModelFile> ReadModelFile(const std::string& path, const ProgressShare& progress);

}  // namespace vhost::models
