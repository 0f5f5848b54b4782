// validator [--seed N] [--cases N] [--steps N] [--cycles N] [--loads N]
//           [--alloc-stride N] [--timeout S] [--only SUITE]
//
// Prints the seed first; `--seed N --cases 1` replays exactly the case that ran
// with seed N (every failure prints its own replay line). Exits non-zero when
// any case fails, crashes, hangs or leaks.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "tests/support/plugin_under_test.h"
#include "validator.h"

namespace validator {

std::string PluginPath() { return testing_support::PluginUnderTest(); }

ChildEnd RunChild(const std::string& label, int timeout,
                  const std::function<void(ChildReport&)>& body, ChildReport& report) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(pipeFds[0]);
    alarm(static_cast<unsigned>(timeout));  // the watchdog: SIGALRM ends a hung case
    int code = 0;
    ChildReport mine;
    try {
      body(mine);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", label.c_str(), e.what());
      code = 3;
    }
    const ssize_t written = write(pipeFds[1], &mine, sizeof mine);
    (void)written;
    close(pipeFds[1]);
    std::fflush(nullptr);
    std::exit(code);  // runs LeakSanitizer's check in sanitizer builds
  }
  close(pipeFds[1]);
  ChildReport received;
  if (read(pipeFds[0], &received, sizeof received) == sizeof received) report = received;
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFSIGNALED(status)) {
    if (WTERMSIG(status) == SIGALRM) {
      std::fprintf(stderr, "%s: hung (no end after %d s)\n", label.c_str(), timeout);
      return ChildEnd::kHung;
    }
    std::fprintf(stderr, "%s: crashed with signal %d (%s)\n", label.c_str(), WTERMSIG(status),
                 strsignal(WTERMSIG(status)));
    return ChildEnd::kCrashed;
  }
  switch (WEXITSTATUS(status)) {
    case 0:
      return ChildEnd::kPassed;
    case 3:
      return ChildEnd::kFailed;
    case 23:  // LeakSanitizer's exit code
      std::fprintf(stderr, "%s: LeakSanitizer reported a leak\n", label.c_str());
      return ChildEnd::kLeaked;
    default:
      std::fprintf(stderr, "%s: ended with exit code %d (a sanitizer report or abort)\n",
                   label.c_str(), WEXITSTATUS(status));
      return ChildEnd::kCrashed;
  }
}

void Tally(ChildEnd end, const std::string& label, const std::string& replay, Figures& figures) {
  ++figures.runs;
  switch (end) {
    case ChildEnd::kPassed:
      return;
    case ChildEnd::kFailed:
      ++figures.failures;
      break;
    case ChildEnd::kCrashed:
      ++figures.crashes;
      break;
    case ChildEnd::kHung:
      ++figures.hangs;
      break;
    case ChildEnd::kLeaked:
      ++figures.leaks;
      break;
  }
  std::fprintf(stderr, "  %s: replay with: validator %s\n", label.c_str(), replay.c_str());
}

}  // namespace validator

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: validator [--seed N] [--cases N] [--steps N] [--cycles N] [--loads N]\n"
               "                 [--alloc-stride N] [--alloc-at N] [--timeout S] [--fault NAME]\n"
               "                 [--only sequences|faults|lifecycle|alloc]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace validator;
  Options options;
  options.program = argv[0];
  options.seed =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) %
      1000000007ULL;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string flag = argv[i];
      if (flag == "--check-settings" && i + 2 < argc) {
        return CheckSettingsInFreshProcess(argv[i + 1], argv[i + 2]);
      }
      if (i + 1 >= argc) return Usage();
      const std::string value = argv[++i];
      if (flag == "--seed") {
        options.seed = std::stoull(value);
      } else if (flag == "--cases") {
        options.cases = std::stoi(value);
      } else if (flag == "--steps") {
        options.steps = std::stoi(value);
      } else if (flag == "--cycles") {
        options.cycles = std::stoi(value);
      } else if (flag == "--loads") {
        options.loads = std::stoi(value);
      } else if (flag == "--alloc-stride") {
        options.allocStride = std::max(1, std::stoi(value));
      } else if (flag == "--timeout") {
        options.timeout = std::stoi(value);
      } else if (flag == "--alloc-at") {
        options.allocAt = std::stoll(value);
      } else if (flag == "--fault") {
        options.fault = value;
      } else if (flag == "--only") {
        options.only = value;
      } else {
        return Usage();
      }
    }
  } catch (const std::exception&) {
    return Usage();
  }

  std::printf("validator: seed %llu, %d sequences of %d steps\n",
              static_cast<unsigned long long>(options.seed), options.cases, options.steps);
  Figures figures;
  const auto wanted = [&options](const char* suite) {
    return options.only.empty() || options.only == suite;
  };
  try {
    if (wanted("sequences")) RunSequences(options, figures);
    if (wanted("faults")) RunFaults(options, figures);
    if (wanted("lifecycle")) RunLifecycle(options, figures);
    if (wanted("alloc")) RunAllocationSweep(options, figures);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "validator: %s\n", e.what());
    return 1;
  }
  std::printf(
      "validator: %lld sequences, %lld steps, %lld refreshes checked against the reference count, "
      "%lld faults injected; %lld failed, %lld crashes, %lld hangs, %lld leaks\n",
      static_cast<long long>(figures.sequences), static_cast<long long>(figures.steps),
      static_cast<long long>(figures.countChecks), static_cast<long long>(figures.faults),
      static_cast<long long>(figures.failures), static_cast<long long>(figures.crashes),
      static_cast<long long>(figures.hangs), static_cast<long long>(figures.leaks));
  const int64_t bad = figures.failures + figures.crashes + figures.hangs + figures.leaks;
  std::printf("%lld passed, %lld failed\n", static_cast<long long>(figures.runs - bad),
              static_cast<long long>(bad));
  return bad == 0 ? 0 : 1;
}
