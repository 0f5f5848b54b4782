// The plug-in validator: seeded random call sequences against the shipped
// library in the stand-in host, each case in a child process with a watchdog;
// lifecycle stress; fault injection (a host that answers no read, creates
// nothing, has no settings element or cannot clone; allocation failure at the
// N-th allocation). POSIX only: cases run in fork()ed children.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace validator {

struct Options {
  uint64_t seed = 0;     // first case's seed; case i runs with seed + i
  int cases = 300;       // random sequences
  int steps = 60;        // steps per sequence
  int cycles = 200;      // start/exit cycles in one load (lifecycle stress)
  int loads = 60;        // load/unload rounds (lifecycle stress)
  int allocStride = 1;   // allocation-failure sweep: every stride-th allocation
  int64_t allocAt = -1;  // replay one sweep point in this process (for a debugger)
  int timeout = 60;      // seconds a child may run before it counts as hung
  std::string only;      // run one suite: sequences, lifecycle, faults, alloc
  std::string fault;     // force one host fault on every sequence (see sequences.cpp)
  std::string program;   // this program, for fresh processes
};

// What a suite adds to the figures printed at the end.
struct Figures {
  int64_t runs = 0;  // child processes: sequences, stress rounds, sweep points
  int64_t sequences = 0;
  int64_t steps = 0;
  int64_t faults = 0;  // fault-injected cases and injected allocation failures
  int64_t countChecks = 0;
  int64_t failures = 0;
  int64_t crashes = 0;
  int64_t hangs = 0;
  int64_t leaks = 0;
};

// A broken invariant inside a child: the message names the step.
class Violation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws Violation with `what` unless `ok`.
inline void Require(bool ok, const std::string& what) {
  if (!ok) throw Violation(what);
}

template <class T>
std::string Str(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// What a child reports back through its pipe before it exits.
struct ChildReport {
  int64_t steps = 0;
  int64_t faults = 0;
  int64_t countChecks = 0;  // refreshes whose numbers were compared with the reference
};

enum class ChildEnd { kPassed, kFailed, kCrashed, kHung, kLeaked };

// Runs `body` in a child process that is killed after `timeout` seconds. The
// child exits 0 when the body returns, 3 when it throws (after printing the
// reason with `label`); the sanitizers' own exit codes and any signal count as
// a crash, LeakSanitizer's as a leak. `report` receives what the body filled in.
ChildEnd RunChild(const std::string& label, int timeout,
                  const std::function<void(ChildReport&)>& body, ChildReport& report);

// Adds one child's end to the figures, printing a replay hint on failure.
void Tally(ChildEnd end, const std::string& label, const std::string& replay, Figures& figures);

// The suites.
void RunSequences(const Options& options, Figures& figures);
void RunLifecycle(const Options& options, Figures& figures);
void RunFaults(const Options& options, Figures& figures);
void RunAllocationSweep(const Options& options, Figures& figures);

// --check-settings: in a fresh process, load the settings file, start the
// plug-in and compare its window with `expect` (see sequences.cpp). 0 when equal.
int CheckSettingsInFreshProcess(const std::string& file, const std::string& expect);

// The shipped library beside this program.
std::string PluginPath();

}  // namespace validator
