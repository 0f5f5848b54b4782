// The stand-in host driving the Veltrane plug-in: a HostSession that also finds
// the plug-in's window, plays its user and reads its number fields and stored
// options. Used by the end-to-end tests, the validator, the fuzz harnesses and
// veltrane-host; everything it knows of Veltrane comes from veltrane_facts.h.
#pragma once

#include <cstdint>
#include <string>

#include "host/probe/veltrane_facts.h"
#include "host/session/host_session.h"

namespace vhost {

class VeltraneSession : public HostSession {
 public:
  using HostSession::HostSession;

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

 private:
  int32_t Require(int32_t id, const std::string& what) const;
};

}  // namespace vhost
