// Checks for files that assimp's own readers cannot survive (they hang, crash
// or corrupt memory on them: found by fuzzing Debian's assimp 5.2), made before
// assimp sees the file. Each reads only what it needs and leaves a file it cannot
// open to assimp to refuse.
#pragma once

#include <string>

namespace vhost::models {

// Why `path` must not reach assimp, by its extension; empty when nothing is known
// against it.
std::string AssimpReaderHazard(const std::string& path);

// What is wrong with a PLY file's header for assimp's PLY reader; empty when nothing.
std::string PlyHeaderFault(const std::string& path);

// What a COLLADA file holds that assimp's reader does not hand over as stored;
// empty when nothing.
std::string ColladaFault(const std::string& path);

// What is wrong with an OFF file for assimp's OFF reader; empty when nothing.
std::string OffFault(const std::string& path);

}  // namespace vhost::models
