// The stand-in host's own state and its C++ interface for drivers and tests.
//
// The 175 host functions are plain C functions without a context argument, so the
// state they answer from is one per process, reached through State(). Everything
// runs on one thread, as in a real host: the host calls the plug-in, and the
// plug-in calls back into the host during that call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/core/export.h"
#include "host/model/documents.h"
#include "host/model/settings_tree.h"
#include "host/toolkit/widget_tree.h"

namespace vhost {

// The version this host reports to MQCheckVersion.
inline constexpr uint32_t kHostVersion = 0x4A00;

// One MQ_SendMessage call, decoded.
struct SentMessage {
  int32_t code = 0;
  uint32_t product = 0;
  uint32_t id = 0;
  int32_t reserved = 0;
  std::vector<std::string> optionNames;  // names of the named-argument list, in order
};

class VHOST_API HostState {
 public:
  // Everything the plug-in sent with MQ_SendMessage, oldest first.
  std::vector<SentMessage> messages;
  Documents documents;
  WidgetTree widgets;
  SettingsTree settings;

  // Back to a freshly started host.
  void Reset();
};

// The process's one host.
VHOST_API HostState& State();

// File name of the module that exports the 175 host functions: the host module
// on POSIX systems, the host executable itself on Windows. This is what a host
// passes to MQInit.
VHOST_API std::string ModulePath();

}  // namespace vhost
