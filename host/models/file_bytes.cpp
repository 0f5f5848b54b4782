#include "host/models/file_bytes.h"

#include "host/models/model_error.h"
#include "host/models/source_text.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#endif

namespace vhost::models {

#if !defined(_WIN32)

namespace {

// Below this, reading costs less than mapping and unmapping.
constexpr uint64_t kMapFrom = uint64_t{1} << 20;

// The mappings being read, for the handler of SIGBUS: one per reader at work at
// once, a slot free while its `begin` is 0.
struct Watched {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> changed{false};
};
Watched watched[16];
uintptr_t pageSize = 4096;
struct sigaction previous {};

// A fault in a watched mapping is a page past the file's end: zeros take its
// place, and the mapping is marked. Any other is handled as it would have been
// without us.
void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (Watched& w : watched) {
    const uintptr_t begin = w.begin.load();
    if (begin == 0 || at < begin || at >= w.end.load()) continue;
    void* page = static_cast<char*>(info->si_addr) - (at & (pageSize - 1));
    if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      w.changed.store(true);
      return;
    }
    break;
  }
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else {
    // The fault repeats on return, and the system's default ends the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGBUS, &fallback, nullptr);
  }
}

void WatchBusErrors() {
  static std::once_flag once;
  std::call_once(once, [] {
    pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previous);
  });
}

}  // namespace

struct FileBytes::Mapping {
  void* address = nullptr;
  std::size_t size = 0;
  Watched* slot = nullptr;
};

FileBytes::FileBytes(const std::string& path, uint64_t maxBytes) : path_(path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<uint64_t>(status.st_size) >= kMapFrom &&
      static_cast<uint64_t>(status.st_size) <= maxBytes) {
    WatchBusErrors();
    for (Watched& w : watched) {
      uintptr_t free = 0;
      // Claimed with a placeholder, so that no fault matches it before it is mapped.
      if (!w.begin.compare_exchange_strong(free, UINTPTR_MAX)) continue;
      const auto size = static_cast<std::size_t>(status.st_size);
      // Populated at once: one call fills the page table, not a fault per page.
      void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
      if (address == MAP_FAILED) {
        w.begin.store(0);
        break;
      }
      mapping_ = std::make_unique<Mapping>(Mapping{address, size, &w});
      w.changed.store(false);
      w.end.store(reinterpret_cast<uintptr_t>(address) + size);
      w.begin.store(reinterpret_cast<uintptr_t>(address));
      view_ = std::string_view(static_cast<const char*>(address), size);
      break;
    }
  }
  if (fd >= 0) close(fd);  // a mapping outlives its descriptor
  if (!mapping_) {
    read_ = ReadWholeFile(path, maxBytes);
    view_ = read_;
  }
}

FileBytes::~FileBytes() {
  if (!mapping_) return;
  mapping_->slot->begin.store(0);
  munmap(mapping_->address, mapping_->size);
}

void FileBytes::ThrowIfChanged() const {
  if (mapping_ && mapping_->slot->changed.load()) {
    throw ModelError(path_, 0, "it changed while it was read (it is shorter than it was)");
  }
}

#else

struct FileBytes::Mapping {};

FileBytes::FileBytes(const std::string& path, uint64_t maxBytes)
    : path_(path), read_(ReadWholeFile(path, maxBytes)), view_(read_) {}

FileBytes::~FileBytes() = default;

void FileBytes::ThrowIfChanged() const {}

#endif

}  // namespace vhost::models
