// tinyobjloader alone on an OBJ file, for bench/obj-load.sh: the library route
// the stand-in host's own reader replaced, timed on the same files. Prints the
// faces, line segments and points it read; no document is built.
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tinyobj_load FILE.obj\n");
    return 2;
  }
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warnings;
  std::string errors;
  if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warnings, &errors, argv[1], nullptr,
                        /*triangulate=*/false)) {
    std::fprintf(stderr, "%s\n", errors.c_str());
    return 1;
  }
  std::size_t faces = 0;
  std::size_t segments = 0;
  std::size_t points = 0;
  for (const tinyobj::shape_t& shape : shapes) {
    faces += shape.mesh.num_face_vertices.size();
    for (const int size : shape.lines.num_line_vertices) segments += size > 1 ? size - 1 : 0;
    points += shape.points.indices.size();
  }
  std::printf("%zu vertices, %zu faces, %zu segments, %zu points\n", attrib.vertices.size() / 3,
              faces, segments, points);
  return 0;
}
