// A child process made by fork() to run one job away from the caller, with a
// pipe from it back to the caller. The caller owns the child: it is killed and
// reaped when the handle is dropped, so no job outlives its caller's interest
// and no zombie is left. POSIX only.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace vhost::proc {

// How a child ended, as waitpid told it.
struct ChildEnd {
  bool exited = false;  // ended by _exit / exit; `code` holds its status
  int code = 0;
  bool signalled = false;  // ended by a signal; `signal` names it
  int signal = 0;
};

class ChildProcess {
 public:
  // Runs `job` in a new child process, handing it the write end of a pipe
  // whose read end this handle keeps (ReadEnd()). The child ends with _exit(0)
  // once `job` returns (and _exit(1) if it throws): nothing of the parent's runs
  // there after the job, no destructors, exit handlers or stdio flushes. What
  // the caller has buffered for stdout is flushed first, so that the child
  // cannot write it a second time. Throws std::system_error when no pipe or
  // process can be made.
  static ChildProcess Start(const std::function<void(int writeEnd)>& job);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills the child unless it was waited for, and reaps it.
  ~ChildProcess();

  int ReadEnd() const { return readEnd_; }
  // Waits for the child to end and reaps it; once only.
  ChildEnd Wait();
  // Kills the child (SIGKILL) unless it has ended already, and reaps it: how it
  // ended, if it had. Once only, instead of Wait.
  ChildEnd Stop();

 private:
  ChildProcess(pid_t pid, int readEnd) : pid_(pid), readEnd_(readEnd) {}
  pid_t pid_;
  int readEnd_;  // owned; closed with the handle
};

// The name of a signal as the system spells it ("Segmentation fault"), or
// "signal N" when it has none.
std::string SignalName(int signal);

}  // namespace vhost::proc
