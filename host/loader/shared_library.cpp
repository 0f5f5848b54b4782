#include "host/loader/shared_library.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vhost {

void* OpenLibrary(const std::string& path) noexcept {
  if (path.empty()) return nullptr;
#if defined(_WIN32)
  return LoadLibraryA(path.c_str());
#else
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void* LibrarySymbol(void* library, const char* name) noexcept {
  if (library == nullptr || name == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

void CloseLibrary(void* library) noexcept {
  if (library == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

}  // namespace vhost
