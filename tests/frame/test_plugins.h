// Plug-in objects that record what the frame calls on them, for testing the
// entry points and the event dispatch without the Veltrane plug-in.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/plugin_entry.h"
#include "tests/support/stand_in_plugin.h"

namespace testing_support {

struct Call {
  std::string op;
  MQDocument doc = nullptr;
  std::vector<int64_t> ints;      // integer arguments, in order
  std::vector<const void*> ptrs;  // handle, text and record arguments, in order
  MouseState mouse{};             // copy of the record for mouse and key events
};

template <class Base>
class RecordingStationT : public Base {
 public:
  std::vector<Call> calls;
  BOOL result = 5;            // what every BOOL operation answers
  int32_t messageResult = 0;  // what OnMessage answers
  bool setSaveUid = false;    // OnDocumentSaved sets save_uid
  bool throwNext = false;     // the next operation throws
  int32_t type = 0;           // 0: the base class's type
  const char* menu = "Recording";

  void GetPlugInID(uint32_t* product, uint32_t* id) override {
    *product = 0x11111111;
    *id = 0x22222222;
  }
  const char* GetPlugInName() override { return Record("GetPlugInName"), "Recording plug-in"; }
  int32_t GetPlugInType() override { return type != 0 ? type : Base::GetPlugInType(); }
  const char* EnumString() override { return Record("EnumString"), menu; }
  BOOL Initialize() override { return Record("Initialize"), result; }
  void Exit() override { Record("Exit"); }
  BOOL Activate(MQDocument doc, BOOL flag) override {
    return Record("Activate", doc, {flag}), result;
  }
  BOOL IsActivated(MQDocument doc) override { return Record("IsActivated", doc), result; }
  void OnEvent102(MQDocument doc, BOOL flag) override { Record("OnEvent102", doc, {flag}); }
  int32_t OnMessage(MQDocument doc, uint32_t src_product, uint32_t src_id, void* description,
                    void* message) override {
    Record("OnMessage", doc, {src_product, src_id}, {description, message});
    return messageResult;
  }
  void OnDrawScene(MQDocument doc, MQScene scene, int32_t width, int32_t height) override {
    Record("OnDrawScene", doc, {width, height}, {scene});
  }
  void OnDocumentOpened(MQDocument doc, const char* filename, DocumentLoadInfo* info) override {
    Record("OnDocumentOpened", doc, {}, {filename, info->xml_elem});
  }
  void OnDocumentClosed(MQDocument doc) override { Record("OnDocumentClosed", doc); }
  void OnDocumentSaved(MQDocument doc, const char* filename, DocumentSaveInfo* info) override {
    Record("OnDocumentSaved", doc, {info->save_uid}, {filename, info->xml_elem});
    if (setSaveUid) info->save_uid = 1;
  }
  BOOL OnEvent210(MQDocument doc, int32_t state) override {
    return Record("OnEvent210", doc, {state}), result;
  }
  BOOL OnEvent211(MQDocument doc, int32_t state) override {
    return Record("OnEvent211", doc, {state}), result;
  }
  void OnEvent212(MQDocument doc, int32_t state, int32_t size) override {
    Record("OnEvent212", doc, {state, size});
  }
  void OnEvent221(MQDocument doc) override { Record("OnEvent221", doc); }
  void OnEvent222(MQDocument doc) override { Record("OnEvent222", doc); }
  void OnEvent220(MQDocument doc) override { Record("OnEvent220", doc); }
  void OnEvent231(MQDocument doc) override { Record("OnEvent231", doc); }
  void OnEvent230(MQDocument doc) override { Record("OnEvent230", doc); }
  void OnSceneEvent(MQDocument doc, MQScene scene) override {
    Record("OnSceneEvent", doc, {}, {scene});
  }

 protected:
  Call& Record(const char* op, MQDocument doc = nullptr, std::vector<int64_t> ints = {},
               std::vector<const void*> ptrs = {}) {
    if (throwNext) {
      throwNext = false;
      throw std::runtime_error(std::string("thrown by ") + op);
    }
    calls.push_back(Call{op, doc, std::move(ints), std::move(ptrs), {}});
    return calls.back();
  }
};

using RecordingStation = RecordingStationT<MQStationPlugin>;

class RecordingCommand : public RecordingStationT<MQCommandPlugin> {
 public:
#define RECORD_MOUSE(n)                                                             \
  BOOL OnMouseEvent##n(MQDocument doc, MQScene scene, MouseState* state) override { \
    Record("OnMouseEvent" #n, doc, {}, {scene}).mouse = *state;                     \
    return result;                                                                  \
  }
  RECORD_MOUSE(120)
  RECORD_MOUSE(121)
  RECORD_MOUSE(122)
  RECORD_MOUSE(123)
  RECORD_MOUSE(124)
  RECORD_MOUSE(125)
  RECORD_MOUSE(126)
  RECORD_MOUSE(127)
  RECORD_MOUSE(128)
  RECORD_MOUSE(129)
  RECORD_MOUSE(130)
#undef RECORD_MOUSE
  BOOL OnKeyEvent140(MQDocument doc, MQScene scene, int32_t key, MouseState* state) override {
    Record("OnKeyEvent140", doc, {key}, {scene}).mouse = *state;
    return result;
  }
  BOOL OnKeyEvent141(MQDocument doc, MQScene scene, int32_t key, MouseState* state) override {
    Record("OnKeyEvent141", doc, {key}, {scene}).mouse = *state;
    return result;
  }
};

// An import or export plug-in (types 1 and 2).
class RecordingFilePlugin : public MQFilePlugin {
 public:
  std::vector<Call> calls;
  int32_t type = 1;
  void GetPlugInID(uint32_t* product, uint32_t* id) override { *product = *id = 0; }
  const char* GetPlugInName() override { return "File"; }
  int32_t GetPlugInType() override { return type; }
  const char* EnumFileType(int32_t index) override {
    calls.push_back({"EnumFileType", nullptr, {index}, {}, {}});
    return index == 0 ? "Test file (*.tst)" : nullptr;
  }
  const char* EnumFileExt(int32_t index) override {
    calls.push_back({"EnumFileExt", nullptr, {index}, {}, {}});
    return index == 0 ? "tst" : nullptr;
  }
  BOOL TransferFile(int32_t a, int32_t b, int32_t c) override {
    calls.push_back({"TransferFile", nullptr, {a, b, c}, {}, {}});
    return 9;
  }
};

// A create, object or select command plug-in (types 3, 4 and 5).
class RecordingMenuPlugin : public MQMenuPlugin {
 public:
  std::vector<Call> calls;
  int32_t type = 3;
  void GetPlugInID(uint32_t* product, uint32_t* id) override { *product = *id = 0; }
  const char* GetPlugInName() override { return "Menu"; }
  int32_t GetPlugInType() override { return type; }
  const char* EnumString(int32_t index) override {
    calls.push_back({"EnumString", nullptr, {index}, {}, {}});
    return index < 2 ? "Menu entry" : nullptr;
  }
  BOOL Execute(int32_t a, int32_t b) override {
    calls.push_back({"Execute", nullptr, {a, b}, {}, {}});
    return 8;
  }
};

}  // namespace testing_support
