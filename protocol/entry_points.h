// The 14 entry points the plug-in library exports, declared from their one list,
// and the version numbers the two sides exchange through MQCheckVersion.
#pragma once

#include <cstdint>

#include "protocol/mq_types.h"

#if defined(_WIN32)
#define MQ_EXPORT  // exported by name through the module definition file
#else
#define MQ_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
#define MQ_ENTRY_POINT(name, result, parameters) MQ_EXPORT result MQ_CALL name parameters noexcept;
#include "protocol/entry_points.inc"
#undef MQ_ENTRY_POINT
}

namespace mq {

inline constexpr int kEntryPointCount = 14;

// MQCheckVersion answers kInterfaceVersion to a host whose version is at least
// kMinimumHostVersion, and 0 to an older one.
inline constexpr uint32_t kMinimumHostVersion = 0x4100;
inline constexpr uint32_t kInterfaceVersion = 0x410;

}  // namespace mq
