#include "counter/counting.h"

#include <cstddef>
#include <new>

#include "counter/veltrane.h"
#include "frame/host_functions.h"

namespace {

// Every dereference of a face position makes a shared face handle, and counting
// releases it before the next one is made. Instead of a heap allocation per face,
// the blocks (control block and face together) are recycled through a short free
// list. The host calls the plug-in from one thread only, so the list takes no lock.
class FaceBlockPool {
 public:
  FaceBlockPool() = default;
  FaceBlockPool(const FaceBlockPool&) = delete;
  FaceBlockPool& operator=(const FaceBlockPool&) = delete;
  ~FaceBlockPool() { Trim(); }

  // Gives every block on the free list back to the heap.
  void Trim() noexcept {
    while (free_ != nullptr) {
      Block* next = free_->next;
      ::operator delete(free_);
      free_ = next;
    }
    freeCount_ = 0;
  }

  void* Allocate(std::size_t bytes) {
    if (bytes == blockSize_ && free_ != nullptr) {
      Block* block = free_;
      free_ = block->next;
      --freeCount_;
      return block;
    }
    if (blockSize_ == 0 && bytes >= sizeof(Block)) blockSize_ = bytes;  // the first size is the one
    return ::operator new(bytes);
  }

  void Deallocate(void* p, std::size_t bytes) noexcept {
    if (bytes == blockSize_ && freeCount_ < kMaxFree) {
      free_ = new (p) Block{free_};
      ++freeCount_;
      return;
    }
    ::operator delete(p);
  }

 private:
  struct Block {
    Block* next;
  };
  static constexpr int kMaxFree = 16;  // a handle kept longer than a step is rare
  Block* free_ = nullptr;
  int freeCount_ = 0;
  std::size_t blockSize_ = 0;
};

FaceBlockPool g_faceBlocks;  // lives as long as the library is mapped

template <class T>
struct FaceBlockAllocator {
  using value_type = T;
  FaceBlockAllocator() = default;
  template <class U>
  FaceBlockAllocator(const FaceBlockAllocator<U>& /*other*/) noexcept {}  // NOLINT
  T* allocate(std::size_t n) { return static_cast<T*>(g_faceBlocks.Allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { g_faceBlocks.Deallocate(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const FaceBlockAllocator<U>& /*other*/) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const FaceBlockAllocator<U>& /*other*/) const noexcept {
    return false;
  }
};

}  // namespace

namespace cmq {

using mq::CallHost;
using mq::HostFn;

int32_t CMQFace::GetPointCount() const noexcept {
  return CallHost<HostFn::MQObj_GetFacePointCount>(*object_, index_);
}

int32_t VertexTraits::Count(MQObject object) noexcept {
  return CallHost<HostFn::MQObj_GetVertexCount>(object);
}
bool VertexTraits::IsLive(MQObject object, int32_t index) noexcept {
  return CallHost<HostFn::MQObj_GetVertexRefCount>(object, index) > 0;
}
int32_t FaceTraits::Count(MQObject object) noexcept {
  return CallHost<HostFn::MQObj_GetFaceCount>(object);
}
bool FaceTraits::IsLive(MQObject object, int32_t index) noexcept {
  return CallHost<HostFn::MQObj_GetFacePointCount>(object, index) > 0;
}

std::shared_ptr<CMQFace> CMQFaceIterator::operator*() const {
  return std::allocate_shared<CMQFace>(FaceBlockAllocator<CMQFace>(), Object(), Index());
}

void ReleaseFaceBlocks() noexcept { g_faceBlocks.Trim(); }

}  // namespace cmq

namespace {

// Everything MQObj_Freeze can apply.
constexpr uint32_t kFreezeAll = 0x7FFFFFFF;

bool HasModifier(MQObject object) {
  using mq::CallHost;
  using mq::HostFn;
  return CallHost<HostFn::MQObj_GetMirrorType>(object) != 0 ||
         CallHost<HostFn::MQObj_GetPatchType>(object) != 0 ||
         CallHost<HostFn::MQObj_GetLatheType>(object) != 0;
}

// Deletes the frozen copy when the count is over, also when it ends by an exception.
class TemporaryCopy {
 public:
  explicit TemporaryCopy(MQObject copy) noexcept : copy_(copy) {}
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;
  ~TemporaryCopy() {
    if (copy_ != nullptr) mq::CallHost<mq::HostFn::MQObj_Delete>(copy_);
  }

 private:
  MQObject copy_;
};

}  // namespace

void Veltrane::CountObject(int32_t& vertices, int32_t& total, int32_t& lines, int32_t& triangles,
                           int32_t& quads, int32_t& ngons, MQObject object) {
  // With `freeze`, a modified object is counted as the geometry its modifiers
  // generate: a frozen copy that lives only for this count. A host that cannot
  // make the copy gets its object counted as it is.
  MQObject counted = object;
  MQObject copy = nullptr;
  if (freeze && HasModifier(object)) {
    copy = mq::CallHost<mq::HostFn::MQObj_Clone>(object);
    if (copy != nullptr) {
      mq::CallHost<mq::HostFn::MQObj_Freeze>(copy, kFreezeAll);
      counted = copy;
    }
  }
  const TemporaryCopy cleanup(copy);

  for (auto it = cmq::CMQVertexIterator::Begin(counted); !it.AtEnd(); ++it) {
    cmq::SaturatingAdd(vertices, 1);
  }
  for (auto it = cmq::CMQFaceIterator::Begin(counted); !it.AtEnd(); ++it) {
    const int32_t points = (*it)->GetPointCount();
    if (points < 2) continue;  // a single point is in no row
    switch (points) {
      case 2:
        cmq::SaturatingAdd(lines, 1);
        break;
      case 3:
        cmq::SaturatingAdd(triangles, 1);
        break;
      case 4:
        cmq::SaturatingAdd(quads, 1);
        break;
      default:
        cmq::SaturatingAdd(ngons, 1);
        break;
    }
    // The fan split of an n-gon has n - 2 triangles; a line counts once either way.
    cmq::SaturatingAdd(total, triangle && points > 2 ? points - 2 : 1);
  }
  cmq::ReleaseFaceBlocks();  // the blocks serve one object's walk
}
