// Loading a module and resolving its exported functions by name.
//
// Windows uses LoadLibraryA / GetProcAddress / FreeLibrary; POSIX systems use
// dlopen / dlsym / dlclose. Callers go through ActiveModuleLoader(), so a test that
// links this layer directly can install its own loader to count opens and closes
// or to make a load fail. The shipped library never swaps it.
#pragma once

namespace platform {

using ModuleHandle = void*;

class ModuleLoader {
 public:
  ModuleLoader() = default;
  ModuleLoader(const ModuleLoader&) = delete;
  ModuleLoader& operator=(const ModuleLoader&) = delete;
  virtual ~ModuleLoader() = default;

  // Returns a handle the caller must release with Close, or null when the
  // module cannot be loaded. A module that is already loaded is found again.
  virtual ModuleHandle Open(const char* path) noexcept = 0;
  // The address exported under `name`, or null. Valid while the module is loaded.
  virtual void* Symbol(ModuleHandle module, const char* name) noexcept = 0;
  // Releases one Open. Null is ignored.
  virtual void Close(ModuleHandle module) noexcept = 0;
};

// The operating system's loader.
ModuleLoader& SystemModuleLoader() noexcept;

// The loader that binding uses: the system's unless a test installed another.
ModuleLoader& ActiveModuleLoader() noexcept;

// Installs `loader` (null restores the system's) and returns the one it replaces.
// The caller keeps ownership and must restore the previous loader before it dies.
ModuleLoader* SetActiveModuleLoader(ModuleLoader* loader) noexcept;

}  // namespace platform
