// Signals held back in the calling thread while an object lives (POSIX): a
// file made, replaced or removed under such a hold is never left half done by
// a signal that came in between, which acts once the mask found is back.
#pragma once

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>

namespace vhost {

class SignalsHeld {
 public:
  explicit SignalsHeld(const sigset_t& signals) {
    held_ = ::pthread_sigmask(SIG_BLOCK, &signals, &previous_) == 0;
  }
  ~SignalsHeld() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

  // The mask found, for a wait that a person must be able to interrupt.
  const sigset_t& previous() const { return previous_; }

 private:
  sigset_t previous_{};
  bool held_ = false;
};

// Every signal that ends the process and can wait: all but the synchronous
// ones, which a fault in the very code holding them raises.
inline sigset_t TerminationSignals() {
  sigset_t all;
  sigfillset(&all);
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) {
    sigdelset(&all, fault);
  }
  return all;
}

}  // namespace vhost
#endif
