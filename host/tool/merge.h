// veltrane-host merge: the --json reports of the shards of one tree (--shard
// K/N on N machines) joined into the report one run over the whole tree would
// have written, and the CI reports made from it as a run makes them.
#pragma once

#include <cstdio>

namespace vtool {

// `argv` from "merge" on. Writes the joined JSON document (or JSON lines) to
// `out` and says what is wrong on `err`. Answers the joined run's exit status,
// or 2 for reports that cannot be joined: not reports, of another tool version
// or another policy, shards missing or given twice. Throws nothing.
int Merge(int argc, const char* const* argv, std::FILE* out, std::FILE* err) noexcept;

}  // namespace vtool
