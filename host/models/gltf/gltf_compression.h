// The compressions a glTF asset may store its geometry in, decoded through
// Debian's libraries (Linux builds; the Windows builds decode neither and say so).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/models/gltf/gltf_asset.h"

namespace vhost::models::gltf {

// EXT_meshopt_compression: the view's `count` elements of `stride` bytes
// decoded from `compressed`. Throws std::runtime_error saying what is wrong.
std::string DecodeMeshopt(const MeshoptView& view, std::string_view compressed);

// One attribute of a decoded Draco primitive: `components` floats a vertex.
struct DracoAttribute {
  std::string name;  // the glTF attribute's: "POSITION"
  int components = 0;
  std::vector<float> values;
};

// A KHR_draco_mesh_compression primitive decoded: its vertices' attributes and
// its faces as triangles' corners (a point cloud has none).
struct DracoMesh {
  uint64_t vertices = 0;
  std::vector<DracoAttribute> attributes;
  std::vector<uint32_t> corners;  // 3 a triangle
  bool pointCloud = false;
};

// Decodes `compressed` with the attributes `draco` names. Throws
// std::runtime_error saying what is wrong.
DracoMesh DecodeDraco(const DracoPrimitive& draco, std::string_view compressed);

}  // namespace vhost::models::gltf
