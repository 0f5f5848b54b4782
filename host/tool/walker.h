// The models a run counts, from the MODELs the command line names, as fd and
// ripgrep take their paths: a file is taken as it is, a folder is walked. What
// a walk takes is decided by the model readers' registry (an extension a
// reader takes, and a content the reader claims: only scenes among .json
// files), then by the walk's rules; the order never depends on the file system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/tool/globs.h"

namespace vtool {

struct WalkRules {
  bool hidden = false;  // --hidden: also names starting with '.'
  bool ignore = true;   // inside a git work tree, what .gitignore and .git/info/exclude ignore
  // --include and --exclude in the order given, on each file's path from the
  // folder walked ("sub/file.obj").
  GlobRules globs;
};

// One model to count, or a place a walk could not go: then `problem` says why
// (the words after "PATH: "), and it counts as a model not counted.
struct WalkItem {
  std::string path;
  std::string problem;
  // The path from the folder walked ("sub/file.obj"), or the MODEL as given for
  // a file named: what --shard deals models out by, the same on every machine
  // whatever folder the walk starts from.
  std::string key;
};

// FNV-1a (64 bits) of `bytes`: the same on every machine and every build, for
// what must agree between runs (shards, the policy a report was judged by).
uint64_t Fnv1a(std::string_view bytes);

// The shard (0 to `shards` - 1) a model of `key` belongs to: Fnv1a of the key,
// modulo `shards`. Adding or removing a file moves no other.
int ShardOf(const std::string& key, int shards);

// The MODELs in the order given, each folder among them replaced by what it
// gives: the files below it that a reader takes, by path sorted bytewise
// ("folder/file"; no MODEL at all walks the current folder, its paths
// without "./"). Symbolic links to files are followed; links to folders are
// not, so a walk cannot loop. A folder below that cannot be read is an error
// item in its place and the walk goes on; a folder that gives nothing at all
// is an error item saying what was looked for.
std::vector<WalkItem> Expand(const std::vector<std::string>& models, const WalkRules& rules);

}  // namespace vtool
