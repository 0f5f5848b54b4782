// The plug-in base classes and the dispatch of host events to them.
//
// The frame is generic: a concrete plug-in derives from one of these classes,
// overrides what it needs, and defines GetPluginClass() to hand the frame its one
// object of static storage duration. Virtual operations are declared in the
// protocol's slot order; the entry points reach them by name, so the order is
// documentation of the protocol as much as it is layout.
#pragma once

#include <cstdint>

#include "protocol/mq_types.h"
#include "protocol/named_args.h"

class MQSetting;

class MQBasePlugin {
 public:
  MQBasePlugin() = default;
  MQBasePlugin(const MQBasePlugin&) = delete;
  MQBasePlugin& operator=(const MQBasePlugin&) = delete;

  virtual ~MQBasePlugin();                                        // slot 0
  virtual void GetPlugInID(uint32_t* product, uint32_t* id) = 0;  // slot 1
  virtual const char* GetPlugInName() = 0;                        // slot 2
  virtual int32_t GetPlugInType() = 0;                            // slot 3

  // Asks the host for its settings element (message 505) and opens this plug-in's
  // section under it. Returns a new MQSetting that the caller owns and deletes after
  // use, or null when the host gives no settings element. Host thread only.
  MQSetting* OpenSetting();
};

class MQStationPlugin;

// What a deferred host callback asks the plug-in to run (slot 24).
using MQStationCallbackProc = int32_t (MQStationPlugin::*)(MQDocument document);
struct MQStationCallbackRecord {
  MQStationCallbackProc proc;
};

// Base of station plug-ins: a tool window driven by host events.
class MQStationPlugin : public MQBasePlugin {
 public:
  static constexpr int32_t kPluginType = 6;

  int32_t GetPlugInType() override;                    // 3
  virtual const char* EnumString();                    // 4
  virtual BOOL Initialize();                           // 5: event 1
  virtual void Exit();                                 // 6: event 2
  virtual BOOL Activate(MQDocument doc, BOOL flag);    // 7: event 100
  virtual BOOL IsActivated(MQDocument doc);            // 8: event 101
  virtual void OnEvent102(MQDocument doc, BOOL flag);  // 9
  virtual int32_t OnMessage(MQDocument doc, uint32_t src_product, uint32_t src_id,
                            void* description, void* message);  // 10: event 103
  virtual void OnDrawScene(MQDocument doc, MQScene scene, int32_t width,
                           int32_t height);  // 11: event 110
  virtual void OnDocumentOpened(MQDocument doc, const char* filename,
                                DocumentLoadInfo* info);  // 12: event 200
  virtual void OnDocumentClosed(MQDocument doc);          // 13: event 201
  virtual void OnDocumentSaved(MQDocument doc, const char* filename,
                               DocumentSaveInfo* info);                  // 14: event 202
  virtual BOOL OnEvent210(MQDocument doc, int32_t state);                // 15
  virtual BOOL OnEvent211(MQDocument doc, int32_t state);                // 16
  virtual void OnEvent212(MQDocument doc, int32_t state, int32_t size);  // 17
  virtual void OnEvent221(MQDocument doc);                               // 18
  virtual void OnEvent222(MQDocument doc);                               // 19
  virtual void OnEvent220(MQDocument doc);                               // 20
  virtual void OnEvent231(MQDocument doc);                               // 21
  virtual void OnEvent230(MQDocument doc);                               // 22
  virtual void OnSceneEvent(MQDocument doc, MQScene scene);              // 23: event 240
  virtual int32_t OnStationCallback(MQDocument doc,
                                    MQStationCallbackRecord* record);  // 24

  // Tells the host (message 100) that the user closed this plug-in's window.
  // Call after clearing the plug-in's own activated state.
  void NotifyWindowClosed();
};

// Base of command plug-ins: a station plug-in that also receives the viewport's
// mouse and key events. Only the frame's dispatch knows about it here.
class MQCommandPlugin : public MQStationPlugin {
 public:
  static constexpr int32_t kPluginType = 7;

  int32_t GetPlugInType() override;
  virtual BOOL OnMouseEvent120(MQDocument doc, MQScene scene, MouseState* state);  // 25
  virtual BOOL OnMouseEvent121(MQDocument doc, MQScene scene, MouseState* state);  // 26
  virtual BOOL OnMouseEvent122(MQDocument doc, MQScene scene, MouseState* state);  // 27
  virtual BOOL OnMouseEvent123(MQDocument doc, MQScene scene, MouseState* state);  // 28
  virtual BOOL OnMouseEvent124(MQDocument doc, MQScene scene, MouseState* state);  // 29
  virtual BOOL OnMouseEvent125(MQDocument doc, MQScene scene, MouseState* state);  // 30
  virtual BOOL OnMouseEvent126(MQDocument doc, MQScene scene, MouseState* state);  // 31
  virtual BOOL OnMouseEvent127(MQDocument doc, MQScene scene, MouseState* state);  // 32
  virtual BOOL OnMouseEvent128(MQDocument doc, MQScene scene, MouseState* state);  // 33
  virtual BOOL OnMouseEvent129(MQDocument doc, MQScene scene, MouseState* state);  // 34
  virtual BOOL OnMouseEvent130(MQDocument doc, MQScene scene, MouseState* state);  // 35
  virtual BOOL OnKeyEvent140(MQDocument doc, MQScene scene, int32_t key,
                             MouseState* state);  // 36
  virtual BOOL OnKeyEvent141(MQDocument doc, MQScene scene, int32_t key,
                             MouseState* state);  // 37
};

// The entry points of file and menu-command plug-ins forward to these. No plug-in
// of this system is of those kinds; they exist so the shared entry points reach a
// matching operation, and never a station plug-in's Initialize or Exit.
class MQFilePlugin : public MQBasePlugin {  // types 1 (import) and 2 (export)
 public:
  virtual const char* EnumFileType(int32_t index) = 0;             // 4
  virtual const char* EnumFileExt(int32_t index) = 0;              // 5
  virtual BOOL TransferFile(int32_t a, int32_t b, int32_t c) = 0;  // 6
};

class MQMenuPlugin : public MQBasePlugin {  // types 3, 4 and 5
 public:
  virtual const char* EnumString(int32_t index) = 0;  // 4
  virtual BOOL Execute(int32_t a, int32_t b) = 0;     // 5
};

// Supplied by the concrete plug-in module: its one plug-in object.
MQBasePlugin* GetPluginClass();

// The value paired with `name` in a named-argument list (name, value, …, null),
// or null when the list is null or the name is absent. First match wins; the
// comparison is exact and case-sensitive. Nothing is copied or validated.
using mq::FindNamedArg;

// Decodes the host's "button_state" bits into the six flags of a MouseState.
void DecodeButtonState(int32_t button_state, MouseState& state) noexcept;
