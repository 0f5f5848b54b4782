#include "counter/veltrane.h"

#include <memory>

#include "counter/counting.h"
#include "counter/veltrane_window.h"
#include "frame/host_functions.h"
#include "frame/setting.h"

namespace {
Veltrane g_veltrane;  // constructed when the library is mapped, destroyed at unload
}  // namespace

MQBasePlugin* GetPluginClass() { return &g_veltrane; }
Veltrane& TheVeltrane() { return g_veltrane; }

Veltrane::~Veltrane() {
  // At unload, a window the host never asked us to exit with is deleted here.
  delete window;
  window = nullptr;
}

void Veltrane::GetPlugInID(uint32_t* product, uint32_t* id) {
  if (product != nullptr) *product = kProductId;
  if (id != nullptr) *id = kPluginId;
}

const char* Veltrane::GetPlugInName() {
  return "Veltrane Ver.1.1   Copyright (C) 2026 The Veltrane developers";
}

const char* Veltrane::EnumString() { return "Veltrane"; }

namespace {

// Settings keys, in the order both start and exit handle them.
constexpr const char* kKeyActivate = "Veltrane_activate";
constexpr const char* kKeyPosX = "PosX";
constexpr const char* kKeyPosY = "PosY";

struct OptionKey {
  const char* key;
  bool Veltrane::*field;
  bool fallback;
};
constexpr OptionKey kOptionKeys[] = {
    {kKeyActivate, &Veltrane::activated, false},
    {"update", &Veltrane::update, false},
    {"all", &Veltrane::all, false},
    {"visible", &Veltrane::visible, true},
    {"freeze", &Veltrane::freeze, false},
    {"triangle", &Veltrane::triangle, true},
    {"polygon", &Veltrane::polygon, true},
};

}  // namespace

BOOL Veltrane::Initialize() {
  int32_t posX = -1;
  int32_t posY = -1;
  // The accessor lives for this load only. Without a settings section the
  // options keep their current values and no position is applied.
  if (std::unique_ptr<MQSetting> setting{OpenSetting()}) {
    for (const OptionKey& option : kOptionKeys) {
      setting->Load(option.key, this->*option.field, option.fallback);
    }
    setting->Load(kKeyPosX, posX, -1);
    setting->Load(kKeyPosY, posY, -1);
  }

  if (window == nullptr) {
    // The main-window wrapper only serves as the parent; discarding it leaves
    // the host's main window alone.
    MQWindow mainWindow = GetMainWindow();
    window = new VeltraneWindow(*this, mainWindow);
    if (posX >= 0 && posY >= 0) {
      window->SetPosX(posX);
      window->SetPosY(posY);
    }
  } else {
    // A repeated start has just re-read the options: the window must show
    // what the plug-in now counts with, or its boxes would lie to the user.
    window->ShowOptions();
  }
  Activate(nullptr, activated ? 1 : 0);  // shows the window if it was open at exit
  return 1;
}

void Veltrane::Exit() {
  if (std::unique_ptr<MQSetting> setting{OpenSetting()}) {
    for (const OptionKey& option : kOptionKeys) setting->Save(option.key, this->*option.field);
    if (window != nullptr) {
      setting->Save(kKeyPosX, window->GetPosX());
      setting->Save(kKeyPosY, window->GetPosY());
    }
  }
  delete window;
  window = nullptr;
}

BOOL Veltrane::Activate(MQDocument /*doc*/, BOOL flag) {
  if (window == nullptr) return 0;
  // Cleared before the window hides, so its hide handler does not report a
  // user's close.
  activated = flag != 0;
  window->SetVisible(activated);
  return activated ? 1 : 0;
}

BOOL Veltrane::IsActivated(MQDocument doc) {
  if (window == nullptr) return 0;
  UpdateCounts(doc);
  return activated ? 1 : 0;
}

void Veltrane::OnDocumentOpened(MQDocument doc, const char* /*filename*/,
                                DocumentLoadInfo* /*info*/) {
  UpdateCounts(doc);
}

BOOL Veltrane::OnEvent210(MQDocument doc, int32_t /*state*/) {
  UpdateCounts(doc);
  return 0;
}

BOOL Veltrane::OnEvent211(MQDocument doc, int32_t /*state*/) {
  UpdateCounts(doc);
  return 0;
}

void Veltrane::OnEvent221(MQDocument doc) { UpdateCounts(doc); }
void Veltrane::OnEvent220(MQDocument doc) { UpdateCounts(doc); }

void Veltrane::UpdateCounts(MQDocument doc) {
  if (window == nullptr || !activated || !update) return;
  using mq::CallHost;
  using mq::HostFn;
  const MQObject current =
      CallHost<HostFn::MQDoc_GetObject>(doc, CallHost<HostFn::MQDoc_GetCurrentObjectIndex>(doc));
  const int32_t objectCount = CallHost<HostFn::MQDoc_GetObjectCount>(doc);

  Counts mine{};
  if (!all) {
    if (current != nullptr) Count(mine, current);
    window->SetCurrentCounts(mine[0], mine[1], mine[2], mine[3], mine[4], mine[5]);
    return;
  }

  // The visible-only rule shapes the sums alone: the current object always gets
  // its own column, from the same count as its share of the sums.
  Counts sums{};
  for (int32_t index = 0; index < objectCount; ++index) {
    const MQObject object = CallHost<HostFn::MQDoc_GetObject>(doc, index);
    if (object == nullptr) continue;
    const bool summed = !visible || CallHost<HostFn::MQObj_GetVisible>(object) != 0;
    const bool isCurrent = object == current;
    if (!summed && !isCurrent) continue;
    Counts counts{};
    Count(counts, object);
    if (isCurrent) mine = counts;
    if (summed) {
      for (std::size_t i = 0; i < sums.size(); ++i) cmq::SaturatingAdd(sums[i], counts[i]);
    }
  }
  window->SetAllCounts(sums[0], sums[1], sums[2], sums[3], sums[4], sums[5]);
  window->SetCurrentCounts(mine[0], mine[1], mine[2], mine[3], mine[4], mine[5]);
}

void Veltrane::Count(Counts& counts, MQObject object) {
  CountObject(counts[0], counts[1], counts[2], counts[3], counts[4], counts[5], object);
}
