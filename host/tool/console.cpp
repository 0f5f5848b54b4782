#include "host/tool/console.h"

#include <string>

#include "host/tool/result.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace vtool {

Console::Console(std::FILE* err) : err_(err), tty_(isatty(fileno(err)) != 0) {}

void Console::Line(const std::string& line) {
  ClearBar();
  std::fprintf(err_, "%s\n", line.c_str());
}

vhost::LoadProgress Console::Bar(const std::string& path) {
  if (!tty_) return {};
  return [this, name = ShownName(path)](uint64_t done, uint64_t total) {
    if (total < (8u << 20)) return;  // small files load before a bar would help
    const int width = 30;
    const int filled = static_cast<int>(width * done / total);
    std::fprintf(err_, "\rloading %s [%s%s] %3d%%", name.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(width - filled), ' ').c_str(),
                 static_cast<int>(100 * done / total));
    std::fflush(err_);
    barShown_ = true;
    if (done >= total) ClearBar();
  };
}

void Console::ClearBar() {
  if (!barShown_) return;
  std::fprintf(err_, "\r\033[K");
  std::fflush(err_);
  barShown_ = false;
}

}  // namespace vtool
