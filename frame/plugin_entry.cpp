#include "frame/plugin_entry.h"

#include <clocale>
#include <cstring>

#include "frame/host_functions.h"
#include "protocol/entry_points.h"

namespace {

// The user's character-type locale is the plug-in's "ANSI code page" on POSIX
// systems; set it once when the library is mapped, before any entry point runs.
[[maybe_unused]] const bool g_localeReady = [] {
  std::setlocale(LC_CTYPE, "");
  return true;
}();

constexpr int32_t kMessageWindowClosed = 100;

// Reads the 32-bit integer behind a named argument. A missing name, or a name
// whose value pointer is null (a faulty host), yields the fallback.
int32_t ReadInt(void** args, const char* name, int32_t fallback) noexcept {
  const void* value = FindNamedArg(args, name);
  if (value == nullptr) return fallback;
  int32_t result = 0;
  std::memcpy(&result, value, sizeof result);
  return result;
}

uint32_t ReadUint(void** args, const char* name) noexcept {
  return static_cast<uint32_t>(ReadInt(args, name, 0));
}

// Writes through a named write-back slot; absent names and null slots receive nothing.
void WriteInt(void** args, const char* name, int32_t value) noexcept {
  void* slot = FindNamedArg(args, name);
  if (slot != nullptr) std::memcpy(slot, &value, sizeof value);
}

// Events 100 and 102 pass the address of a flag; a null address reads false.
BOOL ReadFlag(void* option) noexcept {
  if (option == nullptr) return 0;
  BOOL flag = 0;
  std::memcpy(&flag, option, sizeof flag);
  return flag;
}

MQStationPlugin* StationPlugin() { return dynamic_cast<MQStationPlugin*>(GetPluginClass()); }

BOOL DispatchMouse(MQCommandPlugin& plugin, MQDocument doc, int32_t event, void** args) {
  MQScene scene = FindNamedArg(args, "scene");
  MouseState state{};
  DecodeButtonState(ReadInt(args, "button_state", 0), state);
  if (event <= 130) {
    state.pos_x = ReadInt(args, "mouse_pos_x", 0);
    state.pos_y = ReadInt(args, "mouse_pos_y", 0);
    state.wheel = ReadInt(args, "mouse_wheel", 0);
    using Handler = BOOL (MQCommandPlugin::*)(MQDocument, MQScene, MouseState*);
    static constexpr Handler kHandlers[] = {
        &MQCommandPlugin::OnMouseEvent120, &MQCommandPlugin::OnMouseEvent121,
        &MQCommandPlugin::OnMouseEvent122, &MQCommandPlugin::OnMouseEvent123,
        &MQCommandPlugin::OnMouseEvent124, &MQCommandPlugin::OnMouseEvent125,
        &MQCommandPlugin::OnMouseEvent126, &MQCommandPlugin::OnMouseEvent127,
        &MQCommandPlugin::OnMouseEvent128, &MQCommandPlugin::OnMouseEvent129,
        &MQCommandPlugin::OnMouseEvent130};
    return (plugin.*kHandlers[event - 120])(doc, scene, &state);
  }
  const int32_t key = ReadInt(args, "key", 0);
  return event == 140 ? plugin.OnKeyEvent140(doc, scene, key, &state)
                      : plugin.OnKeyEvent141(doc, scene, key, &state);
}

BOOL Dispatch(MQDocument doc, int32_t event, void* option) {
  MQStationPlugin* plugin = StationPlugin();
  if (plugin == nullptr) return 0;  // only station plug-ins receive events

  // The cases are the one list of codes the frame knows; each reads only what
  // its event carries.
  auto** args = static_cast<void**>(option);
  switch (event) {
    case 1:
      return plugin->Initialize();
    case 2:
      plugin->Exit();
      return 1;
    case 100:
      return plugin->Activate(doc, ReadFlag(option));
    case 101:
      return plugin->IsActivated(doc);
    case 102:
      plugin->OnEvent102(doc, ReadFlag(option));
      return 1;
    case 103: {
      const int32_t result =
          plugin->OnMessage(doc, ReadUint(args, "src_product"), ReadUint(args, "src_id"),
                            FindNamedArg(args, "description"), FindNamedArg(args, "message"));
      WriteInt(args, "result", result);
      return 1;
    }
    case 110:
      plugin->OnDrawScene(doc, FindNamedArg(args, "scene"), ReadInt(args, "width", 1),
                          ReadInt(args, "height", 1));
      return 1;
    case 120:
    case 121:
    case 122:
    case 123:
    case 124:
    case 125:
    case 126:
    case 127:
    case 128:
    case 129:
    case 130:
    case 140:
    case 141: {
      // Only a command plug-in has receivers for these.
      auto* command = dynamic_cast<MQCommandPlugin*>(plugin);
      if (command == nullptr) return 0;
      return DispatchMouse(*command, doc, event, args);
    }
    case 200: {
      DocumentLoadInfo info{FindNamedArg(args, "xml_elem")};
      plugin->OnDocumentOpened(doc, static_cast<const char*>(FindNamedArg(args, "filename")),
                               &info);
      return 1;
    }
    case 201:
      plugin->OnDocumentClosed(doc);
      return 1;
    case 202: {
      DocumentSaveInfo info{FindNamedArg(args, "xml_elem"), 0};
      plugin->OnDocumentSaved(doc, static_cast<const char*>(FindNamedArg(args, "filename")), &info);
      if (info.save_uid != 0) WriteInt(args, "save_uid", 1);
      return 1;
    }
    case 210:
      return plugin->OnEvent210(doc, ReadInt(args, "state", 0));
    case 211:
      return plugin->OnEvent211(doc, ReadInt(args, "state", 0));
    case 212:
      plugin->OnEvent212(doc, ReadInt(args, "state", 0), ReadInt(args, "size", 0));
      return 1;
    case 220:
      plugin->OnEvent220(doc);
      return 1;
    case 221:
      plugin->OnEvent221(doc);
      return 1;
    case 222:
      plugin->OnEvent222(doc);
      return 1;
    case 230:
      plugin->OnEvent230(doc);
      return 1;
    case 231:
      plugin->OnEvent231(doc);
      return 1;
    case 240:
      plugin->OnSceneEvent(doc, FindNamedArg(args, "scene"));
      return 1;
    default:
      // Codes this switch does not list answer 0 without touching the option pointer.
      return 0;
  }
}

// Runs an entry point's body and stops every exception at the host boundary:
// the host is C code that cannot unwind C++ frames.
template <typename Result, typename Body>
Result Guarded(Result neutral, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return neutral;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Base classes

MQBasePlugin::~MQBasePlugin() = default;

int32_t MQStationPlugin::GetPlugInType() { return kPluginType; }
const char* MQStationPlugin::EnumString() { return nullptr; }
BOOL MQStationPlugin::Initialize() { return 0; }
void MQStationPlugin::Exit() {}
BOOL MQStationPlugin::Activate(MQDocument /*doc*/, BOOL /*flag*/) { return 0; }
BOOL MQStationPlugin::IsActivated(MQDocument /*doc*/) { return 0; }
void MQStationPlugin::OnEvent102(MQDocument /*doc*/, BOOL /*flag*/) {}
int32_t MQStationPlugin::OnMessage(MQDocument /*doc*/, uint32_t /*src_product*/,
                                   uint32_t /*src_id*/, void* /*description*/, void* /*message*/) {
  return 0;
}
void MQStationPlugin::OnDrawScene(MQDocument /*doc*/, MQScene /*scene*/, int32_t /*width*/,
                                  int32_t /*height*/) {}
void MQStationPlugin::OnDocumentOpened(MQDocument /*doc*/, const char* /*filename*/,
                                       DocumentLoadInfo* /*info*/) {}
void MQStationPlugin::OnDocumentClosed(MQDocument /*doc*/) {}
void MQStationPlugin::OnDocumentSaved(MQDocument /*doc*/, const char* /*filename*/,
                                      DocumentSaveInfo* /*info*/) {}
BOOL MQStationPlugin::OnEvent210(MQDocument /*doc*/, int32_t /*state*/) { return 0; }
BOOL MQStationPlugin::OnEvent211(MQDocument /*doc*/, int32_t /*state*/) { return 0; }
void MQStationPlugin::OnEvent212(MQDocument /*doc*/, int32_t /*state*/, int32_t /*size*/) {}
void MQStationPlugin::OnEvent221(MQDocument /*doc*/) {}
void MQStationPlugin::OnEvent222(MQDocument /*doc*/) {}
void MQStationPlugin::OnEvent220(MQDocument /*doc*/) {}
void MQStationPlugin::OnEvent231(MQDocument /*doc*/) {}
void MQStationPlugin::OnEvent230(MQDocument /*doc*/) {}
void MQStationPlugin::OnSceneEvent(MQDocument /*doc*/, MQScene /*scene*/) {}

int32_t MQStationPlugin::OnStationCallback(MQDocument doc, MQStationCallbackRecord* record) {
  if (record == nullptr || record->proc == nullptr) return 0;
  return (this->*(record->proc))(doc);
}

void MQStationPlugin::NotifyWindowClosed() {
  uint32_t product = 0;
  uint32_t id = 0;
  GetPlugInID(&product, &id);
  void* options[] = {nullptr};  // an empty named-argument list
  PluginMessage message{product, id, 0, options};
  mq::CallHost<mq::HostFn::MQ_SendMessage>(kMessageWindowClosed, &message);
}

int32_t MQCommandPlugin::GetPlugInType() { return kPluginType; }

#define MQ_DEFAULT_MOUSE_EVENT(n)                                              \
  BOOL MQCommandPlugin::OnMouseEvent##n(MQDocument /*doc*/, MQScene /*scene*/, \
                                        MouseState* /*state*/) {               \
    return 0;                                                                  \
  }
MQ_DEFAULT_MOUSE_EVENT(120)
MQ_DEFAULT_MOUSE_EVENT(121)
MQ_DEFAULT_MOUSE_EVENT(122)
MQ_DEFAULT_MOUSE_EVENT(123)
MQ_DEFAULT_MOUSE_EVENT(124)
MQ_DEFAULT_MOUSE_EVENT(125)
MQ_DEFAULT_MOUSE_EVENT(126)
MQ_DEFAULT_MOUSE_EVENT(127)
MQ_DEFAULT_MOUSE_EVENT(128)
MQ_DEFAULT_MOUSE_EVENT(129)
MQ_DEFAULT_MOUSE_EVENT(130)
#undef MQ_DEFAULT_MOUSE_EVENT

BOOL MQCommandPlugin::OnKeyEvent140(MQDocument /*doc*/, MQScene /*scene*/, int32_t /*key*/,
                                    MouseState* /*state*/) {
  return 0;
}
BOOL MQCommandPlugin::OnKeyEvent141(MQDocument /*doc*/, MQScene /*scene*/, int32_t /*key*/,
                                    MouseState* /*state*/) {
  return 0;
}

// ---------------------------------------------------------------------------
// Helpers shared with widget event routing

void DecodeButtonState(int32_t button_state, MouseState& state) noexcept {
  const auto bit = [button_state](int32_t mask) { return (button_state & mask) != 0 ? 1 : 0; };
  state.left_button = bit(0x01);
  state.middle_button = bit(0x10);
  state.right_button = bit(0x02);
  state.shift_key = bit(0x04);
  state.ctrl_key = bit(0x08);
  state.bit5_flag = bit(0x20);
}

// ---------------------------------------------------------------------------
// Exported entry points

extern "C" MQ_EXPORT void MQ_CALL MQGetPlugInID(uint32_t* product, uint32_t* id) noexcept {
  Guarded(0, [&] {
    GetPluginClass()->GetPlugInID(product, id);
    return 0;
  });
}

extern "C" MQ_EXPORT const char* MQ_CALL MQGetPlugInName(void) noexcept {
  return Guarded<const char*>(nullptr, [] { return GetPluginClass()->GetPlugInName(); });
}

extern "C" MQ_EXPORT int32_t MQ_CALL MQGetPlugInType(void) noexcept {
  return Guarded(0, [] { return GetPluginClass()->GetPlugInType(); });
}

extern "C" MQ_EXPORT const char* MQ_CALL MQEnumString(int32_t index) noexcept {
  return Guarded<const char*>(nullptr, [index]() -> const char* {
    MQBasePlugin* plugin = GetPluginClass();
    switch (plugin->GetPlugInType()) {
      case 3:
      case 4:
      case 5: {
        auto* menu = dynamic_cast<MQMenuPlugin*>(plugin);
        return menu != nullptr ? menu->EnumString(index) : nullptr;
      }
      case 6:
      case 7: {
        // A station plug-in has one menu string; the null at index 1 ends the list.
        auto* station = dynamic_cast<MQStationPlugin*>(plugin);
        return index == 0 && station != nullptr ? station->EnumString() : nullptr;
      }
      default:
        return nullptr;
    }
  });
}

namespace {

MQFilePlugin* FilePlugin() {
  MQBasePlugin* plugin = GetPluginClass();
  const int32_t type = plugin->GetPlugInType();
  return type == 1 || type == 2 ? dynamic_cast<MQFilePlugin*>(plugin) : nullptr;
}

MQMenuPlugin* MenuPlugin() {
  MQBasePlugin* plugin = GetPluginClass();
  const int32_t type = plugin->GetPlugInType();
  return type >= 3 && type <= 5 ? dynamic_cast<MQMenuPlugin*>(plugin) : nullptr;
}

BOOL TransferFile(int32_t a, int32_t b, int32_t c) noexcept {
  return Guarded(0, [=] {
    MQFilePlugin* plugin = FilePlugin();
    return plugin != nullptr ? plugin->TransferFile(a, b, c) : 0;
  });
}

BOOL ExecuteMenu(int32_t a, int32_t b) noexcept {
  return Guarded(0, [=] {
    MQMenuPlugin* plugin = MenuPlugin();
    return plugin != nullptr ? plugin->Execute(a, b) : 0;
  });
}

}  // namespace

extern "C" MQ_EXPORT const char* MQ_CALL MQEnumFileType(int32_t index) noexcept {
  return Guarded<const char*>(nullptr, [index]() -> const char* {
    MQFilePlugin* plugin = FilePlugin();
    return plugin != nullptr ? plugin->EnumFileType(index) : nullptr;
  });
}

extern "C" MQ_EXPORT const char* MQ_CALL MQEnumFileExt(int32_t index) noexcept {
  return Guarded<const char*>(nullptr, [index]() -> const char* {
    MQFilePlugin* plugin = FilePlugin();
    return plugin != nullptr ? plugin->EnumFileExt(index) : nullptr;
  });
}

extern "C" MQ_EXPORT BOOL MQ_CALL MQImportFile(int32_t a, int32_t b, int32_t c) noexcept {
  return TransferFile(a, b, c);
}
extern "C" MQ_EXPORT BOOL MQ_CALL MQExportFile(int32_t a, int32_t b, int32_t c) noexcept {
  return TransferFile(a, b, c);
}
extern "C" MQ_EXPORT BOOL MQ_CALL MQCreate(int32_t a, int32_t b) noexcept {
  return ExecuteMenu(a, b);
}
extern "C" MQ_EXPORT BOOL MQ_CALL MQModifyObject(int32_t a, int32_t b) noexcept {
  return ExecuteMenu(a, b);
}
extern "C" MQ_EXPORT BOOL MQ_CALL MQModifySelect(int32_t a, int32_t b) noexcept {
  return ExecuteMenu(a, b);
}

extern "C" MQ_EXPORT BOOL MQ_CALL MQOnEvent(MQDocument document, int32_t event,
                                            void* option) noexcept {
  return Guarded(0, [=] { return Dispatch(document, event, option); });
}
