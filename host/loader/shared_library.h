// The operating system's loader, as the host uses it for plug-in libraries:
// dlopen on POSIX systems, LoadLibrary on Windows.
#pragma once

#include <string>

namespace vhost {

// A handle the caller must release with CloseLibrary, or null when `path` cannot
// be loaded (an empty path included: it would name the running program). `path`
// always names a file, relative to the working directory when it is not
// absolute: never a name the loader looks up in its search path, which would
// load some other library of that name (the one beside the host, say). When
// `why` is given, a failure fills it with the loader's own reason (dlerror(), or
// the system's text for GetLastError()), without the path when the loader
// starts with it; it is left alone on success.
void* OpenLibrary(const std::string& path, std::string* why = nullptr) noexcept;
// The address exported under `name`; null when there is none. Valid while loaded.
void* LibrarySymbol(void* library, const char* name) noexcept;
// Releases one OpenLibrary. Null is ignored.
void CloseLibrary(void* library) noexcept;

}  // namespace vhost
