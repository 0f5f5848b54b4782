// Small shapes whose counts are easy to derive by hand, built in the stand-in
// host's document model.
#pragma once

#include <vector>

#include "host/model/documents.h"

namespace testing_support {

// Adds vertices at the given positions and returns the index of the first.
inline int32_t AddVertices(vhost::Object& o, const std::vector<vhost::Vec3>& positions) {
  int32_t first = o.VertexCount();
  for (const vhost::Vec3& p : positions) o.AddVertex(p);
  return first;
}

// A unit quad in the z = 0 plane with one corner at `origin`.
inline vhost::Object& Quad(vhost::Object& o, vhost::Vec3 origin = {}) {
  const int32_t v = AddVertices(o, {{origin.x, origin.y, origin.z},
                                    {origin.x + 1, origin.y, origin.z},
                                    {origin.x + 1, origin.y + 1, origin.z},
                                    {origin.x, origin.y + 1, origin.z}});
  o.AddFace({v, v + 1, v + 2, v + 3});
  return o;
}

// A closed unit cube: 8 vertices, 6 quads, 12 edges.
inline vhost::Object& Cube(vhost::Object& o) {
  const int32_t v = AddVertices(
      o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}});
  for (const auto& f : std::vector<std::vector<int32_t>>{
           {0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}) {
    o.AddFace({v + f[0], v + f[1], v + f[2], v + f[3]});
  }
  return o;
}

// A polyline profile of 2-point faces through the given points.
inline vhost::Object& Profile(vhost::Object& o, const std::vector<vhost::Vec3>& points) {
  const int32_t v = AddVertices(o, points);
  for (int32_t i = 0; i + 1 < static_cast<int32_t>(points.size()); ++i)
    o.AddFace({v + i, v + i + 1});
  return o;
}

// What a person would count: used vertices and live faces by their size.
struct Tally {
  int32_t vertices = 0;
  int32_t faces = 0;
  int32_t lines = 0;
  int32_t triangles = 0;
  int32_t quads = 0;
  int32_t ngons = 0;
};

inline Tally Count(const vhost::Object& o) {
  Tally t;
  for (int32_t v = 0; v < o.VertexCount(); ++v) t.vertices += o.VertexRefCount(v) > 0 ? 1 : 0;
  for (int32_t f = 0; f < o.FaceCount(); ++f) {
    const int32_t n = o.FacePointCount(f);
    if (n <= 0) continue;
    ++t.faces;
    t.lines += n == 2;
    t.triangles += n == 3;
    t.quads += n == 4;
    t.ngons += n >= 5;
  }
  return t;
}

}  // namespace testing_support
