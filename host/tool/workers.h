// Counting a run's models on several worker processes at once. Each worker is
// a fork of the run's process made once the plug-in is loaded and its window
// set up: a whole stand-in host with the plug-in in it, as in a real host one
// plug-in per process. Workers are fed one model at a time over a pipe and
// answer its whole result (result_wire.h); the run hands results on in input
// order, so that what is written is the same whatever the number of workers.
// POSIX only: the Windows builds count in their one process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/tool/result.h"

namespace vtool {

struct WorkerJob {
  std::size_t models = 0;
  int workers = 2;
  // Model i's file size in bytes (0 when unknown; none: all unknown), asked
  // once per model and only as it comes near being handed out, so that the
  // first models go out without waiting for every file to be looked at. A
  // worker is sent small models ahead, so that it never waits for the run
  // between two of them, but no large one behind another: the last large
  // models must not wait in one worker's line while another has nothing to do.
  std::function<uint64_t(std::size_t)> size;
  // Runs in a worker: model i counted there. An exception ends the worker,
  // and the model is then `lost`.
  std::function<ModelResult(std::size_t)> count;
  // Runs here: the result of model i whose worker ended before it answered
  // (killed, crashed, out of memory), `why` saying how ("Killed", "exit
  // status 1").
  std::function<ModelResult(std::size_t, const std::string& why)> lost;
  // Runs here: each model's result, in input order (0, 1, 2, ...), as soon as
  // it and every model before it are done.
  std::function<void(ModelResult)> deliver;
};

// How the work ended.
struct WorkersEnd {
  // Ctrl-C (SIGINT) stopped it: the workers were killed, and models
  // [delivered, models) were not all handed on. Those that were counted
  // meanwhile are in `finished` (by index; the others empty).
  bool interrupted = false;
  std::size_t delivered = 0;
  std::vector<std::optional<ModelResult>> finished;
};

// Counts every model of `job`. Throws std::system_error when not even one
// worker can be started (nothing counted then); a worker that cannot be
// replaced later leaves its models to the others.
WorkersEnd CountInWorkers(const WorkerJob& job);

}  // namespace vtool
