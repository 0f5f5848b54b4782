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

// meshoptimizer takes at most 16 attributes of at most 256 bytes each; ours
// takes attributes of the same size, so that the two answer the same inputs.
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

using exact::Fold;
using exact::Mix;
using exact::SameBytes;

// The vertices as the caller holds them, compared and hashed where they lie:
// nothing is copied. `Single` is the shape of most meshes worth timing, one
// attribute of 12 bytes (positions alone), whose compare and hash the compiler
// lays out in full.
template <bool Single>
class InPlace {
 public:
  explicit InPlace(const std::vector<VertexAttribute>& attributes) : attributes_(attributes) {}

  uint64_t Hash(std::size_t v) const {
    if constexpr (Single) return Mix(Fold(0, At(attributes_[0], v), 12));
    uint64_t hash = 0;
    for (const VertexAttribute& a : attributes_) hash = Fold(hash, At(a, v), a.size);
    return Mix(hash);
  }

  bool Same(std::size_t a, std::size_t b) const {
    if constexpr (Single) {
      return std::memcmp(At(attributes_[0], a), At(attributes_[0], b), 12) == 0;
    } else {
      for (const VertexAttribute& attribute : attributes_) {
        if (!SameBytes(At(attribute, a), At(attribute, b), attribute.size)) return false;
      }
      return true;
    }
  }

 private:
  static const unsigned char* At(const VertexAttribute& a, std::size_t v) {
    return static_cast<const unsigned char*>(a.data) + v * a.stride;
  }
  const std::vector<VertexAttribute>& attributes_;
};

// Open addressing, at most half full: vertex 0 is an empty slot, else the
// number of the vertex first met with these bytes + 1, beside the high half of
// its hash, so that a probe rarely reads a vertex. The slots for a batch of
// vertices are asked of memory at once rather than waited for one by one: a
// mesh's vertices land anywhere in a table far larger than the caches.
template <bool Single>
Welded Join(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  struct Slot {
    uint32_t first = 0;
    uint32_t tag = 0;
  };
  const InPlace<Single> vertices(attributes);
  std::size_t size = 1024;
  while (size < 2 * count) size *= 2;
  std::vector<Slot> slots(size);
  const std::size_t mask = size - 1;
  Welded welded;
  welded.remap.resize(count);
  constexpr std::size_t kBatch = 32;
  uint64_t hashes[kBatch];
  for (std::size_t first = 0; first < count; first += kBatch) {
    const std::size_t n = std::min(kBatch, count - first);
    for (std::size_t i = 0; i < n; ++i) {
      hashes[i] = vertices.Hash(first + i);
      __builtin_prefetch(&slots[static_cast<std::size_t>(hashes[i]) & mask], 1);
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t v = first + i;
      const auto tag = static_cast<uint32_t>(hashes[i] >> 32);
      for (std::size_t s = static_cast<std::size_t>(hashes[i]) & mask;; s = (s + 1) & mask) {
        Slot& slot = slots[s];
        if (slot.first == 0) {
          slot = {static_cast<uint32_t>(v + 1), tag};
          welded.remap[v] = welded.unique++;
          break;
        }
        if (slot.tag == tag && vertices.Same(slot.first - 1, v)) {
          welded.remap[v] = welded.remap[slot.first - 1];
          break;
        }
      }
    }
  }
  return welded;
}

}  // namespace

Welded WeldIdentical(std::size_t count, const std::vector<VertexAttribute>& attributes) {
  if (count == 0) return {};
  CheckInput(count, attributes);
  if (attributes.size() == 1 && attributes[0].size == 12) return Join<true>(count, attributes);
  return Join<false>(count, attributes);
}

#if defined(VHOST_HAS_MESHOPTIMIZER)

Welded WeldByLibrary(std::size_t count, const std::vector<VertexAttribute>& attributes) {
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

#endif

}  // namespace vhost::models
