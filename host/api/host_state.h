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
#include "host/core/faults.h"
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
  // Every fault the host is told to commit, and every misbehaviour of the
  // plug-in it noticed: one of each for the whole host, its parts wired to them.
  FaultSwitchboard faults;
  FaultLog faultLog;

  // Everything the plug-in sent with MQ_SendMessage, oldest first.
  std::vector<SentMessage> messages;
  Documents documents{FaultWiring(faults, faultLog)};
  WidgetTree widgets{FaultWiring(faults, faultLog)};
  SettingsTree settings{FaultWiring(faults, faultLog)};

  HostState() = default;
  HostState(const HostState&) = delete;
  HostState& operator=(const HostState&) = delete;

  // What a plug-in left behind, one sentence each: widgets of its still alive,
  // frozen copies it did not delete, misbehaviour in the fault log. Empty when
  // it behaved (or never ran).
  std::vector<std::string> Leftovers() const;

  // Back to a freshly started host, holding no memory beyond what a fresh one
  // holds: no documents, widgets but the main window, records, faults or log.
  // What Leftovers() would have said is kept (the first few sentences and a
  // count) until TakeDiscarded, so that a reset in a test's own tear-down does
  // not hide what the plug-in left behind from the checks run after it.
  void Reset();
  // The leftovers Reset discarded since the last call, and forgets them.
  std::vector<std::string> TakeDiscarded();

 private:
  std::vector<std::string> discarded_;
  int64_t discardedBeyond_ = 0;  // sentences not kept
};

// The process's one host.
VHOST_API HostState& State();

// File name of the module that exports the 175 host functions: the host module
// on POSIX systems, the host executable itself on Windows. This is what a host
// passes to MQInit.
VHOST_API std::string ModulePath();

}  // namespace vhost
