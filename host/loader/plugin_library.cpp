#include "host/loader/plugin_library.h"

#include <stdexcept>

#include "host/loader/shared_library.h"

namespace vhost {

namespace {

template <typename Fn>
void Resolve(void* module, const char* name, const std::string& path, Fn& target) {
  void* address = LibrarySymbol(module, name);
  if (address == nullptr) {
    throw std::runtime_error(path + ": not a plug-in: it does not export " + name);
  }
  target = reinterpret_cast<Fn>(address);
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path) {
  std::string why;
  void* module = OpenLibrary(path, &why);
  if (module == nullptr) {
    throw std::runtime_error(path + ": cannot load the plug-in library: " + why);
  }
  std::unique_ptr<PluginLibrary> library(new PluginLibrary(path, module));
  EntryPoints& e = library->entries_;
#define MQ_ENTRY_POINT(name, result, parameters) Resolve(module, #name, path, e.name);
#include "protocol/entry_points.inc"
#undef MQ_ENTRY_POINT
  return library;
}

PluginLibrary::~PluginLibrary() { CloseLibrary(module_); }

PluginIdentity PluginLibrary::Identity() const {
  PluginIdentity identity;
  entries_.MQGetPlugInID(&identity.product, &identity.id);
  if (const char* name = entries_.MQGetPlugInName()) identity.name = name;
  identity.type = entries_.MQGetPlugInType();
  // A host stops at the first null; the cap guards against a plug-in that never ends.
  constexpr int32_t kMaxMenuStrings = 256;
  for (int32_t i = 0; i < kMaxMenuStrings; ++i) {
    const char* text = entries_.MQEnumString(i);
    if (text == nullptr) break;
    identity.menuStrings.emplace_back(text);
  }
  return identity;
}

}  // namespace vhost
