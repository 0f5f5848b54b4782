// One run of the stand-in host with a plug-in loaded: the way a modelling host
// starts a station plug-in and sends it document events. It knows no plug-in in
// particular; host/probe adds what is Veltrane's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/api/host_state.h"
#include "host/loader/plugin_library.h"

namespace vhost {

class HostSession {
 public:
  // Loads the plug-in, checks its version and hands it the host functions.
  // Throws std::runtime_error with a readable reason when any step fails.
  explicit HostSession(const std::string& plugin_path);
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  PluginLibrary& plugin() { return *plugin_; }

  // Host events.
  BOOL Start() { return plugin_->Event(nullptr, 1, nullptr); }  // 1
  BOOL Exit() { return plugin_->Event(nullptr, 2, nullptr); }   // 2
  BOOL Activate(Document* doc, bool on) { return plugin_->FlagEvent(doc, 100, on ? 1 : 0); }
  BOOL IsActivated(Document* doc) { return plugin_->Event(doc, 101, nullptr); }
  BOOL DocumentOpened(Document& doc, const std::string& filename);  // 200
  // A document event without arguments of interest: 201, 210, 211, 220, 221, …
  BOOL DocumentEvent(Document& doc, int32_t code);

 private:
  std::unique_ptr<PluginLibrary> plugin_;
};

}  // namespace vhost
