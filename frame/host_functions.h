// The host function table: every host function the plug-in knows, bound by name
// in MQInit, and the only path from the plug-in to the host.
//
// Threading: written only by MQInit; read afterwards from the host's thread.
#pragma once

#include <cstdint>
#include <type_traits>

#include "frame/mq_types.h"

namespace mq {

enum class HostFn : int {
#define MQ_HOST_CALLED(name) name,
#define MQ_HOST_BOUND(name) name,
#include "frame/host_function_names.inc"
#undef MQ_HOST_CALLED
#undef MQ_HOST_BOUND
};

inline constexpr int kHostFunctionCount = 175;

// Name of entry `index` in binding order; null outside 0..174.
const char* HostFunctionName(int index) noexcept;

// Current address of a table entry; null until bound.
void* HostFunctionAddress(HostFn fn) noexcept;

namespace detail {
// The table itself, in binding order. Only MQInit writes it.
extern void* g_hostFunctions[kHostFunctionCount];
}  // namespace detail

// Signatures of the 17 host functions the plug-in calls.
template <HostFn F>
struct HostSignature;

#define MQ_HOST_SIGNATURE(name, ...)   \
  template <>                          \
  struct HostSignature<HostFn::name> { \
    using Type = __VA_ARGS__;          \
  };
MQ_HOST_SIGNATURE(MQ_SendMessage, int32_t(int32_t code, PluginMessage* message))
MQ_HOST_SIGNATURE(MQXmlElem_Value, int32_t(void* element, int32_t operation, void* record))
MQ_HOST_SIGNATURE(MQWidget_Value, int32_t(int32_t widget_id, int32_t operation, void** args))
MQ_HOST_SIGNATURE(MQDoc_GetObjectCount, int32_t(MQDocument doc))
MQ_HOST_SIGNATURE(MQDoc_GetObject, MQObject(MQDocument doc, int32_t index))
MQ_HOST_SIGNATURE(MQDoc_GetCurrentObjectIndex, int32_t(MQDocument doc))
MQ_HOST_SIGNATURE(MQObj_GetVertexCount, int32_t(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_GetVertexRefCount, int32_t(MQObject obj, int32_t vertex))
MQ_HOST_SIGNATURE(MQObj_GetFaceCount, int32_t(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_GetFacePointCount, int32_t(MQObject obj, int32_t face))
MQ_HOST_SIGNATURE(MQObj_GetVisible, int32_t(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_GetMirrorType, int32_t(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_GetPatchType, int32_t(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_GetLatheType, int32_t(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_Clone, MQObject(MQObject obj))
MQ_HOST_SIGNATURE(MQObj_Freeze, int32_t(MQObject obj, uint32_t flags))
MQ_HOST_SIGNATURE(MQObj_Delete, void(MQObject obj))
#undef MQ_HOST_SIGNATURE

// Calls host function F through the table. An entry that was never bound (MQInit
// failed or never ran) is skipped and the call answers the neutral result: 0, null
// or nothing. A faulty host setup therefore degrades to "no answer", never a crash.
template <HostFn F, typename... Args>
inline auto CallHost(Args... args) noexcept {
  using Fn = typename HostSignature<F>::Type;
  using Result = decltype(std::declval<Fn*>()(args...));
  auto* fn = reinterpret_cast<Fn*>(detail::g_hostFunctions[static_cast<int>(F)]);
  if constexpr (std::is_void_v<Result>) {
    if (fn != nullptr) fn(args...);
  } else {
    if (fn == nullptr) return Result{};
    return fn(args...);
  }
}

}  // namespace mq
