#include "host/models/weld.h"

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

// The bytes of attribute `a` of vertex `v`.
const unsigned char* Bytes(const VertexAttribute& a, std::size_t v) {
  return static_cast<const unsigned char*>(a.data) + v * a.stride;
}

// FNV-1a over every attribute's bytes, then mixed so that the low bits the
// table uses depend on all of them.
uint64_t HashOf(const std::vector<VertexAttribute>& attributes, std::size_t v) {
  uint64_t hash = 14695981039346656037ull;
  for (const VertexAttribute& a : attributes) {
    const unsigned char* bytes = Bytes(a, v);
    for (std::size_t i = 0; i < a.size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  }
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdull;
  return hash ^ (hash >> 33);
}

bool SameVertex(const std::vector<VertexAttribute>& attributes, std::size_t v, std::size_t w) {
  for (const VertexAttribute& a : attributes) {
    if (std::memcmp(Bytes(a, v), Bytes(a, w), a.size) != 0) return false;
  }
  return true;
}

}  // namespace

Welded WeldByHash(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  Welded welded;
  if (count == 0) return welded;
  CheckInput(count, attributes);
  welded.remap.resize(count);
  // Open addressing, at most half full: each slot holds the first vertex of
  // its kind, or kEmpty.
  constexpr uint32_t kEmpty = UINT32_MAX;
  std::size_t slots = 16;
  while (slots < 2 * count) slots *= 2;
  std::vector<uint32_t> table(slots, kEmpty);
  for (std::size_t v = 0; v < count; ++v) {
    std::size_t slot = static_cast<std::size_t>(HashOf(attributes, v)) & (slots - 1);
    while (table[slot] != kEmpty && !SameVertex(attributes, table[slot], v)) {
      slot = (slot + 1) & (slots - 1);
    }
    if (table[slot] == kEmpty) {
      table[slot] = static_cast<uint32_t>(v);
      welded.remap[v] = welded.unique++;
    } else {
      welded.remap[v] = welded.remap[table[slot]];
    }
  }
  return welded;
}

Welded WeldIdentical(std::size_t count, const std::vector<VertexAttribute>& attributes) {
#if defined(VHOST_HAS_MESHOPTIMIZER)
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
#else
  return WeldByHash(count, attributes);
#endif
}

}  // namespace vhost::models
