#include "host/session/host_session.h"

#include <stdexcept>

#include "host/toolkit/window_picture.h"

namespace vhost {

HostSession::HostSession(const std::string& plugin_path)
    : plugin_(PluginLibrary::Load(plugin_path)) {
  if (plugin_->CheckVersion(kHostVersion) == 0) {
    throw std::runtime_error(plugin_path + ": the plug-in does not support this host's version");
  }
  const std::string module = ModulePath();
  if (!plugin_->Init(module)) {
    throw std::runtime_error(plugin_path + ": the plug-in could not bind the host functions of " +
                             module);
  }
}

BOOL HostSession::DocumentOpened(Document& doc, const std::string& filename) {
  NamedArgs args;
  args.Text("filename", filename.c_str()).Value("xml_elem", nullptr);
  return plugin_->Event(&doc, 200, args);
}

BOOL HostSession::DocumentEvent(Document& doc, int32_t code) {
  NamedArgs args;
  args.Int("state", 0);
  return plugin_->Event(&doc, code, args);
}

int32_t HostSession::Window() const {
  const WidgetTree& tree = State().widgets;
  const Widget* main = tree.Find(tree.MainWindow());
  if (main == nullptr) return 0;
  for (int32_t child : main->childWindows) {
    if (tree.IsAlive(child) && tree.Text(child, "title") == "Veltrane") return child;
  }
  return 0;
}

int32_t HostSession::CheckBox(const std::string& caption) const {
  const int32_t window = Window();
  return window != 0 ? FindByCaption(State().widgets, window, "checkbox", caption) : 0;
}

int32_t HostSession::GroupBox(const std::string& caption) const {
  const int32_t window = Window();
  return window != 0 ? FindByCaption(State().widgets, window, "groupbox", caption) : 0;
}

int32_t HostSession::Require(int32_t id, const std::string& what) const {
  if (id == 0) throw std::runtime_error("the plug-in's window has no " + what);
  return id;
}

void HostSession::Click(const std::string& check_box, Document* doc) {
  State().widgets.ClickCheckBox(Require(CheckBox(check_box), "check box \"" + check_box + "\""),
                                doc);
}

void HostSession::SetTicked(const std::string& check_box, bool ticked, Document* doc) {
  const int32_t id = Require(CheckBox(check_box), "check box \"" + check_box + "\"");
  if (State().widgets.Bool(id, "checked") != ticked) State().widgets.ClickCheckBox(id, doc);
}

void HostSession::SetAllMinimized(bool minimized, Document* doc) {
  const int32_t id = Require(GroupBox("all"), "group \"all\"");
  if (State().widgets.Bool(id, "minimized") != minimized) State().widgets.ToggleMinimized(id, doc);
}

void HostSession::CloseWindow(Document* doc) {
  State().widgets.CloseWindow(Require(Window(), "window"), doc);
}

std::string HostSession::Picture() const {
  const int32_t window = Window();
  return window != 0 ? WindowPicture(State().widgets, window) : "(no window)\n";
}

std::string HostSession::Field(const std::string& group, const std::string& row) const {
  const int32_t field = FieldWidget(group, row);
  return field != 0 ? State().widgets.Text(field, "text") : std::string();
}

int32_t HostSession::FieldWidget(const std::string& group, const std::string& row) const {
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

void HostSession::StoreSetting(const std::string& key, const std::string& text) {
  State().settings.StoreSetting(kSectionName, key, text);
}

std::string HostSession::StoredSetting(const std::string& key) const {
  SettingsTree& settings = State().settings;
  const void* section = settings.FindSection(kSectionName);
  if (section == nullptr) return "";
  for (const SettingsEntry& entry : settings.ListChildren(section)) {
    if (entry.name == key) return entry.text.value_or("");
  }
  return "";
}

}  // namespace vhost
