// Walking an object's live vertices and faces through the host's object functions.
//
// Nothing is cached: every step asks the host, and the end of a walk is the
// element count asked anew at each comparison, so a walk follows the object as
// the host reports it at that moment.
#pragma once

#include <cstdint>
#include <memory>

#include "protocol/mq_types.h"

namespace cmq {

// A face of the object being counted. Each dereference of a face position makes
// a new one under shared ownership; it lives as long as its last owner.
class CMQFace {
 public:
  CMQFace(const MQObject& object, int32_t index) noexcept : index_(index), object_(&object) {}
  CMQFace(const CMQFace&) = delete;
  CMQFace& operator=(const CMQFace&) = delete;
  // Forgets its face before it is freed, so a stale copy of the pointer cannot
  // reach the host's object.
  ~CMQFace() {
    index_ = -1;
    object_ = nullptr;
  }

  // Points of the face; 0 or less for a deleted one.
  int32_t GetPointCount() const noexcept;
  int32_t GetIndex() const noexcept { return index_; }

 private:
  int32_t index_;
  const MQObject* object_;  // the counter's handle variable; not owned
};

// The rule both positions follow: begin at the first live element, step to the
// next live one, end at the element count the host reports now.
template <class Traits>
class CMQElementIterator {
 public:
  // The first live element, or the element count (0 when it is not positive).
  static CMQElementIterator Begin(const MQObject& object) noexcept {
    CMQElementIterator it(object, 0);
    if (Traits::Count(object) > 0 && !Traits::IsLive(object, 0)) it.Advance();
    return it;
  }

  // Compared against the element count asked of the host now.
  bool AtEnd() const noexcept { return index_ < 0 || index_ >= Traits::Count(*object_); }

  CMQElementIterator& operator++() noexcept {
    Advance();
    return *this;
  }

  int32_t Index() const noexcept { return index_; }
  const MQObject& Object() const noexcept { return *object_; }

 private:
  CMQElementIterator(const MQObject& object, int32_t index) noexcept
      : index_(index), object_(&object) {}

  void Advance() noexcept {
    do {
      if (index_ == INT32_MAX) {  // one step further would be negative
        index_ = -1;
        return;
      }
      ++index_;
    } while (index_ < Traits::Count(*object_) && !Traits::IsLive(*object_, index_));
  }

  int32_t index_;
  const MQObject* object_;  // the counter's handle variable; not owned
};

struct VertexTraits {
  static int32_t Count(MQObject object) noexcept;
  static bool IsLive(MQObject object, int32_t index) noexcept;  // referenced by a face
};

struct FaceTraits {
  static int32_t Count(MQObject object) noexcept;
  static bool IsLive(MQObject object, int32_t index) noexcept;  // one point or more
};

using CMQVertexIterator = CMQElementIterator<VertexTraits>;

class CMQFaceIterator : public CMQElementIterator<FaceTraits> {
 public:
  CMQFaceIterator(const CMQElementIterator<FaceTraits>& position) noexcept  // NOLINT
      : CMQElementIterator<FaceTraits>(position) {}
  static CMQFaceIterator Begin(const MQObject& object) noexcept {
    return CMQElementIterator<FaceTraits>::Begin(object);
  }
  // A new face handle for the current position. May throw std::bad_alloc.
  std::shared_ptr<CMQFace> operator*() const;
};

// Face handles come from a short free list of recycled blocks; this gives them
// back to the heap. Counting does at the end of every object, so that between
// counts the plug-in keeps no memory it does not need; a walk by hand may too.
void ReleaseFaceBlocks() noexcept;

// Adds without wrapping: a sum past the 32-bit range stays at its limit.
inline void SaturatingAdd(int32_t& counter, int64_t amount) noexcept {
  const int64_t sum = static_cast<int64_t>(counter) + amount;
  counter = sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(sum);
}

}  // namespace cmq
