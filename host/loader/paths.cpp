#include "host/loader/paths.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vhost {

std::string ExecutableDirectory() {
#if defined(_WIN32)
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) throw std::runtime_error("cannot name the executable");
  const std::string self(buffer, length);
#else
  char buffer[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) throw std::runtime_error("cannot name the executable");
  const std::string self(buffer, static_cast<std::size_t>(length));
#endif
  const std::size_t slash = self.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

namespace {

#if defined(_WIN32)
constexpr const char* kSeparator = "\\";
#else
constexpr const char* kSeparator = "/";
#endif

bool IsFile(const std::string& path) {
  std::error_code error;  // a place that cannot be looked at holds nothing
  return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

}  // namespace

std::string BesideExecutable(const std::string& file) {
  return ExecutableDirectory() + kSeparator + file;
}

std::string FindShippedFile(const std::string& directory, const std::string& file) {
  std::string beside = directory + kSeparator + file;
  if (IsFile(beside)) return beside;
  std::string installed = directory + kSeparator + ".." + kSeparator + "lib" + kSeparator +
                          "veltrane" + kSeparator + file;
  if (IsFile(installed)) return installed;
  return beside;
}

std::string FindShippedFile(const std::string& file) {
  return FindShippedFile(ExecutableDirectory(), file);
}

}  // namespace vhost
