#include "host/toolkit/widget_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "host/core/named_args.h"
#include "host/core/release.h"
#include "protocol/named_args.h"
#include "protocol/utf.h"

namespace vhost {

namespace {

// How the host reads the value pointer of a named argument.
enum class ValueType { Text, WideText, Bool, Int, Size, Pointer };

// The property keys the host knows: value type, whether the plug-in may write
// it, and the kinds it exists on ("*": every kind). A key on a kind that lacks
// it is ignored, as a toolkit ignores what a widget does not have.
struct PropertyInfo {
  const char* key;
  ValueType type;
  bool writable;
  const char* kinds;
};

constexpr PropertyInfo kProperties[] = {
    {"title", ValueType::WideText, true, "mainwindow window"},
    {"horzlayout", ValueType::Text, true, "mainwindow window"},
    {"vertlayout", ValueType::Text, true, "mainwindow window"},
    {"pos_x", ValueType::Int, true, "mainwindow window"},
    {"pos_y", ValueType::Int, true, "mainwindow window"},
    {"justsize", ValueType::Size, false, "*"},
    {"height", ValueType::Int, true, "*"},
    {"visible", ValueType::Bool, true, "*"},
    {"alignment", ValueType::Text, true, "frame groupbox edit"},
    {"multicolumn", ValueType::Bool, true, "frame groupbox"},
    {"matrixcolumn", ValueType::Int, true, "frame groupbox"},
    {"text", ValueType::WideText, true, "groupbox checkbox label edit"},
    {"canminimize", ValueType::Bool, true, "groupbox"},
    {"minimized", ValueType::Bool, true, "groupbox"},
    {"checked", ValueType::Bool, true, "checkbox"},
    {"readonly", ValueType::Bool, true, "edit"},
};

const PropertyInfo* FindProperty(const std::string& key) {
  for (const PropertyInfo& info : kProperties) {
    if (key == info.key) return &info;
  }
  return nullptr;
}

bool Applies(const PropertyInfo& info, const std::string& kind) {
  const std::string kinds = std::string(" ") + info.kinds + " ";
  return kinds == " * " || kinds.find(" " + kind + " ") != std::string::npos;
}

bool IsWindowKind(const std::string& kind) { return kind == "window" || kind == "mainwindow"; }
bool IsContainerKind(const std::string& kind) {
  return IsWindowKind(kind) || kind == "frame" || kind == "groupbox";
}
bool IsCreatableKind(const std::string& kind) {
  return kind == "window" || kind == "frame" || kind == "groupbox" || kind == "checkbox" ||
         kind == "label" || kind == "edit";
}

ValueType ArgType(const std::string& name) {
  if (name == "system" || name == "type") return ValueType::Text;
  if (name == "id" || name == "result" || name == "child") return ValueType::Int;
  if (name == "prior") return ValueType::Bool;
  if (const PropertyInfo* info = FindProperty(name)) return info->type;
  return ValueType::Pointer;
}

// The plug-in's list: name, value, …, null. The host trusts its shape.
using mq::FindNamedArg;

int32_t ReadInt(const void* value) {
  int32_t result = 0;
  std::memcpy(&result, value, sizeof result);
  return result;
}
void WriteInt(void* slot, int32_t value) { std::memcpy(slot, &value, sizeof value); }
bool ReadBool(const void* value) {
  unsigned char byte = 0;
  std::memcpy(&byte, value, 1);
  return byte != 0;
}
void WriteBool(void* slot, bool value) {
  const unsigned char byte = value ? 1 : 0;
  std::memcpy(slot, &byte, 1);
}
std::u16string ReadWide(const void* value) { return static_cast<const char16_t*>(value); }

std::string SizeText(const SizeRecord& size) {
  return "{" + std::to_string(size.width) + ", " + std::to_string(size.height) + ", " +
         std::to_string(size.reserved1) + ", " + std::to_string(size.reserved2) + "}";
}

std::string PointerText(const void* value) {
  char buffer[32] = {};
  std::snprintf(buffer, sizeof buffer, "%p", value);
  return buffer;
}

std::string Decode(ValueType type, const void* value) {
  if (value == nullptr) return "null";
  switch (type) {
    case ValueType::Text:
      return static_cast<const char*>(value);
    case ValueType::WideText:
      return Utf8(ReadWide(value));
    case ValueType::Bool:
      return ReadBool(value) ? "true" : "false";
    case ValueType::Int:
      return std::to_string(ReadInt(value));
    case ValueType::Size: {
      SizeRecord size{};
      std::memcpy(&size, value, sizeof size);
      return SizeText(size);
    }
    case ValueType::Pointer:
      break;
  }
  return PointerText(value);
}

std::string ValueText(const WidgetValue& value) {
  if (const bool* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (const int32_t* i = std::get_if<int32_t>(&value)) return std::to_string(*i);
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  return Utf8(std::get<std::u16string>(value));
}

std::map<std::string, WidgetValue> Defaults(const std::string& kind) {
  std::map<std::string, WidgetValue> p;
  p["visible"] = true;
  if (kind == "mainwindow") {
    p["title"] = std::u16string(u"Stand-in host");
    p["pos_x"] = int32_t{0};
    p["pos_y"] = int32_t{0};
  } else if (kind == "window") {
    // New windows start hidden at the host's default place, as toolkits do.
    p["visible"] = false;
    p["title"] = std::u16string();
    p["pos_x"] = int32_t{120};
    p["pos_y"] = int32_t{80};
  } else if (kind == "frame" || kind == "groupbox") {
    p["alignment"] = std::string("vert");
    p["multicolumn"] = false;
    p["matrixcolumn"] = int32_t{0};
    if (kind == "groupbox") {
      p["text"] = std::u16string();
      p["canminimize"] = false;
      p["minimized"] = false;
    }
  } else if (kind == "checkbox") {
    p["text"] = std::u16string();
    p["checked"] = false;
  } else if (kind == "label") {
    p["text"] = std::u16string();
  } else if (kind == "edit") {
    p["text"] = std::u16string();
    p["readonly"] = false;
    p["alignment"] = std::string("left");
  }
  return p;
}

// Layout metrics of the stand-in toolkit. Not pixel-true, only consistent.
constexpr int32_t kCharWidth = 7;
constexpr int32_t kRowHeight = 20;
constexpr int32_t kGap = 4;
constexpr int32_t kTitleBar = 24;
constexpr int32_t kGroupHeader = 18;
constexpr int32_t kBorder = 8;

// Places `parts` in rows of `columns` (0: one row when horizontal, one column
// otherwise) and answers the bounding size.
SizeRecord Arrange(const std::vector<SizeRecord>& parts, bool horizontal, int32_t columns) {
  SizeRecord size{0, 0, -1, -1};
  if (parts.empty()) return size;
  const std::size_t n = parts.size();
  std::size_t cols = columns > 0 ? static_cast<std::size_t>(columns) : (horizontal ? n : 1);
  cols = std::min(cols, n);
  const std::size_t rows = (n + cols - 1) / cols;
  std::vector<int32_t> widths(cols, 0);
  std::vector<int32_t> heights(rows, 0);
  for (std::size_t i = 0; i < n; ++i) {
    widths[i % cols] = std::max(widths[i % cols], parts[i].width);
    heights[i / cols] = std::max(heights[i / cols], parts[i].height);
  }
  for (int32_t w : widths) size.width += w;
  for (int32_t h : heights) size.height += h;
  size.width += kGap * static_cast<int32_t>(cols - 1);
  size.height += kGap * static_cast<int32_t>(rows - 1);
  return size;
}

}  // namespace

std::string WidgetOpName(WidgetOpCode operation) {
  switch (operation) {
    case WidgetOpCode::GetSystem:
      return "GetSystem";
    case WidgetOpCode::Create:
      return "Create";
    case WidgetOpCode::Delete:
      return "Delete";
    case WidgetOpCode::AddChild:
      return "AddChild";
    case WidgetOpCode::AddChildWindow:
      return "AddChildWindow";
    case WidgetOpCode::GetValue:
      return "GetValue";
    case WidgetOpCode::SetValue:
      return "SetValue";
    case WidgetOpCode::AddEvent:
      return "AddEvent";
  }
  char buffer[16] = {};
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(operation));
  return buffer;
}

std::string Utf8(const std::u16string& text) { return mq::Utf16ToUtf8(text); }

const std::string* WidgetCall::Arg(const std::string& name) const {
  for (const WidgetCallArg& arg : args) {
    if (arg.name == name) return &arg.value;
  }
  return nullptr;
}

std::string WidgetCall::ToString() const {
  std::string text = WidgetOpName(operation) + " #" + std::to_string(widget);
  for (const WidgetCallArg& arg : args)
    text.append(" ").append(arg.name).append("=").append(arg.value);
  if (!answer.empty()) text += " -> " + answer;
  if (!accepted) text += " (ignored)";
  return text;
}

// ---------------------------------------------------------------------------

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
    if (!!faults().silentReads) return;
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

// ---------------------------------------------------------------------------

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

SizeRecord WidgetTree::JustSize(int32_t id) const {
  const Widget* widget = Find(id);
  return widget != nullptr ? NaturalSize(*widget) : SizeRecord{0, 0, -1, -1};
}

void WidgetTree::Put(int32_t id, const std::string& key, WidgetValue value) {
  if (Widget* widget = Lookup(id)) widget->properties[key] = std::move(value);
}

std::vector<WidgetCall> WidgetTree::TraceOf(WidgetOpCode operation) const {
  std::vector<WidgetCall> calls;
  std::copy_if(trace_.begin(), trace_.end(), std::back_inserter(calls),
               [operation](const WidgetCall& call) { return call.operation == operation; });
  return calls;
}

SizeRecord WidgetTree::NaturalSize(const Widget& widget) const {
  const auto textWidth = [&](int32_t extra) {
    return static_cast<int32_t>(WideText(widget.id, "text").size()) * kCharWidth + extra;
  };
  if (widget.kind == "checkbox") return {textWidth(16), kRowHeight, -1, -1};
  if (widget.kind == "label") return {textWidth(0), kRowHeight, -1, -1};
  if (widget.kind == "edit") return {std::max<int32_t>(48, textWidth(8)), kRowHeight + 2, -1, -1};

  std::vector<SizeRecord> parts;  // only what is shown takes room
  for (int32_t child : widget.children) {
    const Widget* c = Find(child);
    if (c != nullptr && Bool(child, "visible")) parts.push_back(NaturalSize(*c));
  }
  const bool horizontal = Text(widget.id, "alignment") == "horz";
  const int32_t columns = Bool(widget.id, "multicolumn") ? Int(widget.id, "matrixcolumn") : 0;
  SizeRecord size = Arrange(parts, horizontal, columns);

  if (widget.kind == "groupbox") {
    const int32_t header = textWidth(2 * kBorder + 16);
    if (Bool(widget.id, "minimized")) return {header, kGroupHeader, -1, -1};
    size.width = std::max(header, size.width + 2 * kBorder);
    size.height += kGroupHeader + kBorder;
  } else if (IsWindowKind(widget.kind)) {
    size.width += 2 * kBorder;
    size.height += kTitleBar + 2 * kBorder;
  }
  return size;
}

// ---------------------------------------------------------------------------
// Playing the user

WidgetTree::Results WidgetTree::Raise(int32_t target, int32_t sender, const std::string& type,
                                      MQDocument doc,
                                      const std::vector<std::pair<std::string, int32_t>>& ints,
                                      MQCanvasHandle canvas) {
  Results results;
  const Widget* widget = Find(target);
  if (widget == nullptr) return results;
  // A snapshot: the handlers may create, change or delete widgets meanwhile.
  std::vector<WidgetEventRegistration> receivers;
  for (bool prior : {true, false}) {
    for (const WidgetEventRegistration& r : widget->events) {
      if (r.type == type && r.prior == prior) receivers.push_back(r);
    }
  }
  // A copy: `type` may live in the tree, which the handlers can change.
  const std::string name = type;  // NOLINT(performance-unnecessary-copy-initialization)
  NamedArgs args;
  args.Int("target_id", target).Int("sender_id", sender).Text("type", name.c_str());
  for (const auto& entry : ints) args.Int(entry.first, entry.second);
  if (canvas != nullptr || name == "paint") args.Value("canvas", canvas);
  for (const WidgetEventRegistration& r : receivers) {
    if (!IsAlive(target)) break;  // a handler deleted the widget: no more events for it
    results.push_back(options.callHandler ? options.callHandler(r, doc, args.data())
                                          : r.proc(doc, args.data(), r.pointer));
  }
  return results;
}

WidgetTree::Results WidgetTree::ClickCheckBox(int32_t id, MQDocument doc) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || widget->kind != "checkbox") return {};
  widget->properties["checked"] = !Bool(id, "checked");
  return Raise(id, id, "execute", doc);
}

WidgetTree::Results WidgetTree::ToggleMinimized(int32_t id, MQDocument doc) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || widget->kind != "groupbox" || !Bool(id, "canminimize")) return {};
  widget->properties["minimized"] = !Bool(id, "minimized");
  return Raise(id, id, "resize", doc);
}

WidgetTree::Results WidgetTree::CloseWindow(int32_t id, MQDocument doc) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || widget->kind != "window" || !Bool(id, "visible")) return {};
  widget->properties["visible"] = false;
  return Raise(id, id, "hide", doc);
}

WidgetTree::Results WidgetTree::Resize(int32_t id, MQDocument doc) {
  return Raise(id, id, "resize", doc);
}

WidgetTree::Results WidgetTree::Mouse(int32_t id, const std::string& type, const MouseInput& input,
                                      MQDocument doc) {
  return Raise(id, id, type, doc,
               {{"client_x", input.clientX},
                {"client_y", input.clientY},
                {"screen_x", input.screenX},
                {"screen_y", input.screenY},
                {"down_x", input.downX},
                {"down_y", input.downY},
                {"last_x", input.lastX},
                {"last_y", input.lastY},
                {"wheel_delta", input.wheelDelta},
                {"button_state", input.buttonState}});
}

WidgetTree::Results WidgetTree::Key(int32_t id, const std::string& type, const KeyInput& input,
                                    MQDocument doc) {
  return Raise(
      id, id, type, doc,
      {{"key", input.key}, {"auto_repeat", input.autoRepeat}, {"button_state", input.buttonState}});
}

WidgetTree::Results WidgetTree::Paint(int32_t id, MQCanvasHandle canvas, MQDocument doc) {
  return Raise(id, id, "paint", doc, {}, canvas);
}

}  // namespace vhost
