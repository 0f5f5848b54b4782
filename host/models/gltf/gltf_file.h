// glTF 2.0 files (.gltf with external or data: buffers, .glb) read by the
// host's own reader: the objects of the scene shown, one per mesh instance and
// primitive in node order, built straight from the accessors' bytes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/models/gltf/gltf_asset.h"
#include "host/models/model_file.h"
#include "host/models/registry.h"

namespace vhost::models::gltf {

// Reads the glTF file `path`: its bytes whole, then the buffers it names
// beside it. Throws ModelError naming the file and the element at fault,
// NotThisReader for a glTF 1.0 file.
std::unique_ptr<ModelFile> ReadGltfFile(const std::string& path, const ProgressShare& progress);

// The same of `bytes` (a .gltf file's text or a .glb file's bytes, borrowed
// for the call), which `path` names in errors; external buffers through
// `readUri`.
std::unique_ptr<ModelFile> ReadGltfBytes(const std::string& path, std::string_view bytes,
                                         const Asset::UriReader& readUri);

}  // namespace vhost::models::gltf

namespace vhost::models {

// The glTF reader's entry in the registry: ".gltf", ".glb", in assimp's place.
Format GltfFormat();

}  // namespace vhost::models
