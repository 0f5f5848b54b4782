// Joining a mesh's vertices that are the same vertex: identical, byte for byte,
// in every attribute the file gives them. Readers that hand over a vertex per
// face corner (most of assimp's) and files that store a vertex twice count each
// distinct vertex once, and two vertices that differ in any bit of any
// attribute (a texture coordinate of 0.5 against 0.500005, a normal at a seam)
// stay two: a tolerance would pass a file over its vertex budget for under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vhost::models {

// One attribute of every vertex: `size` bytes at `data + i * stride` for vertex
// i. Borrowed for the call.
struct VertexAttribute {
  const void* data = nullptr;
  std::size_t size = 0;
  std::size_t stride = 0;
};

// The vertices left after joining: remap[i] is the new number of vertex i, the
// vertices numbered from 0 in the order in which each first appears; `unique`
// is how many there are. A vertex is joined with an earlier one only when every
// attribute is the same to the bit (so -0 and 0 stay apart, and a NaN joins only
// the same NaN).
struct Welded {
  std::vector<uint32_t> remap;
  uint32_t unique = 0;
};

// `count` vertices of `attributes` (at least one), compared where they lie.
// Throws std::bad_alloc when memory runs out, std::length_error for a vertex
// count past 32 bits.
Welded WeldIdentical(std::size_t count, const std::vector<VertexAttribute>& attributes);

#if defined(VHOST_HAS_MESHOPTIMIZER)
// The same join by meshoptimizer's remap, where the build has the library
// (Linux), for the tests and bench/weld_bench.cpp to hold ours to: on a
// million distinct vertices ours takes half its time, on vertices split at
// every corner two thirds, so every build joins with its own.
Welded WeldByLibrary(std::size_t count, const std::vector<VertexAttribute>& attributes);
#endif

}  // namespace vhost::models
