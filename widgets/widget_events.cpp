#include "widgets/widget_events.h"

#include <cstring>
#include <utility>

#include "frame/plugin_entry.h"
#include "widgets/widget_kinds.h"

namespace {

constexpr const char* kMouseEvents[] = {
    "leftdown",  "leftup",  "leftdoubleclick",  "middledown", "middleup",  "middledoubleclick",
    "rightdown", "rightup", "rightdoubleclick", "mousemove",  "mousewheel"};

bool IsMouseEvent(const char* type) noexcept {
  for (const char* name : kMouseEvents) {
    if (std::strcmp(type, name) == 0) return true;
  }
  return false;
}

// The 32-bit integer behind a named argument; 0 when it is missing.
int32_t ReadInt(void** args, const char* name) noexcept {
  const void* value = FindNamedArg(args, name);
  if (value == nullptr) return 0;
  int32_t result = 0;
  std::memcpy(&result, value, sizeof result);
  return result;
}

template <class Record>
void DecodeFlags(void** args, Record& record) noexcept {
  MouseState bits{};
  DecodeButtonState(ReadInt(args, "button_state"), bits);
  record.left_button = bits.left_button != 0;
  record.middle_button = bits.middle_button != 0;
  record.right_button = bits.right_button != 0;
  record.shift_key = bits.shift_key != 0;
  record.ctrl_key = bits.ctrl_key != 0;
  record.bit5_flag = bits.bit5_flag != 0;
}

WidgetMouseState MouseRecord(void** args) noexcept {
  WidgetMouseState state{};
  state.client_x = ReadInt(args, "client_x");
  state.client_y = ReadInt(args, "client_y");
  state.screen_x = ReadInt(args, "screen_x");
  state.screen_y = ReadInt(args, "screen_y");
  state.down_x = ReadInt(args, "down_x");
  state.down_y = ReadInt(args, "down_y");
  state.last_x = ReadInt(args, "last_x");
  state.last_y = ReadInt(args, "last_y");
  state.wheel_delta = ReadInt(args, "wheel_delta");
  DecodeFlags(args, state);
  return state;
}

WidgetKeyState KeyRecord(void** args) noexcept {
  WidgetKeyState state{};
  state.key = ReadInt(args, "key");
  state.auto_repeat = ReadInt(args, "auto_repeat") != 0;
  DecodeFlags(args, state);
  return state;
}

int32_t Route(MQDocument document, void** args, void* binding) {
  const auto* type = static_cast<const char*>(FindNamedArg(args, "type"));
  if (type == nullptr) return 0;
  MQWidgetBase* target = FindWidget(ReadInt(args, "target_id"));
  if (target == nullptr) return 0;

  // Only a binding the target itself holds runs: the pointer comes from the
  // host and is never followed before it is found here. The copy keeps the
  // binding alive even if its handler destroys the target.
  std::shared_ptr<MQWidgetEventClosureBase> closure;
  for (const auto& handler : target->GetHandlers()) {
    if (static_cast<void*>(handler.get()) == binding) {
      closure = handler;
      break;
    }
  }
  if (!closure) return 0;
  MQWidgetBase* sender = FindWidget(ReadInt(args, "sender_id"));

  if (IsMouseEvent(type)) {
    WidgetMouseState state = MouseRecord(args);
    return closure->Invoke(sender, document, &state) ? 1 : 0;
  }
  if (std::strcmp(type, "keydown") == 0 || std::strcmp(type, "keyup") == 0) {
    WidgetKeyState state = KeyRecord(args);
    return closure->Invoke(sender, document, &state) ? 1 : 0;
  }
  if (std::strcmp(type, "paint") == 0) {
    // Lives exactly for the handler call, also when the handler throws.
    MQCanvas canvas(FindNamedArg(args, "canvas"));
    WidgetPaintState state{&canvas};
    return closure->Invoke(sender, document, &state) ? 1 : 0;
  }
  return closure->Invoke(sender, document, nullptr) ? 1 : 0;
}

}  // namespace

void MQWidgetBase::AddEventHandler(const char* name,
                                   std::shared_ptr<MQWidgetEventClosureBase> closure, bool prior) {
  // Room first: once the host holds the pointer, keeping the handle must not fail.
  handlers.reserve(handlers.size() + 1);
  WidgetEventProcFn proc = &WidgetEventProc;
  void* args[] = {const_cast<char*>("type"),
                  const_cast<char*>(name),
                  const_cast<char*>("proc"),
                  reinterpret_cast<void*>(proc),
                  const_cast<char*>("pointer"),
                  closure.get(),
                  const_cast<char*>("prior"),
                  &prior,
                  nullptr};
  Call(WidgetOp::AddEvent, args);
  handlers.push_back(std::move(closure));
}

int32_t WidgetEventProc(MQDocument document, void** args, void* binding) noexcept {
  // The host is C code that cannot unwind C++ frames: every failure answers 0.
  try {
    return Route(document, args, binding);
  } catch (...) {
    return 0;
  }
}
