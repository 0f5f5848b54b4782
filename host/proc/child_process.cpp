#include "host/proc/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <system_error>

namespace vhost::proc {

ChildProcess ChildProcess::Start(const std::function<void(int writeEnd)>& job) {
  int ends[2];
  if (pipe(ends) != 0) throw std::system_error(errno, std::generic_category());
  // What the caller has written and not flushed would be written twice: by the
  // child too, should anything there flush it.
  std::cout.flush();
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    try {
      job(ends[1]);
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  const int error = errno;
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    throw std::system_error(error, std::generic_category());
  }
  return ChildProcess(pid, ends[0]);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), readEnd_(other.readEnd_) {
  other.pid_ = -1;
  other.readEnd_ = -1;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
  if (readEnd_ >= 0) close(readEnd_);
}

ChildEnd ChildProcess::Wait() {
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  ChildEnd end;
  end.exited = WIFEXITED(status);
  end.code = end.exited ? WEXITSTATUS(status) : 0;
  end.signalled = WIFSIGNALED(status);
  end.signal = end.signalled ? WTERMSIG(status) : 0;
  return end;
}

ChildEnd ChildProcess::Stop() {
  // A child that has ended is a zombie until reaped: the signal leaves its
  // status as it was.
  if (pid_ > 0) kill(pid_, SIGKILL);
  return Wait();
}

std::string SignalName(int signal) {
  const char* name = strsignal(signal);
  return name != nullptr ? std::string(name) : "signal " + std::to_string(signal);
}

}  // namespace vhost::proc
