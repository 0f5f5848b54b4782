#include <dlfcn.h>

#include "platform/module.h"

namespace platform {
namespace {

class PosixModuleLoader final : public ModuleLoader {
 public:
  ModuleHandle Open(const char* path) noexcept override {
    // dlopen(NULL) would hand back the main program: a missing path is a failure.
    if (path == nullptr || *path == '\0') return nullptr;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
  }
  void* Symbol(ModuleHandle module, const char* name) noexcept override {
    if (module == nullptr || name == nullptr) return nullptr;
    return dlsym(module, name);
  }
  void Close(ModuleHandle module) noexcept override {
    if (module != nullptr) dlclose(module);
  }
};

}  // namespace

ModuleLoader& SystemModuleLoader() noexcept {
  static PosixModuleLoader loader;
  return loader;
}

}  // namespace platform
