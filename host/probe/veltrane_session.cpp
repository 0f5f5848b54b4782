#include "host/probe/veltrane_session.h"

#include <stdexcept>

#include "host/api/host_state.h"
#include "host/toolkit/window_picture.h"

namespace vhost {

int32_t VeltraneSession::Window() const {
  const WidgetTree& tree = State().widgets;
  const Widget* main = tree.Find(tree.MainWindow());
  if (main == nullptr) return 0;
  for (int32_t child : main->childWindows) {
    if (tree.IsAlive(child) && tree.Text(child, "title") == veltrane::kWindowTitle) return child;
  }
  return 0;
}

int32_t VeltraneSession::CheckBox(const std::string& caption) const {
  const int32_t window = Window();
  return window != 0 ? FindByCaption(State().widgets, window, "checkbox", caption) : 0;
}

int32_t VeltraneSession::GroupBox(const std::string& caption) const {
  const int32_t window = Window();
  return window != 0 ? FindByCaption(State().widgets, window, "groupbox", caption) : 0;
}

int32_t VeltraneSession::Require(int32_t id, const std::string& what) const {
  if (id == 0) throw std::runtime_error("the plug-in's window has no " + what);
  return id;
}

void VeltraneSession::Click(const std::string& check_box, Document* doc) {
  State().widgets.ClickCheckBox(Require(CheckBox(check_box), "check box \"" + check_box + "\""),
                                doc);
}

void VeltraneSession::SetTicked(const std::string& check_box, bool ticked, Document* doc) {
  const int32_t id = Require(CheckBox(check_box), "check box \"" + check_box + "\"");
  if (State().widgets.Bool(id, "checked") != ticked) State().widgets.ClickCheckBox(id, doc);
}

void VeltraneSession::SetAllMinimized(bool minimized, Document* doc) {
  const int32_t id = Require(GroupBox(veltrane::kAllGroup), "group \"all\"");
  if (State().widgets.Bool(id, "minimized") != minimized) State().widgets.ToggleMinimized(id, doc);
}

void VeltraneSession::CloseWindow(Document* doc) {
  State().widgets.CloseWindow(Require(Window(), "window"), doc);
}

std::string VeltraneSession::Picture() const {
  const int32_t window = Window();
  return window != 0 ? WindowPicture(State().widgets, window) : "(no window)\n";
}

std::string VeltraneSession::Field(const std::string& group, const std::string& row) const {
  const int32_t field = FieldWidget(group, row);
  return field != 0 ? State().widgets.Text(field, "text") : std::string();
}

int32_t VeltraneSession::FieldWidget(const std::string& group, const std::string& row) const {
  // Rows are a label followed by its field, in frames of the group.
  const WidgetTree& tree = State().widgets;
  const Widget* box = tree.Find(GroupBox(group));
  if (box == nullptr) return 0;
  for (int32_t frame : box->children) {
    const Widget* f = tree.Find(frame);
    if (f == nullptr) continue;
    for (std::size_t i = 0; i + 1 < f->children.size(); ++i) {
      const Widget* label = tree.Find(f->children[i]);
      if (label != nullptr && label->kind == "label" && tree.Text(label->id, "text") == row) {
        return f->children[i + 1];
      }
    }
  }
  return 0;
}

void VeltraneSession::StoreSetting(const std::string& key, const std::string& text) {
  State().settings.StoreSetting(veltrane::kSectionName, key, text);
}

std::string VeltraneSession::StoredSetting(const std::string& key) const {
  SettingsTree& settings = State().settings;
  const void* section = settings.FindSection(veltrane::kSectionName);
  if (section == nullptr) return "";
  for (const SettingsEntry& entry : settings.ListChildren(section)) {
    if (entry.name == key) return entry.text.value_or("");
  }
  return "";
}

}  // namespace vhost
