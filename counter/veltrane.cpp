#include "counter/veltrane.h"

namespace {
Veltrane g_veltrane;  // constructed when the library is mapped, destroyed at unload
}  // namespace

MQBasePlugin* GetPluginClass() { return &g_veltrane; }
Veltrane& TheVeltrane() { return g_veltrane; }

Veltrane::~Veltrane() {
  // The window arrives with the tool window; until then there is nothing to free.
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

BOOL Veltrane::Initialize() {
  // Settings and the window come later; activation without a window is refused.
  Activate(nullptr, activated ? 1 : 0);
  return 1;
}

void Veltrane::Exit() {}

BOOL Veltrane::Activate(MQDocument /*doc*/, BOOL flag) {
  if (window == nullptr) return 0;
  activated = flag != 0;
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

void Veltrane::UpdateCounts(MQDocument /*doc*/) {
  // Nothing to show the numbers in until the window exists.
  if (window == nullptr || !activated || !update) return;
}
