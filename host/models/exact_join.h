// Joining vertices that are identical to the bit while a file is scanned: the
// same rule as WeldIdentical (weld.h), met one vertex at a time, so that a
// reader keeps only the distinct vertices and never a list of every corner it
// read (an STL file repeats each corner in every facet that has it).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "host/model/documents.h"

namespace vhost::models {

// The hash and compare of vertex bytes that this table and the whole-mesh weld
// (weld.cpp) share.
namespace exact {

// Every bit of a folded hash reaches the low bits a table is indexed by: the
// bytes are floats, whose low bits are often all zero.
inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

// `size` bytes folded into `hash` cheaply, a word at a time (Mix the result
// once, after the last bytes): the last, partial word is read as two 4-byte
// halves that may overlap, rather than by a copy of variable length; fewer
// than 4 bytes a byte at a time.
inline uint64_t Fold(uint64_t hash, const unsigned char* bytes, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, bytes + i, 8);
    hash = (hash ^ word) * 0x9e3779b97f4a7c15ull;
    hash ^= hash >> 29;
  }
  if (const std::size_t left = size - i; left > 0) {
    uint32_t low = 0, high = 0;
    if (left >= 4) {
      std::memcpy(&low, bytes + i, 4);
      std::memcpy(&high, bytes + i + left - 4, 4);
    } else {
      for (std::size_t b = 0; b < left; ++b) low = low << 8 | bytes[i + b];
    }
    hash = (hash ^ (low | uint64_t{high} << 32)) * 0x9e3779b97f4a7c15ull;
    hash ^= hash >> 29;
  }
  return hash;
}

// The sizes vertices come in compare in a few loads, not a call.
inline bool SameBytes(const void* a, const void* b, std::size_t size) {
  switch (size) {
    case 4:
      return std::memcmp(a, b, 4) == 0;
    case 8:
      return std::memcmp(a, b, 8) == 0;
    case 12:
      return std::memcmp(a, b, 12) == 0;
    case 16:
      return std::memcmp(a, b, 16) == 0;
    case 28:
      return std::memcmp(a, b, 28) == 0;
    default:
      return std::memcmp(a, b, size) == 0;
  }
}

}  // namespace exact

class ExactJoin {
 public:
  // Vertices told by `keyBytes` bytes each: every attribute that makes a
  // vertex the one it is, as the file holds it.
  explicit ExactJoin(std::size_t keyBytes) : keyBytes_(keyBytes) {}

  // The number of the vertex `key` (keyBytes bytes, read during the call)
  // is, from 0 in the order in which each first appeared; `added` tells
  // whether it appears here first. Throws std::length_error past
  // kMaxElementCount distinct vertices, std::bad_alloc when memory runs out.
  int32_t Join(const void* key, bool& added) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    return Find(key, Hash(key), added);
  }

  // Join for `count` keys in a row at `keys`, their numbers into `numbers`
  // and whether each is new into `added`: the table's slots for all of them
  // are asked of memory at once, rather than waited for one by one (a scan's
  // vertices land anywhere in a table far larger than the caches).
  // The keys lie `stride` bytes apart (keyBytes when not given): a key may be
  // the first bytes of a larger record.
  static constexpr std::size_t kBatch = 64;
  void JoinAll(const unsigned char* keys, std::size_t count, int32_t* numbers, bool* added,
               std::size_t stride = 0) {
    if (stride == 0) stride = keyBytes_;
    // Positions alone, the most common key, hashed and compared in a few
    // instructions rather than through a size known only at run time.
    if (keyBytes_ == 12) {
      JoinAllAs<12>(keys, count, numbers, added, stride);
    } else {
      JoinAllAs<0>(keys, count, numbers, added, stride);
    }
  }

  std::size_t Count() const { return count_; }

  // Vertex `v`'s key (v below Count()), valid until the next join.
  const unsigned char* Key(std::size_t v) const { return &keys_[v * keyBytes_]; }

  // Makes room for `vertices` distinct vertices at once. Throws
  // std::bad_alloc for more than memory could hold, as a table that size
  // would (a 32-bit build's sizes would wrap first).
  void Reserve(std::size_t vertices) {
    if (vertices > std::numeric_limits<std::size_t>::max() / 4) throw std::bad_alloc();
    if (vertices > keyRoom_) RoomForKeys(vertices);
    std::size_t size = slots_.empty() ? 1024 : slots_.size();
    while (size < 2 * vertices) size *= 2;
    // One table of the final size: each size on the way would be memory
    // zeroed and given back.
    if (size > slots_.size()) Rehash(size);
  }

 private:
  // JoinAll for keys of `Bytes` bytes (0: keyBytes_).
  template <std::size_t Bytes>
  void JoinAllAs(const unsigned char* keys, std::size_t count, int32_t* numbers, bool* added,
                 std::size_t stride) {
    for (std::size_t done = 0; done < count; done += kBatch) {
      const std::size_t n = std::min(kBatch, count - done);
      while (2 * (count_ + n) > slots_.size()) Grow();
      uint64_t hashes[kBatch];
      const std::size_t mask = slots_.size() - 1;
      for (std::size_t i = 0; i < n; ++i) {
        hashes[i] = HashAs<Bytes>(keys + (done + i) * stride);
        __builtin_prefetch(&slots_[static_cast<std::size_t>(hashes[i]) & mask]);
      }
      for (std::size_t i = 0; i < n; ++i) {
        numbers[done + i] = FindAs<Bytes>(keys + (done + i) * stride, hashes[i], added[done + i]);
      }
    }
  }

  template <std::size_t Bytes>
  uint64_t HashAs(const void* key) const {
    const std::size_t size = Bytes == 0 ? keyBytes_ : Bytes;
    return exact::Mix(exact::Fold(size, static_cast<const unsigned char*>(key), size));
  }

  // The vertex `key` is, added when new; the table has room.
  int32_t Find(const void* key, uint64_t hash, bool& added) { return FindAs<0>(key, hash, added); }

  // Inlined into JoinAllAs's loop, the size known where it can be: a call per
  // key and a size read at run time took about 4 % of a 1M-facet STL file's
  // time (with Reserve's one table; bench/formats-load.sh's file).
  template <std::size_t Bytes>
  [[gnu::always_inline]] int32_t FindAs(const void* key, uint64_t hash, bool& added) {
    const std::size_t size = Bytes == 0 ? keyBytes_ : Bytes;
    const auto tag = static_cast<uint32_t>(hash >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.vertex == 0) {
        if (count_ >= static_cast<std::size_t>(kMaxElementCount)) {
          throw std::length_error("more distinct vertices than an object can hold");
        }
        if (count_ == keyRoom_) RoomForKeys(std::max<std::size_t>(2 * keyRoom_, 1024));
        std::memcpy(&keys_[count_ * size], key, size);
        slot = {static_cast<uint32_t>(++count_), tag};
        added = true;
        return static_cast<int32_t>(count_ - 1);
      }
      if (slot.tag == tag &&
          (Bytes == 0 ? Same(&keys_[(slot.vertex - 1) * size], key)
                      : std::memcmp(&keys_[(slot.vertex - 1) * size], key, size) == 0)) {
        added = false;
        return static_cast<int32_t>(slot.vertex - 1);
      }
    }
  }

  uint64_t Hash(const void* key) const { return HashAs<0>(key); }

  bool Same(const unsigned char* a, const void* b) const {
    return exact::SameBytes(a, b, keyBytes_);
  }

  // Room for `keys` keys, those held moved over; the room past them is left
  // as the system gives it, untouched until a key is written there.
  void RoomForKeys(std::size_t keys) {
    if (keys > std::numeric_limits<std::size_t>::max() / keyBytes_) throw std::bad_alloc();
    std::unique_ptr<unsigned char[]> room(new unsigned char[keys * keyBytes_]);
    if (count_ > 0) std::memcpy(room.get(), keys_.get(), count_ * keyBytes_);
    keys_ = std::move(room);
    keyRoom_ = keys;
  }

  void Grow() { Rehash(slots_.empty() ? 1024 : 2 * slots_.size()); }

  // A table of `size` slots (a power of two, larger than the one held) with
  // every vertex held.
  void Rehash(std::size_t size) {
    std::vector<Slot> slots(size);
    const std::size_t mask = slots.size() - 1;
    for (const Slot& slot : slots_) {
      if (slot.vertex == 0) continue;
      std::size_t i = static_cast<std::size_t>(Hash(&keys_[(slot.vertex - 1) * keyBytes_])) & mask;
      while (slots[i].vertex != 0) i = (i + 1) & mask;
      slots[i] = slot;
    }
    slots_.swap(slots);
  }

  // Open addressing: vertex 0 is an empty slot, else the vertex's number + 1,
  // with the high half of its key's hash, so that a probe rarely reads a key.
  struct Slot {
    uint32_t vertex = 0;
    uint32_t tag = 0;
  };

  std::size_t keyBytes_;
  // Vertex v's key at v * keyBytes_, for v below count_, in room for keyRoom_.
  std::unique_ptr<unsigned char[]> keys_;
  std::size_t keyRoom_ = 0;
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

}  // namespace vhost::models
