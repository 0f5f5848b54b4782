// The settings tree: its elements, MQXmlElem_Value on them, the answer to message
// 505 and what tests and drivers inspect. Keeping the tree in its file is
// settings_file.cpp's.
#include "host/model/settings_tree.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "host/core/release.h"
#include "host/model/settings_node.h"
#include "protocol/named_args.h"
#include "protocol/utf.h"

namespace vhost {

namespace {

constexpr const char* kRootName = "settings";
constexpr const char* kPluginSettingsName = "pluginsettings";

// A name the settings file can hold: an XML name, in well-formed UTF-8. Anything
// else would be written out and make the whole file unreadable next time.
bool IsElementName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  bool first = true;
  for (std::string_view rest(name); !rest.empty();) {
    const auto c = static_cast<unsigned char>(rest[0]);
    if (c >= 0x80) {
      const mq::UtfStep step = mq::DecodeUtf8(rest);
      if (!step.valid) return false;
      rest.remove_prefix(step.length);
    } else {
      const bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
      const bool more = (c >= '0' && c <= '9') || c == '-' || c == '.';
      if (!start && (first || !more)) return false;
      rest.remove_prefix(1);
    }
    first = false;
  }
  return true;
}

}  // namespace

SettingsTree::SettingsTree(FaultWiring wiring) : wiring_(std::move(wiring)) { Reset(); }
SettingsTree::~SettingsTree() = default;

void SettingsTree::Reset() {
  auto root = std::make_unique<Node>();
  root->name = kRootName;
  Adopt(std::move(root));
  wiring_.ResetOwn();
  whileSaving = nullptr;
  Release(calls_);
  Release(path_);
  Release(target_);
  Release(saveBlocked_);
  heldElsewhere_ = false;
  saved_ = false;
  lock_.reset();  // another run may take the file from here on
}

void SettingsTree::Adopt(std::unique_ptr<Node> root) {
  root_ = std::move(root);
  Release(retired_);
  Release(live_);
  std::vector<const Node*> pending{root_.get()};
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    live_.insert(node);
    for (const auto& child : node->children) pending.push_back(child.get());
  }
}

void SettingsTree::Forget(Node& node) {
  live_.erase(&node);
  for (const auto& child : node.children) Forget(*child);
}

SettingsTree::Node* SettingsTree::Live(const void* element) const {
  const auto* node = static_cast<const Node*>(element);
  // The node is reached through the set's own non-const pointer: the tree owns it.
  return live_.count(node) != 0 ? const_cast<Node*>(node) : nullptr;
}

bool SettingsTree::IsLive(const void* element) const { return Live(element) != nullptr; }

SettingsTree::Node* SettingsTree::AddChild(Node& parent, const std::string& name) {
  if (parent.depth >= kMaxDepth) return nullptr;
  auto child = std::make_unique<Node>();
  child->name = name;
  child->parent = &parent;
  child->depth = parent.depth + 1;
  Node* added = child.get();
  // A node is in the tree exactly when it is live: either step may run out of
  // memory, and the first is undone when the second does.
  live_.insert(added);
  try {
    parent.children.push_back(std::move(child));
  } catch (...) {
    live_.erase(added);
    throw;
  }
  return added;
}

void SettingsTree::RemoveChild(Node& parent, Node& child) {
  auto& siblings = parent.children;
  const auto found = std::find_if(siblings.begin(), siblings.end(),
                                  [&child](const auto& node) { return node.get() == &child; });
  if (found == siblings.end()) return;
  // The one step that may run out of memory comes before anything changes: a
  // node that stays in the tree must stay live.
  retired_.reserve(retired_.size() + 1);
  Forget(child);
  child.parent = nullptr;
  // Kept until the tree is reset: a new node never reuses a removed one's address,
  // so a handle the plug-in kept past removal stays unknown instead of aliasing.
  retired_.push_back(std::move(*found));
  siblings.erase(found);
}

void SettingsTree::AnswerSettingsRequest(PluginMessage& message) {
  if (message.options == nullptr || faults().noSettingsElement) return;
  mq::ForEachNamedArg(message.options, [this](const char* name, void*& slot) {
    if (std::strcmp(name, kPluginSettingsName) == 0) {
      slot = PluginSettings();
    } else if (std::strcmp(name, "root") == 0) {
      slot = root_.get();
    }
  });
}

int32_t SettingsTree::ElementValue(void* element, int32_t operation, void* record) {
  Node* node = Live(element);
  calls_.push_back(ElementCall{element, operation});
  if (node == nullptr) {
    faultLog().Record(
        "MQXmlElem_Value",
        "operation " + std::to_string(operation) +
            (element == nullptr ? " on a null handle" : " on a handle that is no live element"));
    return 0;
  }
  if (record == nullptr) return 0;

  switch (operation) {
    case kXmlFindChild: {
      auto* find = static_cast<XmlFindChildRecord*>(record);
      find->result = find->name != nullptr ? FindChild(node, find->name) : nullptr;
      return find->result != nullptr ? 1 : 0;
    }
    case kXmlAddChild: {
      auto* add = static_cast<XmlAddChildRecord*>(record);
      if (faults().refuseAddChild || !IsElementName(add->name)) return 0;
      add->result = AddChild(*node, add->name);
      return add->result != nullptr ? 1 : 0;
    }
    case kXmlRemoveChild: {
      auto* remove = static_cast<XmlRemoveChildRecord*>(record);
      Node* child = Live(remove->child);
      if (child == nullptr || child->parent != node) return 0;
      RemoveChild(*node, *child);
      if (remove->result != nullptr) *remove->result = 1;
      return 1;
    }
    case kXmlGetText: {
      auto* get = static_cast<XmlGetTextRecord*>(record);
      get->result = node->text ? node->text->c_str() : nullptr;
      return get->result != nullptr ? 1 : 0;
    }
    case kXmlSetText: {
      const auto* set = static_cast<const XmlSetTextRecord*>(record);
      if (set->text != nullptr) {
        node->text = set->text;
      } else {
        node->text.reset();
      }
      return 1;
    }
    default:
      return 0;
  }
}

void* SettingsTree::PluginSettings() {
  if (void* found = FindChild(root_.get(), kPluginSettingsName)) return found;
  return AddChild(*root_, kPluginSettingsName);
}

void* SettingsTree::StoreSetting(const std::string& section, const std::string& key,
                                 const std::string& text) {
  void* settings = PluginSettings();
  XmlFindChildRecord find{section.c_str(), nullptr};
  ElementValue(settings, kXmlFindChild, &find);
  void* found = find.result;
  if (found == nullptr) {
    XmlAddChildRecord add{section.c_str(), nullptr};
    ElementValue(settings, kXmlAddChild, &add);
    found = add.result;
  }
  if (found == nullptr) return nullptr;
  XmlFindChildRecord old{key.c_str(), nullptr};
  ElementValue(found, kXmlFindChild, &old);
  if (old.result != nullptr) {
    int32_t ignored = 0;
    XmlRemoveChildRecord remove{old.result, &ignored};
    ElementValue(found, kXmlRemoveChild, &remove);
  }
  XmlAddChildRecord add{key.c_str(), nullptr};
  ElementValue(found, kXmlAddChild, &add);
  if (add.result == nullptr) return nullptr;
  XmlSetTextRecord set{text.c_str()};
  ElementValue(add.result, kXmlSetText, &set);
  return add.result;
}

std::size_t SettingsTree::DropRepeatedChildren(void* element, const std::string& name) {
  Node* node = Live(element);
  if (node == nullptr) return 0;
  std::vector<Node*> repeated;
  for (const auto& child : node->children) {
    if (child->name == name) repeated.push_back(child.get());
  }
  if (repeated.size() < 2) return 0;
  for (std::size_t i = 1; i < repeated.size(); ++i) RemoveChild(*node, *repeated[i]);
  return repeated.size() - 1;
}

void* SettingsTree::FindSection(const std::string& name) const {
  const void* settings = FindChild(root_.get(), kPluginSettingsName);
  return settings != nullptr ? FindChild(settings, name) : nullptr;
}

void* SettingsTree::FindChild(const void* element, const std::string& name) const {
  const Node* node = Live(element);
  if (node == nullptr) return nullptr;
  for (const auto& child : node->children) {
    if (child->name == name) return child.get();
  }
  return nullptr;
}

std::vector<SettingsEntry> SettingsTree::ListChildren(const void* element) const {
  std::vector<SettingsEntry> entries;
  if (const Node* node = Live(element)) {
    for (const auto& child : node->children) {
      entries.push_back(SettingsEntry{child->name, child->text, child->children.size()});
    }
  }
  return entries;
}

}  // namespace vhost
