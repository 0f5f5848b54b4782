// Keeping the settings tree in its file: loading and saving, the run's lock,
// the atomic replace, moving a broken file aside. See settings_tree.h for what
// the file promises.
#include <string>
#include <utility>

#include "host/core/signals_held.h"
#include "host/model/settings_node.h"
#include "host/model/settings_tree.h"

#if defined(VHOST_SETTINGS_FILES)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <pugixml.hpp>
#include <system_error>
#endif

namespace vhost {

#if defined(VHOST_SETTINGS_FILES)

namespace {

namespace fs = std::filesystem;

using Outcome = SettingsFileReport::Outcome;

std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Follows `path` through any chain of symlinks to the file a save replaces: the
// path itself when it is no link, the last target when that does not exist (yet).
// False, with errno set, when the chain cannot be followed.
bool FollowLinks(const std::string& path, std::string& target) {
  std::string current = path;
  for (int hops = 0; hops <= 40; ++hops) {  // the kernel's own limit
    struct stat link {};
    if (::lstat(current.c_str(), &link) != 0) {
      if (errno != ENOENT) return false;
      target = current;
      return true;
    }
    if (!S_ISLNK(link.st_mode)) {
      target = current;
      return true;
    }
    std::error_code ec;
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) {
      errno = ec.value();
      return false;
    }
    current =
        next.is_absolute() ? next.string() : (fs::path(current).parent_path() / next).string();
  }
  errno = ELOOP;
  return false;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "of an unknown kind";
}

// Lock files held by trees of this process, by device and inode, with the process
// that took each: a fork()ed child inherits the map but not the trouble, and may
// wait for its parent like any other run. flock() conflicts between two
// descriptors of one process as between two processes, so a second tree loading a
// file its own process holds would wait for itself forever.
std::mutex& HeldLocksMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::pair<dev_t, ino_t>, pid_t>& HeldLocks() {
  // Outlives every tree, even those destroyed at exit, so it is never destroyed;
  // built in static storage, it holds no heap memory while no lock is held.
  using Held = std::map<std::pair<dev_t, ino_t>, pid_t>;
  alignas(Held) static unsigned char storage[sizeof(Held)];
  static Held* const held = new (storage) Held;
  return *held;
}

// Lock files to remove should a termination signal end the process while it
// holds them: the signal's default action would leave them behind. A handler may
// only touch what is async-signal-safe, so the registry is a fixed array of
// slots, each claimed by one lock for as long as it is held, written while its
// owner is 0 and read by the handler only once the owner is set. The owner is
// the process that took the lock: a fork()ed child (an import's, say) inherits
// the slots and the handlers but must never remove its parent's lock.
struct SignalSlot {
  std::atomic<pid_t> owner{0};  // 0: free; -1: being filled; else the holder
  char path[4096] = {};
  dev_t device = 0;
  ino_t inode = 0;
};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read inside a signal handler");

// More trees than this holding locks at once go unregistered: their lock files
// are left behind by a signal, as before (harmless, the next run takes them).
constexpr int kSignalSlots = 8;
SignalSlot g_signalSlots[kSignalSlots];

// The signals whose default action ends the process and that a person or a job
// runner sends to stop it; a fault in the host itself is no reason to tidy up.
constexpr int kStopSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE, SIGALRM,
                                SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};

// Guards the installing and restoring of the handlers and the count of held
// slots; never taken inside the handler.
std::mutex& SignalSlotsMutex() {
  static std::mutex mutex;
  return mutex;
}
int g_slotsHeld = 0;
struct sigaction g_previous[std::size(kStopSignals)];
bool g_installed[std::size(kStopSignals)] = {};

void RemoveLocksAndStop(int signal) {
  const int savedErrno = errno;
  const pid_t self = ::getpid();
  for (SignalSlot& slot : g_signalSlots) {
    if (slot.owner.load(std::memory_order_acquire) != self) continue;
    // Only while the name still leads to the file this process locked.
    struct stat now {};
    if (::stat(slot.path, &now) == 0 && now.st_dev == slot.device && now.st_ino == slot.inode) {
      ::unlink(slot.path);
    }
  }
  // The default action, once this handler returns and the signal is unblocked.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  ::raise(signal);
  errno = savedErrno;
}

// Registers a held lock file; false when no slot is free or the path does not
// fit. The first one installs the handler on each stop signal whose action is
// still the default: one the process ignores or handles itself stays its own.
bool ArmSignalSlot(const std::string& path, dev_t device, ino_t inode) {
  if (path.size() >= sizeof(SignalSlot::path)) return false;
  const std::lock_guard<std::mutex> guard(SignalSlotsMutex());
  for (SignalSlot& slot : g_signalSlots) {
    pid_t expected = 0;
    if (!slot.owner.compare_exchange_strong(expected, -1)) continue;
    std::copy(path.begin(), path.end(), slot.path);
    slot.path[path.size()] = '\0';
    slot.device = device;
    slot.inode = inode;
    slot.owner.store(::getpid(), std::memory_order_release);
    if (g_slotsHeld++ == 0) {
      for (std::size_t s = 0; s < std::size(kStopSignals); ++s) {
        struct sigaction current {};
        g_installed[s] = false;
        if (::sigaction(kStopSignals[s], nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction handler {};
        handler.sa_handler = RemoveLocksAndStop;
        sigemptyset(&handler.sa_mask);
        for (int other : kStopSignals) sigaddset(&handler.sa_mask, other);
        handler.sa_flags = SA_RESTART;
        g_installed[s] = ::sigaction(kStopSignals[s], &handler, &g_previous[s]) == 0;
      }
    }
    return true;
  }
  return false;
}

// Lets the slot of a lock go before its file is removed; with the last one the
// handlers installed for it give way to what was there before, where nobody
// has changed them since.
void DisarmSignalSlot(dev_t device, ino_t inode) {
  const std::lock_guard<std::mutex> guard(SignalSlotsMutex());
  const pid_t self = ::getpid();
  for (SignalSlot& slot : g_signalSlots) {
    if (slot.owner.load(std::memory_order_acquire) != self || slot.device != device ||
        slot.inode != inode) {
      continue;
    }
    slot.owner.store(0, std::memory_order_release);
    if (--g_slotsHeld == 0) {
      for (std::size_t s = 0; s < std::size(kStopSignals); ++s) {
        if (!g_installed[s]) continue;
        g_installed[s] = false;
        struct sigaction current {};
        if (::sigaction(kStopSignals[s], nullptr, &current) == 0 &&
            (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == RemoveLocksAndStop) {
          ::sigaction(kStopSignals[s], &g_previous[s], nullptr);
        }
      }
    }
    return;
  }
}

// The stop signals, held back from a lock file's making to its handler's
// arming: a lock file made before its handler is armed would outlive a signal
// that came in between. A held signal arrives once released, by then to the
// handler.
sigset_t StopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : kStopSignals) sigaddset(&stops, signal);
  return stops;
}

// Opens "<target>.lock" without ever blocking in open() and locks it, waiting for
// another run if need be. Null when the run goes on unlocked; `notice` then says
// why (or stays empty when the directory itself is missing: nothing to protect
// yet, and the save will say so). `heldHere` when this process already holds it.
// A template, so that it reaches the tree's private lock type through the caller.
//
// The holder removes the lock file as it lets go, so a run that waited may wake
// holding a file no longer there while a newcomer locks a fresh one: a lock only
// counts once the name still leads to the very file locked, else it is tried anew.
template <typename LockT>
std::unique_ptr<LockT> TakeLock(const std::string& target,
                                const std::function<void(const std::string&)>& waiting,
                                std::string& notice, bool& heldHere) {
  const std::string path = target + ".lock";
  const auto unlocked = [&](const std::string& why) {
    notice = "cannot lock " + path + " (" + why +
             "); going on without protection against another run using the same settings";
    return nullptr;
  };
  bool waited = false;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const SignalsHeld held(StopSignals());  // from the file's making to its handler's arming
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
    int error = errno;
    // flock() needs no write access: a lock file another user created still serves.
    if (fd < 0 && (error == EACCES || error == EPERM || error == EROFS)) {
      fd = ::open(path.c_str(), O_RDONLY | kFlags);
      if (fd < 0 && errno != ENOENT) error = errno;  // else: it could not be created
    }
    if (fd < 0) {
      if (error == ENOENT) return nullptr;
      return unlocked(ErrnoText(error));
    }
    auto lock = std::make_unique<LockT>();
    lock->fd = fd;  // closed by the lock from here on
    lock->path = path;
    struct stat file {};
    if (::fstat(fd, &file) != 0) return unlocked(ErrnoText(errno));
    if (!S_ISREG(file.st_mode)) return unlocked(std::string("it is ") + KindOf(file.st_mode));
    {
      const std::lock_guard<std::mutex> guard(HeldLocksMutex());
      pid_t& holder = HeldLocks()[{file.st_dev, file.st_ino}];
      if (holder == ::getpid()) {
        heldHere = true;
        return nullptr;
      }
      holder = ::getpid();
    }
    lock->owner = ::getpid();  // from here on the destructor unlocks and forgets it
    lock->device = file.st_dev;
    lock->inode = file.st_ino;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) return unlocked(ErrnoText(errno));
      if (!waited && waiting) {
        waiting("waiting for another run using settings file " + target + " to finish");
      }
      waited = true;
      // Another run made the file and will remove it: a stop while waiting for
      // it may take its default course.
      sigset_t during;
      ::pthread_sigmask(SIG_SETMASK, &held.previous(), &during);
      int result = 0;
      do {
        result = ::flock(fd, LOCK_EX);
      } while (result != 0 && errno == EINTR);
      ::pthread_sigmask(SIG_SETMASK, &during, nullptr);
      if (result != 0) return unlocked(ErrnoText(errno));
    }
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0 || named.st_dev != file.st_dev ||
        named.st_ino != file.st_ino) {
      continue;  // its holder removed it on the way out; the lock goes with `lock`
    }
    lock->named = true;
    ArmSignalSlot(path, file.st_dev, file.st_ino);
    if (waited) {
      const std::chrono::duration<double> wait = std::chrono::steady_clock::now() - start;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f", wait.count());
      notice = "waited " + std::string(seconds) + " s for another run using settings file " +
               target + " to finish";
    }
    return lock;
  }
}

// Reads the whole of an open file; on failure, why.
bool ReadWholeFile(int fd, std::string& content, std::string& problem) {
  content.clear();
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      problem = "cannot be read (" + ErrnoText(errno) + ")";
      return false;
    }
    if (got == 0) return true;
    content.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t put = ::write(fd, data.data() + written, data.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;  // no progress and no reason given
    if (put <= 0) return false;
    written += static_cast<std::size_t>(put);
  }
  return true;
}

// "<path>.broken-YYYYMMDD-HHMMSS", with a counter when that name is taken.
std::string BrokenName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".broken-" + stamp;
  std::string candidate = base;
  std::error_code ec;
  for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n) {
    candidate = base + "-" + std::to_string(n);
  }
  return candidate;
}

struct StringWriter final : pugi::xml_writer {
  std::string data;
  void write(const void* bytes, std::size_t size) override {
    data.append(static_cast<const char*>(bytes), size);
  }
};

// Converts a parsed element into the host's nodes, iteratively; false when the
// file nests deeper than the tree allows. Templates, so that they reach the tree's
// private node type through deduction.
template <typename NodeT>
bool Convert(const pugi::xml_node& source, NodeT& target, int max_depth) {
  std::vector<std::pair<pugi::xml_node, NodeT*>> pending{{source, &target}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    to->name = from.name();
    for (const pugi::xml_attribute& attribute : from.attributes()) {
      to->attributes.emplace_back(attribute.name(), attribute.value());
    }
    for (const pugi::xml_node& child : from.children()) {
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
        to->text = to->text.value_or(std::string()) + child.value();
      } else if (child.type() == pugi::node_element) {
        if (to->depth >= max_depth) return false;
        auto node = std::make_unique<NodeT>();
        node->parent = to;
        node->depth = to->depth + 1;
        pending.emplace_back(child, node.get());
        to->children.push_back(std::move(node));
      }
    }
  }
  return true;
}

template <typename NodeT>
void Emit(const NodeT& source, pugi::xml_node target) {
  target.set_name(source.name.c_str());
  for (const auto& [name, value] : source.attributes) {
    target.append_attribute(name.c_str()).set_value(value.c_str());
  }
  if (source.text && !source.text->empty()) {
    target.append_child(pugi::node_pcdata).set_value(source.text->c_str());
  }
  for (const auto& child : source.children) Emit(*child, target.append_child(pugi::node_element));
}

}  // namespace

SettingsTree::FileLock::~FileLock() {
  if (owner != 0) {
    // Only the process that took the lock gives it up: a fork()ed child's unlock
    // would release the parent's lock too, as both share one open file.
    if (owner == ::getpid()) {
      if (named) DisarmSignalSlot(device, inode);
      // Removed while still locked, and only while the name still leads to it: a run
      // waiting on this file then sees it gone and takes a fresh one.
      struct stat now {};
      if (named && ::stat(path.c_str(), &now) == 0 && now.st_dev == device && now.st_ino == inode) {
        ::unlink(path.c_str());
      }
      ::flock(fd, LOCK_UN);
    }
    const std::lock_guard<std::mutex> guard(HeldLocksMutex());
    const auto held = HeldLocks().find({device, inode});
    if (held != HeldLocks().end() && held->second == owner) HeldLocks().erase(held);
  }
  if (fd >= 0) ::close(fd);
}

SettingsFileReport SettingsTree::LoadFile(const std::string& path,
                                          const std::function<void(const std::string&)>& waiting) {
  Reset();  // whatever happens below, the host starts from what the file gives
  path_ = path;
  target_ = path;
  SettingsFileReport report;
  std::string notice;  // said even when all goes well: the run waited, or goes unlocked

  const auto described = [this] {
    return target_ == path_ ? path_ : path_ + " (a link to " + target_ + ")";
  };
  // The tree stays empty and nothing is ever written over the file; the lock, if
  // taken, goes: there is nothing for another run to wait for.
  const auto unusable = [&](const std::string& problem, const std::string& reason) {
    saveBlocked_ = reason;
    lock_.reset();
    report.outcome = Outcome::kUnusable;
    report.message = "settings file " + described() + " " + problem +
                     "; starting with empty settings, which will not be saved over it";
    if (!notice.empty()) report.message = notice + "; " + report.message;
    return report;
  };

  if (!FollowLinks(path, target_)) {
    const std::string error = ErrnoText(errno);
    return unusable("cannot be examined (" + error + ")", "it cannot be examined");
  }
  // Settled before any lock: /dev/null or a FIFO is never saved, so it gets no lock
  // file beside it, and nothing is opened that could block.
  struct stat found {};
  if (::stat(target_.c_str(), &found) != 0 && errno != ENOENT) {
    const std::string error = ErrnoText(errno);
    return unusable("cannot be examined (" + error + ")", "it cannot be examined");
  }
  if (found.st_mode != 0 && !S_ISREG(found.st_mode)) {
    const std::string kind = KindOf(found.st_mode);
    return unusable("is not a regular file (it is " + kind + ")", "it is " + kind);
  }

  bool heldHere = false;
  lock_ = TakeLock<FileLock>(target_, waiting, notice, heldHere);
  if (heldHere) {
    saveBlocked_ = "another settings tree of this process has it";
    heldElsewhere_ = true;
    report.message = "settings file " + described() +
                     " is already loaded by another settings tree of this process and not yet "
                     "saved; starting with empty settings, which will not be saved over it";
    return report;  // kFailed: the caller's own mistake, waiting would never end
  }

  // Only now, under the lock: a run that held it may just have written the file.
  const int fd = ::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  std::string problem;
  std::string content;
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) {
      report.outcome = Outcome::kMissing;
      report.message = notice;
      return report;
    }
    // This user may not read it: nothing is wrong with its content, so it stays put.
    if (error == EACCES || error == EPERM) {
      return unusable("cannot be read (" + ErrnoText(error) + ")", "it may not be read");
    }
    problem = "cannot be read (" + ErrnoText(error) + ")";
  } else {
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && !S_ISREG(opened.st_mode)) {
      ::close(fd);
      const std::string kind = KindOf(opened.st_mode);
      return unusable("is not a regular file (it is " + kind + ")", "it is " + kind);
    }
    ReadWholeFile(fd, content, problem);
    ::close(fd);
  }

  auto root = std::make_unique<Node>();
  if (problem.empty()) {
    pugi::xml_document document;
    const unsigned flags = pugi::parse_default | pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result parsed =
        document.load_buffer(content.data(), content.size(), flags, pugi::encoding_auto);
    const auto elements = std::count_if(document.begin(), document.end(), [](const auto& node) {
      return node.type() == pugi::node_element;
    });
    if (!parsed) {
      problem = "is malformed (" + std::string(parsed.description()) + " at byte " +
                std::to_string(parsed.offset) + ")";
    } else if (elements != 1) {
      problem = "is malformed (" + std::to_string(elements) + " top-level elements, not one)";
    } else if (!Convert(document.document_element(), *root, kMaxDepth)) {
      problem = "is malformed (elements nest deeper than " + std::to_string(kMaxDepth) + " levels)";
    }
  }
  if (problem.empty()) {
    Adopt(std::move(root));
    report.outcome = Outcome::kLoaded;
    report.message = notice;
    return report;
  }

  // The target moves aside, not a symlink leading to it: the link stays and the
  // next save gives it a fresh target.
  const std::string aside = BrokenName(target_);
  if (::rename(target_.c_str(), aside.c_str()) != 0) {
    const std::string error = ErrnoText(errno);
    return unusable(problem + " and cannot be moved aside (" + error + ")",
                    "it could be neither read nor moved aside");
  }
  report.outcome = Outcome::kRecovered;
  report.movedTo = aside;
  report.message = "settings file " + described() + " " + problem + "; moved it aside to " + aside +
                   " and started with empty settings";
  if (!notice.empty()) report.message = notice + "; " + report.message;
  return report;
}

SettingsFileReport SettingsTree::SaveFile() {
  SettingsFileReport report;
  if (path_.empty()) {
    report.message = "no settings file to save to: none was loaded";
    return report;
  }
  if (!saveBlocked_.empty()) {
    if (!heldElsewhere_) report.outcome = Outcome::kUnusable;
    report.message = "settings not saved over " + path_ + ": " + saveBlocked_;
    return report;
  }
  if (saved_) {
    // The lock went with the first save; another run may have saved since.
    report.message = "settings already saved to " + path_ +
                     "; not saving again without loading the file again first, which could "
                     "overwrite another run's changes";
    return report;
  }

  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  Emit(*root_, document.append_child(pugi::node_element));
  StringWriter writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);

  // The new content goes to a temporary file beside the target and replaces it in
  // one rename: a crash leaves either the old file or the new one, never a torn one.
  // No signal ends the process while the temporary file exists: it is either
  // renamed into place or removed before one can act.
  std::string temporary = target_ + ".tmp-XXXXXX";
  struct stat old {};
  const bool replacing = ::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  int error = 0;
  bool created = false;
  {
    const SignalsHeld held(TerminationSignals());
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
      error = errno;
    } else {
      created = true;
      if (replacing) ::fchmod(fd, old.st_mode & 0777);
      if (!WriteAll(fd, writer.data) || ::fsync(fd) != 0) error = errno;
      if (::close(fd) != 0 && error == 0) error = errno;
      if (error == 0 && whileSaving != nullptr) whileSaving(temporary.c_str());
      if (error == 0 && ::rename(temporary.c_str(), target_.c_str()) != 0) error = errno;
      if (error != 0) ::unlink(temporary.c_str());
    }
    if (error == 0) {
      // Make the rename itself durable; a failure here loses nothing already written.
      std::string directory = fs::path(target_).parent_path().string();
      if (directory.empty()) directory = ".";
      const int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
      }
      // Still under the held signals, so that a signal sent during the save leaves
      // no lock file behind either.
      saved_ = true;
      lock_.reset();  // the file is complete: the next run may have it
    }
  }
  if (error != 0) {
    report.message = "cannot write settings file " + path_ + " (" + ErrnoText(error) + ")";
    if (created) report.message += "; the previous file is unchanged";
    return report;  // the lock stays: the caller may try again
  }
  report.outcome = Outcome::kSaved;
  return report;
}

#else  // settings in memory only

SettingsFileReport SettingsTree::LoadFile(const std::string& path,
                                          const std::function<void(const std::string&)>&) {
  Reset();
  path_ = path;
  SettingsFileReport report;
  report.outcome = SettingsFileReport::Outcome::kUnsupported;
  report.message = "this host keeps its settings in memory only; " + path + " is not read";
  return report;
}

SettingsFileReport SettingsTree::SaveFile() {
  SettingsFileReport report;
  report.outcome = SettingsFileReport::Outcome::kUnsupported;
  report.message = "this host keeps its settings in memory only; nothing is written";
  return report;
}

#endif

}  // namespace vhost
