#include "host/loader/shared_library.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>
#else
#include <dlfcn.h>
#endif

namespace vhost {

namespace {

#if defined(_WIN32)
// The system's sentence for `code`, without its line end and final full stop,
// and the code itself, which is what a search finds.
std::string SystemText(DWORD code) {
  char* text = nullptr;  // allocated by FormatMessageA, released with LocalFree
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string sentence = length != 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n' ||
                               sentence.back() == ' ' || sentence.back() == '.')) {
    sentence.pop_back();
  }
  const std::string number = "error " + std::to_string(code);
  return sentence.empty() ? number : sentence + " (" + number + ")";
}

// LoadLibraryA searches its own list of folders (the host's first) for a relative
// name, and wants backslashes: the full path names the one file meant.
std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<char> full(needed);
  const DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
  return length != 0 && length < needed ? std::string(full.data(), length) : path;
}
#endif

}  // namespace

void* OpenLibrary(const std::string& path, std::string* why) noexcept {
  if (path.empty()) {
    if (why != nullptr) *why = "no file named";
    return nullptr;
  }
  try {
#if defined(_WIN32)
    void* library = LoadLibraryA(FullPath(path).c_str());
    if (library == nullptr && why != nullptr) *why = SystemText(GetLastError());
    return library;
#else
    // dlopen looks a name without a slash up in the library path and the host's
    // run path, where the host's own plug-in lies: "./" keeps it the file named.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && why != nullptr) {
      const char* error = dlerror();
      std::string reason = error != nullptr ? error : "the loader gave no reason";
      if (reason.compare(0, file.size() + 2, file + ": ") == 0) reason.erase(0, file.size() + 2);
      *why = reason;
    }
    return library;
#endif
  } catch (...) {  // out of memory for a text: before loading, or after a failed load
    return nullptr;
  }
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
