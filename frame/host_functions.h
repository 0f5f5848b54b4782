// The host function table: every host function the plug-in knows, bound by name
// in MQInit, and the only path from the plug-in to the host.
//
// Threading: written only by MQInit; read afterwards from the host's thread.
#pragma once

#include <cstdint>
#include <type_traits>

#include "protocol/host_functions.h"
#include "protocol/mq_types.h"

namespace mq {

// Name of entry `index` in binding order; null outside 0..174.
const char* HostFunctionName(int index) noexcept;

// Current address of a table entry; null until bound.
void* HostFunctionAddress(HostFn fn) noexcept;

namespace detail {
// The table itself, in binding order. Only MQInit writes it.
extern void* g_hostFunctions[kHostFunctionCount];
}  // namespace detail

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
