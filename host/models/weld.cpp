#include "host/models/weld.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vhost::models {
namespace {

// meshoptimizer takes at most 16 attributes of at most 256 bytes each.
constexpr std::size_t kMostStreams = 16;
constexpr std::size_t kMostStreamBytes = 256;

// Attributes beyond what meshoptimizer takes at once, packed into blocks of
// whole attributes, each at most kMostStreamBytes a vertex; owns the copies.
struct Packed {
  std::vector<std::vector<unsigned char>> blocks;
  std::vector<meshopt_Stream> streams;
};

Packed Pack(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  // Which attributes go into each block.
  std::vector<std::vector<const VertexAttribute*>> groups;
  std::vector<std::size_t> widths;
  for (const VertexAttribute& attribute : attributes) {
    if (groups.empty() || widths.back() + attribute.size > kMostStreamBytes) {
      groups.emplace_back();
      widths.push_back(0);
    }
    groups.back().push_back(&attribute);
    widths.back() += attribute.size;
  }
  if (groups.size() > kMostStreams) {
    throw std::length_error("more vertex attributes than can be compared");
  }
  Packed packed;
  packed.blocks.resize(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::vector<unsigned char>& block = packed.blocks[g];
    block.resize(count * widths[g]);
    std::size_t offset = 0;
    for (const VertexAttribute* attribute : groups[g]) {
      const auto* from = static_cast<const unsigned char*>(attribute->data);
      for (std::size_t v = 0; v < count; ++v) {
        std::memcpy(&block[v * widths[g] + offset], from + v * attribute->stride, attribute->size);
      }
      offset += attribute->size;
    }
    packed.streams.push_back({block.data(), widths[g], widths[g]});
  }
  return packed;
}

}  // namespace

Welded WeldIdentical(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  if (count == 0) return {};
  if (count > UINT32_MAX) throw std::length_error("more than 4294967295 vertices to join");
  for (const VertexAttribute& attribute : attributes) {
    if (attribute.size == 0 || attribute.size > kMostStreamBytes ||
        attribute.stride < attribute.size || attribute.data == nullptr) {
      throw std::invalid_argument("a vertex attribute of no bytes, or of more than its stride");
    }
  }
  if (attributes.empty()) throw std::invalid_argument("no vertex attribute to compare");
  Welded welded;
  welded.remap.resize(count);
  std::vector<meshopt_Stream> streams;
  Packed packed;
  if (attributes.size() <= kMostStreams) {
    for (const VertexAttribute& attribute : attributes) {
      streams.push_back({attribute.data, attribute.size, attribute.stride});
    }
  } else {
    packed = Pack(count, attributes);
    streams = packed.streams;
  }
  // Every vertex is numbered, used or not; meshoptimizer compares the bytes
  // themselves (a hash, then memcmp), never values. It takes a list of
  // triangles' indices (Debian's build asserts a multiple of 3, with or without
  // a list), so the vertices are listed in order, padded with vertex 0, which
  // is numbered by then and so changes nothing.
  std::vector<uint32_t> order((count + 2) / 3 * 3, 0);
  for (std::size_t v = 0; v < count; ++v) order[v] = static_cast<uint32_t>(v);
  welded.unique = static_cast<uint32_t>(meshopt_generateVertexRemapMulti(
      welded.remap.data(), order.data(), order.size(), count, streams.data(), streams.size()));
  return welded;
}

}  // namespace vhost::models
