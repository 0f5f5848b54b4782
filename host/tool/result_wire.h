// A ModelResult sent whole from a worker process to the run that owns it, over
// the framed pipe of host/proc/frames.h: every field, so that a model counted
// in a worker is written out exactly as one counted in the run's own process.
// POSIX only, as worker processes are.
#pragma once

#include "host/proc/frames.h"
#include "host/tool/result.h"

namespace vtool {

// Writes `result` into `out`'s buffer; the caller flushes.
void SendResult(vhost::proc::FrameWriter& out, const ModelResult& result);

// Reads a result SendResult wrote. False when the pipe ended before it was
// whole or holds something no sender writes (a worker gone wrong): `result`
// is then not to be used.
bool ReceiveResult(vhost::proc::FrameReader& in, ModelResult& result);

}  // namespace vtool
