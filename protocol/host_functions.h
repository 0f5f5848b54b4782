// The 175 host functions as the plug-in binds them: their order, count and the
// signatures of the 17 it calls, all made from protocol/host_functions.inc.
#pragma once

#include <cstdint>

#include "protocol/mq_types.h"

namespace mq {

// Entries in binding order.
enum class HostFn : int {
#define MQ_HOST_CALLED(name, result, parameters) name,
#define MQ_HOST_BOUND(name) name,
#include "protocol/host_functions.inc"
#undef MQ_HOST_CALLED
#undef MQ_HOST_BOUND
  kCount
};

inline constexpr int kHostFunctionCount = static_cast<int>(HostFn::kCount);
static_assert(kHostFunctionCount == 175, "the host exports 175 functions");

// The names, in binding order: what MQInit looks up.
inline constexpr const char* kHostFunctionNames[kHostFunctionCount] = {
#define MQ_HOST_CALLED(name, result, parameters) #name,
#define MQ_HOST_BOUND(name) #name,
#include "protocol/host_functions.inc"
#undef MQ_HOST_CALLED
#undef MQ_HOST_BOUND
};

// The function type of each host function the plug-in calls.
template <HostFn F>
struct HostSignature;

#define MQ_HOST_CALLED(name, result, parameters) \
  template <>                                    \
  struct HostSignature<HostFn::name> {           \
    using Type = result MQ_CALL parameters;      \
  };
#define MQ_HOST_BOUND(name)
#include "protocol/host_functions.inc"
#undef MQ_HOST_CALLED
#undef MQ_HOST_BOUND

}  // namespace mq
