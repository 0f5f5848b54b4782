#include "host/tool/workers.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <memory>
#include <system_error>
#include <utility>

#include "host/proc/child_process.h"
#include "host/proc/frames.h"
#include "host/tool/result_wire.h"

namespace vtool {
namespace {

using vhost::proc::ChildEnd;
using vhost::proc::ChildProcess;
using vhost::proc::FrameReader;
using vhost::proc::FrameWriter;

volatile sig_atomic_t interrupted = 0;
void OnInterrupt(int /*signal*/) { interrupted = 1; }

// While the workers run: Ctrl-C is noted here rather than ending the run (the
// workers ignore it; the run stops them), and a write to a worker that has
// died is an error, not SIGPIPE. Both are as they were afterwards.
class SignalsForWorkers {
 public:
  SignalsForWorkers() {
    interrupted = 0;
    struct sigaction note {};
    note.sa_handler = OnInterrupt;
    sigemptyset(&note.sa_mask);
    sigaction(SIGINT, &note, &interrupt_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &pipe_);
  }
  ~SignalsForWorkers() {
    sigaction(SIGINT, &interrupt_, nullptr);
    sigaction(SIGPIPE, &pipe_, nullptr);
  }
  SignalsForWorkers(const SignalsForWorkers&) = delete;
  SignalsForWorkers& operator=(const SignalsForWorkers&) = delete;

 private:
  struct sigaction interrupt_ {};
  struct sigaction pipe_ {};
};

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Adds to `pending` the model indices that have arrived on `commands`,
// without waiting for any; false when the pipe is broken.
bool TakeArrived(int commands, std::deque<uint64_t>& pending) {
  pollfd ready{commands, POLLIN, 0};
  if (poll(&ready, 1, 0) <= 0 || (ready.revents & POLLIN) == 0) return true;
  uint64_t indices[64];
  const ssize_t n = read(commands, indices, sizeof indices);
  if (n <= 0) return n == 0 || errno == EINTR;
  const auto whole = static_cast<std::size_t>(n) / sizeof(uint64_t);
  // The run writes whole indices at once, but a read may still end inside one.
  if (static_cast<std::size_t>(n) % sizeof(uint64_t) != 0) {
    auto* last = reinterpret_cast<char*>(indices);
    if (!ReadAll(commands, last + n, sizeof(uint64_t) - static_cast<std::size_t>(n) % 8)) {
      return false;
    }
  }
  const std::size_t got = whole + (static_cast<std::size_t>(n) % sizeof(uint64_t) != 0 ? 1 : 0);
  pending.insert(pending.end(), indices, indices + got);
  return true;
}

// In the worker: each model index the run sends, counted and answered, until
// the run closes the pipe. Results go out a few at a time, when no more than
// one model is left waiting: the run is woken once for them rather than once a
// model, and hands out more while that one is counted.
void Serve(int commands, int results, const WorkerJob& job) {
  FrameWriter out(results);
  std::deque<uint64_t> pending;
  for (;;) {
    if (pending.empty()) {
      uint64_t index = 0;
      if (!ReadAll(commands, &index, sizeof index)) return;
      pending.push_back(index);
    }
    if (!TakeArrived(commands, pending)) return;
    const uint64_t index = pending.front();
    pending.pop_front();
    SendResult(out, job.count(static_cast<std::size_t>(index)));
    if (pending.size() <= 1) out.Flush();
  }
}

// One worker as the run sees it. Owns the process (killed and reaped when
// dropped) and the write end of its command pipe.
struct Worker {
  ChildProcess process;
  int commands = -1;
  FrameReader reader;
  // The models sent to it, in the order it counts them: the first is the one
  // it is counting. A few wait behind it, so that it never waits for the run
  // between two small models.
  std::deque<std::size_t> queue;

  Worker(ChildProcess child, int commandEnd)
      : process(std::move(child)), commands(commandEnd), reader(process.ReadEnd(), std::nullopt) {}
  ~Worker() {
    if (commands >= 0) close(commands);
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
};

// A new worker, forked from this process as it is now. The descriptors of the
// other workers are closed in it: a worker holding another's command pipe
// would keep that one from ever seeing its end.
std::unique_ptr<Worker> StartWorker(const WorkerJob& job,
                                    const std::vector<std::unique_ptr<Worker>>& others) {
  int ends[2];
  if (pipe(ends) != 0) throw std::system_error(errno, std::generic_category());
  std::vector<int> theirs;
  for (const auto& other : others) {
    if (!other) continue;
    theirs.push_back(other->commands);
    theirs.push_back(other->process.ReadEnd());
  }
  ChildProcess child = [&] {
    try {
      return ChildProcess::Start([&](int results) {
        close(ends[1]);
        for (const int fd : theirs) close(fd);
        signal(SIGINT, SIG_IGN);  // the run decides, and stops the workers
        Serve(ends[0], results, job);
      });
    } catch (...) {
      close(ends[0]);
      close(ends[1]);
      throw;
    }
  }();
  close(ends[0]);
  return std::make_unique<Worker>(std::move(child), ends[1]);
}

std::string HowItEnded(const ChildEnd& end) {
  if (end.signalled) return vhost::proc::SignalName(end.signal);
  return "exit status " + std::to_string(end.code);
}

}  // namespace

WorkersEnd CountInWorkers(const WorkerJob& job) {
  SignalsForWorkers signals;
  WorkersEnd end;
  end.finished.resize(job.models);
  std::size_t next = 0;  // no model before it is left to hand out
  std::vector<bool> handed(job.models, false);
  // Models handed to a worker that died before counting them, to go first.
  std::deque<std::size_t> again;
  // The largest of the next kWindow models goes first: the last models of a
  // run, counted while the other workers have nothing left, are then small
  // ones. Only that far ahead, so that the models are written, in input
  // order, soon after they are counted.
  constexpr std::size_t kWindow = 32;
  // What a worker may be sent beyond the model it counts: enough small models
  // to last until the run, sharing two cores with the workers, is scheduled
  // again (2,000 small models on 2 cores: 645 context switches with 8, 190
  // with 64), but a few hundred KiB in all.
  constexpr std::size_t kQueued = 64;
  constexpr uint64_t kQueuedBytes = uint64_t{256} << 10;
  std::vector<std::optional<uint64_t>> sizes(job.models);
  const auto size = [&](std::size_t model) {
    if (!sizes[model]) sizes[model] = job.size ? job.size(model) : 0;
    return *sizes[model];
  };
  std::vector<std::unique_ptr<Worker>> workers(static_cast<std::size_t>(
      std::max(1, std::min<int>(job.workers, static_cast<int>(job.models)))));

  // The model to hand out next, if any is left; `take` marks it handed.
  const auto candidate = [&]() -> std::optional<std::size_t> {
    if (!again.empty()) return again.front();
    while (next < job.models && handed[next]) ++next;
    if (next >= job.models) return std::nullopt;
    std::size_t best = next;
    for (std::size_t i = next; i < std::min(job.models, next + kWindow); ++i) {
      if (!handed[i] && size(i) > size(best)) best = i;
    }
    return best;
  };
  const auto take = [&](std::size_t model) {
    if (!again.empty() && again.front() == model) {
      again.pop_front();
    } else {
      handed[model] = true;
    }
  };

  // Gives back what worker `w` was sent, but the model it was counting (the
  // first, when `counting`), and drops it.
  const auto drop = [&](std::size_t w, bool counting) {
    std::deque<std::size_t>& queue = workers[w]->queue;
    again.insert(again.begin(), queue.begin() + (counting ? 1 : 0), queue.end());
    workers[w].reset();
  };
  // Fills worker `w`'s queue up to `depth` models, starting a worker first
  // when it has none; the models go in one write, one wake-up of the worker.
  const auto feed = [&](std::size_t w, std::size_t depth) {
    while (candidate()) {
      if (!workers[w]) workers[w] = StartWorker(job, workers);
      std::deque<std::size_t>& queue = workers[w]->queue;
      uint64_t waiting = 0;  // bytes of the models that wait behind the one counted
      for (std::size_t q = 1; q < queue.size(); ++q) waiting += size(queue[q]);
      std::vector<uint64_t> batch;
      while (queue.size() + batch.size() < depth) {
        const std::optional<std::size_t> index = candidate();
        if (!index) break;
        if (queue.size() + batch.size() > 0) {
          if (waiting + size(*index) > kQueuedBytes) break;
          waiting += size(*index);
        }
        batch.push_back(*index);
        take(*index);
      }
      if (batch.empty()) return;
      if (WriteAll(workers[w]->commands, batch.data(), batch.size() * sizeof(uint64_t))) {
        queue.insert(queue.end(), batch.begin(), batch.end());
        return;
      }
      // Died before it read them: they go to a new one.
      again.insert(again.begin(), batch.begin(), batch.end());
      drop(w, false);
    }
  };
  const auto deliverReady = [&] {
    while (end.delivered < job.models && end.finished[end.delivered]) {
      job.deliver(std::move(*end.finished[end.delivered]));
      end.finished[end.delivered].reset();
      ++end.delivered;
    }
  };

  // A model each first, then the lines filled: the first models spread over
  // every worker.
  for (std::size_t depth = 1; depth <= kQueued; ++depth) {
    for (std::size_t w = 0; w < workers.size(); ++w) {
      try {
        feed(w, depth);
      } catch (const std::system_error&) {
        if (w == 0 && depth == 1) throw;  // not one worker: nothing can be counted this way
      }
    }
  }
  while (end.delivered < job.models) {
    if (interrupted != 0) {
      end.interrupted = true;
      break;  // the workers are killed as they are dropped
    }
    std::vector<pollfd> watched;
    std::vector<std::size_t> whose;
    for (std::size_t w = 0; w < workers.size(); ++w) {
      if (!workers[w] || workers[w]->queue.empty()) continue;
      watched.push_back({workers[w]->process.ReadEnd(), POLLIN, 0});
      whose.push_back(w);
    }
    if (watched.empty()) {
      // Every worker is gone and none could be started again.
      throw std::system_error(EAGAIN, std::generic_category(), "no worker process can be started");
    }
    // Woken now and then to see whether Ctrl-C was pressed.
    if (poll(watched.data(), watched.size(), 200) <= 0) continue;
    for (std::size_t k = 0; k < watched.size(); ++k) {
      if (watched[k].revents == 0) continue;
      const std::size_t w = whose[k];
      // Every result that has arrived, not only the first: the rest wait in
      // the reader's buffer, where poll() does not see them.
      do {
        const std::size_t model = workers[w]->queue.front();
        ModelResult result;
        if (!ReceiveResult(workers[w]->reader, result)) {
          // Ended, or answered something no worker writes: either way it is
          // no longer to be trusted with a model.
          const ChildEnd how = workers[w]->process.Stop();
          drop(w, true);
          end.finished[model] = job.lost(model, HowItEnded(how));
          break;
        }
        end.finished[model] = std::move(result);
        workers[w]->queue.pop_front();
      } while (!workers[w]->queue.empty() && workers[w]->reader.Buffered() > 0);
      try {
        feed(w, kQueued);
      } catch (const std::system_error&) {
        // This one cannot be replaced; the others go on with the models left.
      }
    }
    deliverReady();
  }
  return end;
}

}  // namespace vtool
