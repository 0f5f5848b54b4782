// Checks for files that assimp's own readers cannot survive (they hang, crash
// or corrupt memory on them: found by fuzzing Debian's assimp 5.2), made before
// assimp sees the file. Each reads only what it needs and leaves a file it cannot
// open to assimp to refuse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/models/model_error.h"

namespace vhost::models {

// Why `path` must not reach assimp, by its extension and its content, as the
// error loading it is; none when nothing is known against it. The message
// names the line of a fault in the file's text itself, and line() tells it.
std::optional<ModelError> AssimpReaderHazard(const std::string& path);

// What a fault the checks below found is, beyond their message: its kind, and
// the line its message names (0 for none).
struct FaultDetail {
  ModelError::Kind kind = ModelError::Kind::kSyntax;
  int64_t line = 0;
};

// What is wrong with a PLY file's header for assimp's PLY reader; empty when
// nothing. Reusable by any PLY reader: it checks the header as the format
// states it, and the records against what the header declares.
std::string PlyHeaderFault(const std::string& path, FaultDetail& detail);

// What a COLLADA file holds that assimp's reader does not hand over as stored;
// empty when nothing.
std::string ColladaFault(const std::string& path);

// What is wrong with an OFF file for assimp's OFF reader; empty when nothing.
std::string OffFault(const std::string& path, FaultDetail& detail);

}  // namespace vhost::models
