// Model files in the formats the assimp library imports (glTF, FBX, PLY, STL,
// COLLADA, 3DS, OFF, ...), read as a modelling host reads them. Only in builds
// with assimp (VHOST_HAS_ASSIMP); see models.h for what counts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/models/model_file.h"

namespace vhost::models {

// Whether this build reads files through assimp.
bool HaveAssimp();

// What assimp imports, as lower-case extensions with the dot, sorted; OBJ is
// left to the project's own reader. Empty without assimp.
std::vector<std::string> AssimpExtensions();

// Reads `path` with assimp. Throws ModelError: assimp's own message for a file
// it refuses, one it read without meshes, or one it warned of (see models.h).
std::unique_ptr<ModelFile> ReadAssimpFile(const std::string& path, const ProgressShare& progress);

}  // namespace vhost::models
