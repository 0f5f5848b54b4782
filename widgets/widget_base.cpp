#include "widgets/widget_base.h"

#include <map>

#include "frame/host_functions.h"

// The registry must exist before any wrapper can be made or destroyed, and
// outlive them all: the plug-in object, a static of another file, deletes its
// window when the library is unloaded. Static objects of different files have
// no order among themselves, so the registry is built ahead of all of them
// (and therefore destroyed after them). A namespace-scope object, never a
// function-local static, so no GNU unique symbol pins the library.
#if defined(_MSC_VER)
#pragma warning(disable : 4073)
#pragma init_seg(lib)
#define VELTRANE_EARLY_INIT
#else
#define VELTRANE_EARLY_INIT __attribute__((init_priority(101)))
#endif

namespace {

// ID → live wrapper, not owned. Unique keys; the first registration of an ID wins.
std::map<int32_t, MQWidgetBase*> g_registry VELTRANE_EARLY_INIT;

// Argument names travel as the list's untyped pointers; the host only reads them.
void* Name(const char* name) { return const_cast<char*>(name); }

}  // namespace

MQWidgetBase* FindWidget(int32_t id) noexcept {
  auto it = g_registry.find(id);
  return it != g_registry.end() ? it->second : nullptr;
}

std::size_t RegisteredWidgetCount() noexcept { return g_registry.size(); }

MQWidgetBase::MQWidgetBase(CreateKind kind) {
  void* args[] = {Name("type"), Name(kind.name), Name("id"), &id, nullptr};
  Call(WidgetOp::Create, args);
  if (id == 0) return;  // not created: nothing to own, nothing to register
  ownsHostWidget = true;
  try {
    Register();
  } catch (...) {
    // The destructor will not run for a constructor that throws: undo here.
    void* none[] = {nullptr};
    Call(WidgetOp::Delete, none);
    id = 0;
    ownsHostWidget = false;
    throw;
  }
}

MQWidgetBase::MQWidgetBase(AdoptID existing) : id(existing.id) {
  if (id != 0) Register();
}

MQWidgetBase::~MQWidgetBase() {
  if (id != 0) {
    // Out of the registry before the host hears of the deletion, so no event
    // for this ID can reach a wrapper that is half destroyed.
    Unregister();
    if (ownsHostWidget) {
      void* none[] = {nullptr};
      Call(WidgetOp::Delete, none);
    }
    id = 0;
    ownsHostWidget = false;
  }
  // `handlers` goes after this body: the bindings outlive the host widget.
}

void MQWidgetBase::Register() {
  if (id != 0) g_registry.emplace(id, this);  // keeps an existing entry
}

void MQWidgetBase::Unregister() noexcept {
  // Only this wrapper's own entry: destroying a second wrapper of an ID that
  // another registered first must not cut the live one off its events.
  auto it = g_registry.find(id);
  if (it != g_registry.end() && it->second == this) g_registry.erase(it);
}

int32_t MQWidgetBase::CallWidget(int32_t target, WidgetOp op, void** args) noexcept {
  return mq::CallHost<mq::HostFn::MQWidget_Value>(target, static_cast<int32_t>(op), args);
}

int32_t MQWidgetBase::AddChild(MQWidgetBase* child) {
  if (child == nullptr) return -1;
  int32_t childId = child->GetID();
  int32_t result = -1;
  void* args[] = {Name("child"), &childId, Name("result"), &result, nullptr};
  Call(WidgetOp::AddChild, args);
  return result;
}

void MQWidgetBase::SetVisible(bool visible) { SetBoolValue("visible", visible); }
void MQWidgetBase::SetHeight(int32_t height) { SetIntValue("height", height); }

SizeRecord MQWidgetBase::GetJustSize() const {
  SizeRecord size{0, 0, -1, -1};
  void* args[] = {Name("justsize"), &size, nullptr};
  Call(WidgetOp::GetValue, args);
  return size;
}

void MQWidgetBase::SetBoolValue(const char* key, bool value) {
  static_assert(sizeof(bool) == 1, "widget bools are one byte on the wire");
  void* args[] = {Name(key), &value, nullptr};
  Call(WidgetOp::SetValue, args);
}

bool MQWidgetBase::GetBoolValue(const char* key) const {
  // Read as a byte: a host that writes 2 for true must not leave an invalid bool.
  unsigned char value = 0;
  void* args[] = {Name(key), &value, nullptr};
  Call(WidgetOp::GetValue, args);
  return value != 0;
}

void MQWidgetBase::SetIntValue(const char* key, int32_t value) {
  void* args[] = {Name(key), &value, nullptr};
  Call(WidgetOp::SetValue, args);
}

int32_t MQWidgetBase::GetIntValue(const char* key) const {
  int32_t value = 0;
  void* args[] = {Name(key), &value, nullptr};
  Call(WidgetOp::GetValue, args);
  return value;
}

void MQWidgetBase::SetTextValue(const char* key, const char* text) {
  void* args[] = {Name(key), Name(text), nullptr};
  Call(WidgetOp::SetValue, args);
}

void MQWidgetBase::SetWideTextValue(const char* key, const char16_t* text) {
  void* args[] = {Name(key), const_cast<char16_t*>(text), nullptr};
  Call(WidgetOp::SetValue, args);
}
