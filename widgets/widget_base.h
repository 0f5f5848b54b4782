// Widget handles: the root wrapper over a host widget ID, the operation codes of
// the host's one widget call, and the registry from ID back to wrapper.
//
// The host owns every widget; the plug-in only holds IDs and talks to the host
// through MQWidget_Value, which it calls with lists built on its own stack. A
// wrapper owns at most one host widget (the one its construction created) and
// the event bindings made on it. The registry points at live wrappers without
// owning them.
//
// Threading: everything here runs on the host's UI thread, the one that
// delivers plug-in events and widget callbacks; nothing is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/mq_types.h"

class MQWidgetEventClosureBase;

class MQWidgetBase {
 public:
  // Creating or adopting construction is for the kinds only (see below). A
  // wrapper is not copied: a second wrapper of the same ID is made by adopting.
  MQWidgetBase(const MQWidgetBase&) = delete;
  MQWidgetBase& operator=(const MQWidgetBase&) = delete;

  // Unregisters the ID (when this wrapper is the one registered for it), deletes
  // the host widget when this wrapper created it, then releases the bindings:
  // the host widget is gone before its closures are freed.
  virtual ~MQWidgetBase();

  int32_t GetID() const noexcept { return id; }

  // Puts `child` into this container. A null child answers -1 without asking the
  // host; otherwise the host's "result" (-1 when the host wrote none).
  int32_t AddChild(MQWidgetBase* child);

  // Registers `closure` with the host for event `name` on this widget and keeps
  // it in `handlers`, which owns it from then on; the host gets only the raw
  // pointer. Kept even when the host ignored the registration (an ID of 0).
  void AddEventHandler(const char* name, std::shared_ptr<MQWidgetEventClosureBase> closure,
                       bool prior);

  // Binds `method` of `owner` (a wrapper) to this widget's "resize", "hide" or
  // "execute" event, not prior. Defined in widgets/widget_events.h.
  template <class T>
  void AddResizeEvent(T* owner, bool (T::*method)(MQWidgetBase* sender, MQDocument doc));
  template <class T>
  void AddHideEvent(T* owner, bool (T::*method)(MQWidgetBase* sender, MQDocument doc));
  template <class T>
  void AddExecuteEvent(T* owner, bool (T::*method)(MQWidgetBase* sender, MQDocument doc));

  void SetVisible(bool visible);
  void SetHeight(int32_t height);
  // The host's natural size for the widget; {0, 0, -1, -1} when it does not answer.
  SizeRecord GetJustSize() const;

  // The bindings made on this widget, in registration order (owned here).
  const std::vector<std::shared_ptr<MQWidgetEventClosureBase>>& GetHandlers() const noexcept {
    return handlers;
  }

 protected:
  // Creating construction: asks the host for a widget of `kind`. A nonzero ID
  // makes this wrapper its owner and enters it in the registry (unless the ID is
  // registered already: the first registration stays). ID 0 leaves an unowned,
  // unregistered wrapper. If registering fails (out of memory) the host widget is
  // deleted before the exception leaves: a failed construction leaves nothing.
  struct CreateKind {
    const char* name;
  };
  explicit MQWidgetBase(CreateKind kind);
  // Adopting construction: wraps an existing widget without owning it, and
  // registers a nonzero ID under the same first-wins rule.
  struct AdoptID {
    int32_t id;
  };
  explicit MQWidgetBase(AdoptID existing);

  // One MQWidget_Value call on this widget, or on widget `target`. The list is
  // the caller's and lives for the call. Skipped when the host is not bound.
  int32_t Call(WidgetOp op, void** args) const noexcept { return CallWidget(id, op, args); }
  static int32_t CallWidget(int32_t target, WidgetOp op, void** args) noexcept;

  // Property accessors: one call with one key each. Getters preset the storage
  // (false, 0, {0, 0, -1, -1}) so an unanswered read gives the preset.
  void SetBoolValue(const char* key, bool value);
  bool GetBoolValue(const char* key) const;
  void SetIntValue(const char* key, int32_t value);
  int32_t GetIntValue(const char* key) const;
  void SetTextValue(const char* key, const char* text);          // 8-bit text
  void SetWideTextValue(const char* key, const char16_t* text);  // UTF-16; the host copies it

  int32_t id = 0;               // the host widget; 0: none
  bool ownsHostWidget = false;  // this wrapper's construction created it
  std::vector<std::shared_ptr<MQWidgetEventClosureBase>> handlers;

 private:
  void Register();  // may throw std::bad_alloc
  void Unregister() noexcept;
};

// The wrapper registered for `id`, or null (always null for 0).
MQWidgetBase* FindWidget(int32_t id) noexcept;

// How many IDs are registered: every live registered wrapper, nothing else.
std::size_t RegisteredWidgetCount() noexcept;
