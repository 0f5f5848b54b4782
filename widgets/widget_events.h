// Widget event routing: bindings of member functions to widget events, the one
// callback the plug-in hands the host for all of them, and the event records it
// decodes from the host's named arguments.
//
// Ownership: a binding lives in a shared handle made for its concrete type and
// stored in the `handlers` of the widget it was registered on, so it lives as
// long as that wrapper; the host holds only the raw pointer and never frees it.
// Threading: callbacks arrive on the host's UI thread, one at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "protocol/mq_types.h"
#include "widgets/widget_base.h"

class MQCanvas;

// NOLINTBEGIN(readability-identifier-naming): field names are the protocol's

// A mouse event ("leftdown" … "mousewheel"). Missing arguments read 0; the six
// flags come from "button_state".
struct WidgetMouseState {
  int32_t client_x;
  int32_t client_y;
  int32_t screen_x;
  int32_t screen_y;
  int32_t down_x;
  int32_t down_y;
  int32_t last_x;
  int32_t last_y;
  int32_t wheel_delta;
  bool left_button;    // 0x01
  bool middle_button;  // 0x10
  bool right_button;   // 0x02
  bool shift_key;      // 0x04
  bool ctrl_key;       // 0x08
  bool bit5_flag;      // 0x20
};

// "keydown" and "keyup".
struct WidgetKeyState {
  int32_t key;
  bool auto_repeat;  // "auto_repeat" nonzero
  bool left_button;
  bool middle_button;
  bool right_button;
  bool shift_key;
  bool ctrl_key;
  bool bit5_flag;
};

// "paint". The canvas exists only while the handler runs.
struct WidgetPaintState {
  MQCanvas* canvas;
};

// NOLINTEND(readability-identifier-naming)

// A binding: something to run when a widget event arrives.
class MQWidgetEventClosureBase {
 public:
  // Runs the binding. `sender` may be null (a widget the plug-in does not
  // know); `record` is the event's record or null for events without one.
  virtual bool Invoke(MQWidgetBase* sender, MQDocument doc, void* record) = 0;
  virtual bool IsEqual(const MQWidgetEventClosureBase& other) const = 0;
  virtual void* GetOwner() const = 0;

 protected:
  MQWidgetEventClosureBase() = default;
  MQWidgetEventClosureBase(const MQWidgetEventClosureBase&) = default;
  MQWidgetEventClosureBase& operator=(const MQWidgetEventClosureBase&) = default;
  // Not virtual, and not reachable from outside: only the shared handle made for
  // the concrete type ever destroys a binding.
  ~MQWidgetEventClosureBase() = default;
};

// Binds `method` of a wrapper `owner` of type T. The owner is not owned: the
// binding finds out whether it still lives through the registry, by the ID the
// owner had when the binding was made, and does nothing once it is gone.
template <class T>
class MQWidgetEventClosure final : public MQWidgetEventClosureBase {
  static_assert(std::is_base_of_v<MQWidgetBase, T>, "the owner of a binding is a widget wrapper");

 public:
  using Method = bool (T::*)(MQWidgetBase* sender, MQDocument doc);

  MQWidgetEventClosure(T* owner_, Method method_) noexcept
      : owner(owner_), ownerID(owner_ != nullptr ? owner_->GetID() : 0), method(method_) {}

  // The record is not passed on: this kind serves methods that need only the
  // sender and the document.
  bool Invoke(MQWidgetBase* sender, MQDocument doc, void* /*record*/) override {
    // The owner counts as alive only while its ID is registered to the owner
    // itself, whole: not to another wrapper that took the ID over, and not to
    // the base part of an owner that is being destroyed.
    MQWidgetBase* registered = FindWidget(ownerID);
    if (registered == nullptr || method == nullptr || dynamic_cast<T*>(registered) != owner)
      return false;
    return (owner->*method)(sender, doc);
  }

  bool IsEqual(const MQWidgetEventClosureBase& other) const override {
    const auto* same = dynamic_cast<const MQWidgetEventClosure*>(&other);
    return same != nullptr && same->owner == owner && same->method == method;
  }

  void* GetOwner() const override { return owner; }

 private:
  T* owner;
  int32_t ownerID;
  Method method;
};

// The callback registered as "proc" for every widget event. The host calls it
// with the document, the event's named arguments ("target_id", "sender_id",
// "type" and the record's fields; the host's, valid during the call) and the
// binding pointer given at registration. Finds the target wrapper and, among its
// handlers, that binding; builds the record; runs it. Answers the binding's
// result as 0 or 1, and 0 for everything that does not match (no "type", an
// unknown target, a binding the target does not hold) and for any failure:
// nothing is thrown back into the host.
int32_t WidgetEventProc(MQDocument document, void** args, void* binding) noexcept;

template <class T>
void MQWidgetBase::AddResizeEvent(T* owner, bool (T::*method)(MQWidgetBase*, MQDocument)) {
  AddEventHandler("resize", std::make_shared<MQWidgetEventClosure<T>>(owner, method), false);
}

template <class T>
void MQWidgetBase::AddHideEvent(T* owner, bool (T::*method)(MQWidgetBase*, MQDocument)) {
  AddEventHandler("hide", std::make_shared<MQWidgetEventClosure<T>>(owner, method), false);
}

template <class T>
void MQWidgetBase::AddExecuteEvent(T* owner, bool (T::*method)(MQWidgetBase*, MQDocument)) {
  AddEventHandler("execute", std::make_shared<MQWidgetEventClosure<T>>(owner, method), false);
}
