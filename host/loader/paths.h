// Where the running program lives, to find what is installed beside it.
#pragma once

#include <string>

namespace vhost {

// Directory of the running executable, without a trailing separator.
std::string ExecutableDirectory();

// `file` in the directory of the running executable.
std::string BesideExecutable(const std::string& file);

// File name of the plug-in library on this platform.
#if defined(_WIN32)
inline constexpr const char* kPluginFileName = "Veltrane.dll";
#else
inline constexpr const char* kPluginFileName = "Veltrane.so";
#endif

}  // namespace vhost
