// Whether a JSON file is a scene, without reading more of it than that takes:
// a folder walk meets .json files of every kind (package manifests, glTF
// side files, tool settings) and must take only the scenes among them.
#pragma once

#include <string>

namespace vhost::models::scene {

// True when the file's top-level object has "format": "veltrane-scene". Reads
// up to that key's value and no further; false for a file that cannot be read,
// is not JSON, or says nothing of its format.
bool IsSceneFile(const std::string& path);

}  // namespace vhost::models::scene
