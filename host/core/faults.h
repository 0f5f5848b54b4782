// The stand-in host's one fault switchboard and one fault log.
//
// The switchboard holds every fault a test or a harness can tell the host to
// commit, so that the plug-in's handling of a host that misbehaves can be
// driven from one place. The log holds every misbehaviour of the plug-in the
// host noticed (a call on a widget or element that is not alive, a delete of an
// object it did not clone, ...), so that a test, the validator or a fuzz harness
// asks one place whether the plug-in behaved.
//
// The host's state owns one of each and hands them to its parts (documents,
// widget tree, settings tree) through a FaultWiring; a part made on its own (in
// a test) has a switchboard and log of its own. Threading: the host's one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/export.h"

namespace vhost {

// What a freeze may be made to meet: faults that cannot be reached
// deterministically otherwise, and a lower element limit than the real one.
struct FreezeFaults {
  // The patch step throws std::bad_alloc on entry, after the lathe and mirror
  // steps have already run on the working geometry.
  bool failPatchAllocation = false;
  // Results with more vertices, faces or face points are refused. Values above
  // the document model's own limit (INT32_MAX) count as that limit.
  int64_t elementLimit = INT32_MAX;
};

// Every fault the host can be told to commit; all off in a freshly started host.
struct FaultSwitchboard {
  // --- Widget tree ---
  // GetSystem, GetValue, AddChild and AddChildWindow write nothing back, so the
  // plug-in reads its presets. The calls still take effect.
  bool silentReads = false;
  // Every Create answers ID 0 and creates nothing.
  bool createYieldsZero = false;

  // --- Settings tree ---
  bool noSettingsElement = false;  // message 505 leaves "pluginsettings" null
  bool refuseAddChild = false;     // XmlAddChild answers no element

  // --- Documents ---
  // MQObj_Clone answers null (a host out of memory).
  bool failClones = false;
  // Applied to every freeze the plug-in asks for (MQObj_Freeze).
  FreezeFaults freeze;
};

// One misbehaviour: the host function it came through and what was wrong.
struct Misbehaviour {
  std::string call;  // "MQWidget_Value", "MQObj_Delete", ...
  std::string what;  // a short phrase: "SetValue #7 text=... (ignored)"
};

class VHOST_API FaultLog {
 public:
  // Appends a record. Never throws: a record there is no memory for is counted
  // in Dropped() instead, so that the log still says that something happened.
  void Record(std::string_view call, std::string_view what) noexcept;

  const std::vector<Misbehaviour>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty() && dropped_ == 0; }
  int64_t Dropped() const { return dropped_; }
  // Every record, one per line ("call: what"), for failure messages.
  std::string Describe() const;
  void Clear();

 private:
  std::vector<Misbehaviour> entries_;
  int64_t dropped_ = 0;
};

// The switchboard and log a part of the host answers to. Default-made: the
// part's own (kept on the heap, so that the part may move, not be copied).
// Made from a pair: the host's, which must outlive the part.
class VHOST_API FaultWiring {
 public:
  FaultWiring();
  FaultWiring(FaultSwitchboard& faults, FaultLog& log) : faults_(&faults), log_(&log) {}

  FaultSwitchboard& faults() const { return *faults_; }
  FaultLog& log() const { return *log_; }
  // A part's own switchboard and log back to a fresh host's; the host's are
  // the host's to reset, so nothing happens for those.
  void ResetOwn();

 private:
  struct Own {
    FaultSwitchboard faults;
    FaultLog log;
  };
  std::unique_ptr<Own> own_;  // null when wired to the host's
  FaultSwitchboard* faults_ = nullptr;
  FaultLog* log_ = nullptr;
};

}  // namespace vhost
