// The widget tree's operations: MQWidget_Value and what the host holds.
#include "host/toolkit/widget_tree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "host/core/release.h"
#include "host/toolkit/widget_layout.h"
#include "host/toolkit/widget_values.h"
#include "protocol/named_args.h"

namespace vhost {

namespace {

// The plug-in's list: name, value, …, null. The host trusts its shape.
using mq::FindNamedArg;

using detail::Applies;
using detail::ArgType;
using detail::Decode;
using detail::Defaults;
using detail::FindProperty;
using detail::IsContainerKind;
using detail::IsCreatableKind;
using detail::IsWindowKind;
using detail::PropertyInfo;
using detail::ReadBool;
using detail::ReadInt;
using detail::ReadWide;
using detail::SizeText;
using detail::ValueText;
using detail::ValueType;
using detail::WriteBool;
using detail::WriteInt;

}  // namespace

WidgetTree::WidgetTree(FaultWiring wiring) : wiring_(std::move(wiring)) { Reset(); }

void WidgetTree::Reset() {
  options = Options{};
  widgets_.clear();
  Release(trace_);
  wiring_.ResetOwn();
  nextId_ = 1;
  mainWindow_ = nextId_++;
  Widget main;
  main.id = mainWindow_;
  main.kind = "mainwindow";
  main.properties = Defaults(main.kind);
  widgets_.emplace(main.id, std::move(main));
}

int32_t WidgetTree::Value(int32_t widget_id, int32_t operation, void** args) {
  WidgetCall call;
  call.widget = widget_id;
  call.operation = static_cast<WidgetOpCode>(operation);
  mq::ForEachNamedArg(args, [&call](const char* name, const void* value) {
    call.args.push_back({name, Decode(ArgType(name), value)});
  });

  Pending pending;
  int32_t created = 0;
  switch (call.operation) {
    case WidgetOpCode::GetSystem: {
      const auto* system = static_cast<const char*>(FindNamedArg(args, "system"));
      void* result = FindNamedArg(args, "result");
      if (system != nullptr && std::strcmp(system, "main_window") == 0) {
        call.accepted = true;
        if (!faults().silentReads && result != nullptr) {
          WriteInt(result, mainWindow_);
          call.answer = std::to_string(mainWindow_);
        }
      }
      break;
    }
    case WidgetOpCode::Create:
      created = Create(args, call);
      break;
    case WidgetOpCode::Delete:
      Remove(widget_id, call);
      break;
    case WidgetOpCode::AddChild:
      Link(widget_id, args, false, call);
      break;
    case WidgetOpCode::AddChildWindow:
      Link(widget_id, args, true, call);
      break;
    case WidgetOpCode::GetValue:
      GetValue(widget_id, args, call);
      break;
    case WidgetOpCode::SetValue:
      SetValue(widget_id, args, call, pending);
      break;
    case WidgetOpCode::AddEvent:
      AddEvent(widget_id, args, call);
      break;
  }

  const bool accepted = call.accepted;
  // A call the host did not act on is the plug-in's misbehaviour, unless the
  // host brought it about: a Create it was told to refuse, or a call that names
  // an ID the host never hands out (0 and below). Such an ID comes from the host
  // itself: 0 answers a Create that made nothing, and a read the host did not
  // answer leaves the plug-in's preset. A plug-in may go on with it; the host
  // ignores those calls.
  const std::string* child = call.Arg("child");
  const bool hostsDoing =
      (call.operation == WidgetOpCode::Create && faults().createYieldsZero) || widget_id <= 0 ||
      (child != nullptr && !child->empty() && (child->front() == '-' || *child == "0"));
  if (!accepted && !hostsDoing) faultLog().Record("MQWidget_Value", call.ToString());
  if (options.keepTrace) trace_.push_back(std::move(call));

  // Work that calls out of the tree comes last, when the call is complete.
  if (!pending.type.empty()) Raise(pending.target, pending.target, pending.type, options.document);
  if (created != 0 && options.afterCreate && IsAlive(created)) {
    const std::string kind = widgets_.at(created).kind;
    const auto hook = options.afterCreate;  // the hook may replace itself
    hook(created, kind);
  }
  return accepted ? 1 : 0;
}

Widget* WidgetTree::Lookup(int32_t id) {
  auto it = widgets_.find(id);
  return it != widgets_.end() ? &it->second : nullptr;
}

const Widget* WidgetTree::Find(int32_t id) const {
  auto it = widgets_.find(id);
  return it != widgets_.end() ? &it->second : nullptr;
}

int32_t WidgetTree::Create(void** args, WidgetCall& call) {
  const auto* kind = static_cast<const char*>(FindNamedArg(args, "type"));
  void* slot = FindNamedArg(args, "id");
  int32_t id = 0;
  if (!faults().createYieldsZero && kind != nullptr && IsCreatableKind(kind)) {
    id = nextId_++;
    Widget widget;
    widget.id = id;
    widget.kind = kind;
    widget.properties = Defaults(widget.kind);
    widgets_.emplace(id, std::move(widget));
    call.accepted = true;
  }
  // The ID is Create's answer proper, written even by a host that answers no read.
  if (slot != nullptr) WriteInt(slot, id);
  call.answer = std::to_string(id);
  return id;
}

void WidgetTree::Remove(int32_t id, WidgetCall& call) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || id == mainWindow_) return;  // the host's own window stays
  if (Widget* parent = Lookup(widget->parent)) {
    auto drop = [id](std::vector<int32_t>& list) {
      list.erase(std::remove(list.begin(), list.end(), id), list.end());
    };
    drop(parent->children);
    drop(parent->childWindows);
  }
  // Children of a deleted container stay alive, unlinked: a plug-in that does not
  // delete them shows up as a leak instead of being tidied away by the host.
  for (int32_t child : widget->children) {
    if (Widget* c = Lookup(child)) c->parent = 0;
  }
  for (int32_t child : widget->childWindows) {
    if (Widget* c = Lookup(child)) c->parent = 0;
  }
  widgets_.erase(id);
  call.accepted = true;
}

void WidgetTree::Link(int32_t container, void** args, bool window, WidgetCall& call) {
  const void* childSlot = FindNamedArg(args, "child");
  void* result = FindNamedArg(args, "result");
  if (childSlot == nullptr) return;
  const int32_t childId = ReadInt(childSlot);
  Widget* parent = Lookup(container);
  Widget* child = Lookup(childId);
  if (parent == nullptr || child == nullptr || parent == child) return;
  if (window) {
    if (!IsWindowKind(parent->kind) || child->kind != "window") return;
  } else {
    if (!IsContainerKind(parent->kind) || IsWindowKind(child->kind)) return;
    for (int32_t up = parent->parent; up != 0;) {  // no cycles
      if (up == childId) return;
      const Widget* ancestor = Find(up);
      up = ancestor != nullptr ? ancestor->parent : 0;
    }
  }
  if (Widget* old = Lookup(child->parent)) {  // moving a widget takes it from its old place
    auto drop = [childId](std::vector<int32_t>& list) {
      list.erase(std::remove(list.begin(), list.end(), childId), list.end());
    };
    drop(old->children);
    drop(old->childWindows);
  }
  std::vector<int32_t>& list = window ? parent->childWindows : parent->children;
  list.push_back(childId);
  child->parent = container;
  call.accepted = true;
  const auto index = static_cast<int32_t>(list.size() - 1);
  if (!faults().silentReads && result != nullptr) {
    WriteInt(result, index);
    call.answer = std::to_string(index);
  }
}

void WidgetTree::GetValue(int32_t id, void** args, WidgetCall& call) {
  Widget* widget = Lookup(id);
  if (widget == nullptr) return;
  mq::ForEachNamedArg(args, [&](const char* name, void* slot) {
    const std::string key = name;
    const PropertyInfo* info = FindProperty(key);
    if (info == nullptr || slot == nullptr || !Applies(*info, widget->kind)) return;
    call.accepted = true;
    if (faults().silentReads) return;
    std::string answer;
    if (info->type == ValueType::Size) {
      SizeRecord size{};
      std::memcpy(&size, slot, sizeof size);
      const SizeRecord natural = NaturalSize(*widget);
      size.width = natural.width;  // the two further fields stay the caller's
      size.height = natural.height;
      std::memcpy(slot, &size, sizeof size);
      answer = SizeText(size);
    } else {
      auto it = widget->properties.find(key);
      if (it == widget->properties.end()) return;
      if (const bool* b = std::get_if<bool>(&it->second)) {
        WriteBool(slot, *b);
      } else if (const int32_t* i = std::get_if<int32_t>(&it->second)) {
        WriteInt(slot, *i);
      } else {
        return;  // text is written, never read back, in this protocol
      }
      answer = ValueText(it->second);
    }
    if (!call.answer.empty()) call.answer += ", ";
    call.answer.append(key).append("=").append(answer);
  });
}

void WidgetTree::SetValue(int32_t id, void** args, WidgetCall& call, Pending& pending) {
  Widget* widget = Lookup(id);
  if (widget == nullptr) return;
  mq::ForEachNamedArg(args, [&](const char* name, const void* value) {
    const std::string key = name;
    const PropertyInfo* info = FindProperty(key);
    if (info == nullptr || !info->writable || value == nullptr || !Applies(*info, widget->kind))
      return;
    WidgetValue stored;
    switch (info->type) {
      case ValueType::Text:
        stored = std::string(static_cast<const char*>(value));
        break;
      case ValueType::WideText:
        stored = ReadWide(value);  // copied: the plug-in frees its string after the call
        break;
      case ValueType::Bool:
        stored = ReadBool(value);
        break;
      case ValueType::Int:
        stored = ReadInt(value);
        break;
      case ValueType::Size:
      case ValueType::Pointer:
        return;
    }
    WidgetValue& slot = widget->properties[key];
    const WidgetValue old = slot;
    slot = stored;
    call.accepted = true;
    if (!options.raiseOnStateChange) return;
    if (key == "visible" && widget->kind == "window" && old == WidgetValue(true) &&
        stored == WidgetValue(false)) {
      pending = {id, "hide"};
    } else if (key == "minimized" && widget->kind == "groupbox" && old != stored) {
      pending = {id, "resize"};
    }
  });
}

void WidgetTree::AddEvent(int32_t id, void** args, WidgetCall& call) {
  Widget* widget = Lookup(id);
  const auto* type = static_cast<const char*>(FindNamedArg(args, "type"));
  void* proc = FindNamedArg(args, "proc");
  const void* prior = FindNamedArg(args, "prior");
  if (widget == nullptr || type == nullptr || proc == nullptr) return;
  WidgetEventRegistration registration;
  registration.type = type;
  registration.proc = reinterpret_cast<WidgetEventProcFn>(proc);
  registration.pointer = FindNamedArg(args, "pointer");
  registration.prior = prior != nullptr && ReadBool(prior);
  widget->events.push_back(std::move(registration));
  call.accepted = true;
}

std::vector<int32_t> WidgetTree::AliveIds() const {
  std::vector<int32_t> ids;
  for (const auto& entry : widgets_) ids.push_back(entry.first);
  return ids;
}

bool WidgetTree::Bool(int32_t id, const std::string& key) const {
  const Widget* widget = Find(id);
  if (widget == nullptr) return false;
  auto it = widget->properties.find(key);
  const bool* value = it != widget->properties.end() ? std::get_if<bool>(&it->second) : nullptr;
  return value != nullptr && *value;
}

int32_t WidgetTree::Int(int32_t id, const std::string& key) const {
  const Widget* widget = Find(id);
  if (widget == nullptr) return 0;
  auto it = widget->properties.find(key);
  const int32_t* value =
      it != widget->properties.end() ? std::get_if<int32_t>(&it->second) : nullptr;
  return value != nullptr ? *value : 0;
}

std::u16string WidgetTree::WideText(int32_t id, const std::string& key) const {
  const Widget* widget = Find(id);
  if (widget == nullptr) return {};
  auto it = widget->properties.find(key);
  const std::u16string* value =
      it != widget->properties.end() ? std::get_if<std::u16string>(&it->second) : nullptr;
  return value != nullptr ? *value : std::u16string();
}

std::string WidgetTree::Text(int32_t id, const std::string& key) const {
  const Widget* widget = Find(id);
  if (widget == nullptr) return {};
  auto it = widget->properties.find(key);
  if (it == widget->properties.end()) return {};
  if (const std::string* text = std::get_if<std::string>(&it->second)) return *text;
  if (const std::u16string* wide = std::get_if<std::u16string>(&it->second)) return Utf8(*wide);
  return {};
}

void WidgetTree::Put(int32_t id, const std::string& key, WidgetValue value) {
  if (Widget* widget = Lookup(id)) widget->properties[key] = std::move(value);
}

}  // namespace vhost
