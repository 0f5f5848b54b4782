// Veltrane: the counter plug-in object.
//
// One object of static storage duration (see GetPluginClass) exists while the
// library is mapped. The host drives it through the frame's entry points on its
// UI thread; it owns the tool window from Initialize to Exit.
#pragma once

#include <array>
#include <cstdint>

#include "frame/plugin_entry.h"

class VeltraneWindow;

class Veltrane : public MQStationPlugin {
 public:
  static constexpr uint32_t kProductId = 0x5A3C9E41;
  static constexpr uint32_t kPluginId = 0x2D7B6F18;

  Veltrane() = default;
  ~Veltrane() override;

  void GetPlugInID(uint32_t* product, uint32_t* id) override;
  const char* GetPlugInName() override;
  const char* EnumString() override;
  BOOL Initialize() override;
  void Exit() override;
  BOOL Activate(MQDocument doc, BOOL flag) override;
  BOOL IsActivated(MQDocument doc) override;
  void OnDocumentOpened(MQDocument doc, const char* filename, DocumentLoadInfo* info) override;
  BOOL OnEvent210(MQDocument doc, int32_t state) override;
  BOOL OnEvent211(MQDocument doc, int32_t state) override;
  void OnEvent221(MQDocument doc) override;
  void OnEvent220(MQDocument doc) override;

  // Counts one object into six counters (vertices, total, 2-, 3-, 4- and 5+-point
  // faces), adding to what they hold. Reads `freeze` and `triangle`. Calls only
  // the host; the document's object is never changed.
  void CountObject(int32_t& vertices, int32_t& total, int32_t& lines, int32_t& triangles,
                   int32_t& quads, int32_t& ngons, MQObject object);

  // Recounts the document's current object (and, with `all`, every object) into
  // the window. Does nothing without a window, while inactive or with `update` off.
  void UpdateCounts(MQDocument doc);

  // The options are plain fields: the window, the counting and the lifecycle
  // read and write them directly. The initial values are also the defaults
  // of missing settings.
  VeltraneWindow* window = nullptr;  // owned; null before Initialize and after Exit
  bool activated = false;
  bool update = false;
  bool all = false;
  bool visible = true;
  bool freeze = false;
  bool triangle = true;
  bool polygon = true;

 private:
  using Counts = std::array<int32_t, 6>;  // vertices, total, 2-, 3-, 4-, 5+-point faces
  void Count(Counts& counts, MQObject object);
};

// The one plug-in object.
Veltrane& TheVeltrane();
