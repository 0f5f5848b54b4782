#include "host/models/weld.h"

#include "host/models/exact_join.h"

#if defined(VHOST_HAS_MESHOPTIMIZER)
#include <meshoptimizer.h>
#endif

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vhost::models {
namespace {

// meshoptimizer takes at most 16 attributes of at most 256 bytes each; the
// table of our own takes attributes of the same size.
constexpr std::size_t kMostStreams = 16;
constexpr std::size_t kMostStreamBytes = 256;

// Checks what both joins take; throws as WeldIdentical says.
void CheckInput(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  if (count > UINT32_MAX) throw std::length_error("more than 4294967295 vertices to join");
  for (const VertexAttribute& attribute : attributes) {
    if (attribute.size == 0 || attribute.size > kMostStreamBytes ||
        attribute.stride < attribute.size || attribute.data == nullptr) {
      throw std::invalid_argument("a vertex attribute of no bytes, or of more than its stride");
    }
  }
  if (attributes.empty()) throw std::invalid_argument("no vertex attribute to compare");
}

#if defined(VHOST_HAS_MESHOPTIMIZER)

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

#endif

}  // namespace

Welded WeldByTable(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  Welded welded;
  if (count == 0) return welded;
  CheckInput(count, attributes);
  // Each vertex's attributes packed into one key, a batch at a time, for the
  // join the readers that scan their files use (exact_join.h).
  std::size_t keyBytes = 0;
  for (const VertexAttribute& a : attributes) keyBytes += a.size;
  ExactJoin join(keyBytes);
  join.Reserve(count);
  welded.remap.resize(count);
  std::vector<unsigned char> keys(ExactJoin::kBatch * keyBytes);
  int32_t numbers[ExactJoin::kBatch];
  bool added[ExactJoin::kBatch];
  for (std::size_t first = 0; first < count; first += ExactJoin::kBatch) {
    const std::size_t n = std::min(ExactJoin::kBatch, count - first);
    unsigned char* key = keys.data();
    for (std::size_t v = first; v < first + n; ++v) {
      for (const VertexAttribute& a : attributes) {
        std::memcpy(key, static_cast<const unsigned char*>(a.data) + v * a.stride, a.size);
        key += a.size;
      }
    }
    join.JoinAll(keys.data(), n, numbers, added);
    for (std::size_t i = 0; i < n; ++i) welded.remap[first + i] = static_cast<uint32_t>(numbers[i]);
  }
  welded.unique = static_cast<uint32_t>(join.Count());
  return welded;
}

#if defined(VHOST_HAS_MESHOPTIMIZER)

Welded WeldIdentical(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  if (count == 0) return {};
  CheckInput(count, attributes);
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

#else

Welded WeldIdentical(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  return WeldByTable(count, attributes);
}

#endif

}  // namespace vhost::models
