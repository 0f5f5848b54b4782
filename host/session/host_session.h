// One run of the stand-in host with a plug-in loaded: the way a modelling host
// starts a station plug-in, sends it document events and lets the user work its
// window. Used by the end-to-end tests and by veltrane-host.
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

  // The plug-in's window: the child window of the host's main window whose
  // title is "Veltrane"; 0 when there is none.
  int32_t Window() const;
  // The window's check box with this caption ("Update", "All", …); 0 when none.
  int32_t CheckBox(const std::string& caption) const;
  // The window's group box with this caption ("current", "all"); 0 when none.
  int32_t GroupBox(const std::string& caption) const;

  // Playing the user. Each acts through the host's widget tree, which calls the
  // plug-in's widget callbacks. Throws std::runtime_error when the widget is missing.
  void Click(const std::string& check_box, Document* doc);
  void SetTicked(const std::string& check_box, bool ticked, Document* doc);
  void SetAllMinimized(bool minimized, Document* doc);
  void CloseWindow(Document* doc);

  // The plug-in's window as text (see WindowPicture).
  std::string Picture() const;
  // The text of the number field in row `row` ("V", "F", "2" … "5") of group
  // `group` ("current" or "all").
  std::string Field(const std::string& group, const std::string& row) const;
  // The number field itself; 0 when there is none.
  int32_t FieldWidget(const std::string& group, const std::string& row) const;

  // Writes a key of the plug-in's settings section, as a user editing the
  // host's settings would; the plug-in reads it at its next start.
  void StoreSetting(const std::string& key, const std::string& text);
  // The text stored under a key of the plug-in's section; empty when absent.
  std::string StoredSetting(const std::string& key) const;

  static constexpr const char* kSectionName = "Plugin-5A3C9E41-2D7B6F18";

 private:
  int32_t Require(int32_t id, const std::string& what) const;

  std::unique_ptr<PluginLibrary> plugin_;
};

}  // namespace vhost
