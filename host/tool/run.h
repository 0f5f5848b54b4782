// One run of veltrane-host: the stand-in host with the plug-in loaded, every
// model opened, counted and reported. A function rather than main() so that the
// fuzz harness can run the whole tool in its own process, many times over.
#pragma once

#include <cstdio>

#include "host/tool/options.h"

namespace vtool {

// Runs the tool with `options`, writing the report to `out` and diagnostics to
// `err` (both the caller's, left open). Returns the exit status: 0 every model
// counted exactly and within budget, 1 a model over a budget, 2 anything else.
// Throws nothing; leaves the process's host state reset for another run.
int Run(const Options& options, std::FILE* out, std::FILE* err) noexcept;

// The whole tool: parses the command line, runs, and reports usage errors
// (as JSON too when --json was asked for).
int Main(int argc, const char* const* argv, std::FILE* out, std::FILE* err) noexcept;

}  // namespace vtool
