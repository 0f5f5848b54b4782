#include "host/loader/paths.h"

#include <stdexcept>

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

std::string BesideExecutable(const std::string& file) {
#if defined(_WIN32)
  return ExecutableDirectory() + "\\" + file;
#else
  return ExecutableDirectory() + "/" + file;
#endif
}

}  // namespace vhost
