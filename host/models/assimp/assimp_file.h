// Model files in the formats the assimp library imports (glTF, FBX, PLY, STL,
// COLLADA, 3DS, OFF, ...), read as a modelling host reads them. Only in builds
// with assimp (VHOST_HAS_ASSIMP); see models.h for what counts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/models/model_file.h"
#include "host/models/registry.h"

namespace vhost::models {

// What assimp imports, as lower-case extensions with the dot, sorted; OBJ is
// left to the project's own reader. Empty without assimp.
std::vector<std::string> AssimpExtensions();

// How long one import may take, by default: a reader caught in a loop on a
// damaged file (assimp's OpenGEX reader on a cut file spins for ever) must not
// stop the run. Generous: assimp reads tens of MiB a second.
constexpr double kImportSecondsAtLeast = 60;
constexpr double kImportSecondsPerMiB = 10;

// The time every later import may take: `seconds` (0: no limit), or with none
// the default, kImportSecondsAtLeast and kImportSecondsPerMiB for each MiB of
// the file. Process-wide, as the tool's options are: set once before loading.
void SetImportTimeLimit(std::optional<double> seconds);

// The limit for a file of `bytes`, in seconds; 0 for none.
double ImportTimeLimitFor(uint64_t bytes);

// Assimp's entry in the registry: every extension it imports but OBJ (left to
// the project's own reader), each import in a child process (see models.h).
// In a build without assimp it takes none, and says so in --formats.
Format AssimpFormat();

// Reads `path` with assimp. An import that runs past its time limit is
// stopped and the file is an error "assimp's importer did not finish in N s". Throws ModelError:
// assimp's own message for a file it refuses, one it read without meshes, or one it warned of (see
// models.h).
std::unique_ptr<ModelFile> ReadAssimpFile(const std::string& path, const ProgressShare& progress);

}  // namespace vhost::models
