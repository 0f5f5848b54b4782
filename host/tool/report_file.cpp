#include "host/tool/report_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/core/signals_held.h"
#include "host/models/models.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vtool {
namespace {

std::string Failed(const std::string& path, const std::string& reason) {
  return "cannot write " + vhost::Printable(path) + " (" + reason + ")";
}

}  // namespace

#if defined(_WIN32)

std::string ReplaceWhole(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp-" + std::to_string(GetCurrentProcessId());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return Failed(path, std::strerror(errno));
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return Failed(path, "write error");
  }
  if (MoveFileExA(temporary.c_str(), path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    std::remove(temporary.c_str());
    return Failed(path, "cannot replace the file, error " + std::to_string(GetLastError()));
  }
  return "";
}

#else

std::string ReplaceWhole(const std::string& path, const std::string& content) {
  const vhost::SignalsHeld held(vhost::TerminationSignals());
  std::string temporary = path + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return Failed(path, std::strerror(errno));
  // mkostemp makes the file 0600; a report is read by others as any file
  // written here would be.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  int error = 0;
  for (std::size_t done = 0; done < content.size() && error == 0;) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return Failed(path, std::strerror(error));
  }
  return "";
}

#endif

std::string AppendToFile(const std::string& path, const std::string& content) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return Failed(path, std::strerror(errno));
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const int error = errno;
  if (std::fclose(file) != 0 || !written) {
    return Failed(path, written ? std::strerror(errno) : std::strerror(error));
  }
  return "";
}

}  // namespace vtool
