#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/module.h"

namespace platform {
namespace {

class Win32ModuleLoader final : public ModuleLoader {
 public:
  ModuleHandle Open(const char* path) noexcept override {
    if (path == nullptr || *path == '\0') return nullptr;
    return LoadLibraryA(path);
  }
  void* Symbol(ModuleHandle module, const char* name) noexcept override {
    if (module == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
  }
  void Close(ModuleHandle module) noexcept override {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
  }
};

}  // namespace

ModuleLoader& SystemModuleLoader() noexcept {
  static Win32ModuleLoader loader;
  return loader;
}

}  // namespace platform
