// The operating system's loader, as the host uses it for plug-in libraries:
// dlopen on POSIX systems, LoadLibrary on Windows.
#pragma once

#include <string>

namespace vhost {

// A handle the caller must release with CloseLibrary, or null when `path` cannot
// be loaded (an empty path included: it would name the running program).
void* OpenLibrary(const std::string& path) noexcept;
// The address exported under `name`; null when there is none. Valid while loaded.
void* LibrarySymbol(void* library, const char* name) noexcept;
// Releases one OpenLibrary. Null is ignored.
void CloseLibrary(void* library) noexcept;

}  // namespace vhost
