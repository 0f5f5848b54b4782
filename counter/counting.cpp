#include "counter/counting.h"

#include "counter/veltrane.h"
#include "frame/host_functions.h"

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
  return std::make_shared<CMQFace>(Object(), Index());
}

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
}
