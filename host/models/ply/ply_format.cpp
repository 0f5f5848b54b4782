// The PLY reader's registry entry, apart from the reader: its header
// (ply_header.h) names a body's format PlyFormat as well.
#include "host/models/ply/ply_file.h"
#include "host/models/registry.h"

namespace vhost::models {

Format PlyFormat() {
  Format format;
  format.name = "PLY";
  format.extensions = {".ply"};
  // --reader assimp sends PLY files back to assimp.
  format.standsInFor = "assimp";
  format.read = [](const std::string& path, const ProgressShare& progress) {
    return ReadPlyFile(path, progress);
  };
  format.listing =
      "  .ply       PLY (text, binary), by its own reader: one object \"FILE/mesh 0\"\n";
  format.notes =
      "What counts in PLY files:\n"
      "  vertices  the vertex element's, those identical to the bit in position,\n"
      "            normal, texture coordinates and colours joined\n"
      "  faces     as stored, not triangulated (1 and 2 points too); edge records as\n"
      "            2-point faces; tristrips as n-2 triangles a strip; a file without\n"
      "            faces is a point cloud, one point per vertex\n";
  format.help = " PLY";
  return format;
}

}  // namespace vhost::models
