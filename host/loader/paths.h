// Where the running program lives, to find what is installed beside it.
#pragma once

#include <string>

namespace vhost {

// Directory of the running executable, without a trailing separator.
std::string ExecutableDirectory();

// `file` in the directory of the running executable.
std::string BesideExecutable(const std::string& file);

// Where a file shipped with the tool is, for a tool in `directory`: beside it
// (a build tree, the Windows zip) if it is there, else in ../lib/veltrane/ (an
// installed tree: the tool in PREFIX/bin/, what it loads in
// PREFIX/lib/veltrane/) if it is there, else beside it still, so that the
// error of a tree that has neither names the first place looked in.
std::string FindShippedFile(const std::string& directory, const std::string& file);

// FindShippedFile for the running executable: the default of --plugin.
std::string FindShippedFile(const std::string& file);

// File name of the plug-in library on this platform.
#if defined(_WIN32)
inline constexpr const char* kPluginFileName = "Veltrane.dll";
#else
inline constexpr const char* kPluginFileName = "Veltrane.so";
#endif

}  // namespace vhost
