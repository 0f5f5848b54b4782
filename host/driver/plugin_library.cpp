#include "host/driver/plugin_library.h"

#include <stdexcept>

#include "platform/module.h"

namespace vhost {

namespace {

template <typename Fn>
void Resolve(void* module, const char* name, const std::string& path, Fn& target) {
  void* address = platform::SystemModuleLoader().Symbol(module, name);
  if (address == nullptr) {
    throw std::runtime_error(path + ": not a plug-in: it does not export " + name);
  }
  target = reinterpret_cast<Fn>(address);
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path) {
  void* module = platform::SystemModuleLoader().Open(path.c_str());
  if (module == nullptr) throw std::runtime_error(path + ": cannot load the plug-in library");
  std::unique_ptr<PluginLibrary> library(new PluginLibrary(path, module));
  EntryPoints& e = library->entries_;
  Resolve(module, "MQCheckVersion", path, e.checkVersion);
  Resolve(module, "MQInit", path, e.init);
  Resolve(module, "MQGetPlugInID", path, e.getPlugInId);
  Resolve(module, "MQGetPlugInName", path, e.getPlugInName);
  Resolve(module, "MQGetPlugInType", path, e.getPlugInType);
  Resolve(module, "MQEnumString", path, e.enumString);
  Resolve(module, "MQEnumFileType", path, e.enumFileType);
  Resolve(module, "MQEnumFileExt", path, e.enumFileExt);
  Resolve(module, "MQImportFile", path, e.importFile);
  Resolve(module, "MQExportFile", path, e.exportFile);
  Resolve(module, "MQCreate", path, e.create);
  Resolve(module, "MQModifyObject", path, e.modifyObject);
  Resolve(module, "MQModifySelect", path, e.modifySelect);
  Resolve(module, "MQOnEvent", path, e.onEvent);
  return library;
}

PluginLibrary::~PluginLibrary() { platform::SystemModuleLoader().Close(module_); }

PluginIdentity PluginLibrary::Identity() const {
  PluginIdentity identity;
  entries_.getPlugInId(&identity.product, &identity.id);
  if (const char* name = entries_.getPlugInName()) identity.name = name;
  identity.type = entries_.getPlugInType();
  // A host stops at the first null; the cap guards against a plug-in that never ends.
  constexpr int32_t kMaxMenuStrings = 256;
  for (int32_t i = 0; i < kMaxMenuStrings; ++i) {
    const char* text = entries_.enumString(i);
    if (text == nullptr) break;
    identity.menuStrings.emplace_back(text);
  }
  return identity;
}

}  // namespace vhost
