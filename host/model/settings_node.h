// Internal to the settings tree: its node and the run's lock on the settings
// file, shared by the tree's operations and the code that keeps its file. Not
// part of the host's interface.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/model/settings_tree.h"

#if defined(VHOST_SETTINGS_FILES)
#include <sys/types.h>
#endif

namespace vhost {

struct SettingsTree::Node {
  std::string name;
  std::optional<std::string> text;
  // Attributes are never shown to plug-ins; kept so that a hand-edited file loses
  // nothing when the host writes it back.
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::unique_ptr<Node>> children;
  Node* parent = nullptr;
  int depth = 1;
};

#if defined(VHOST_SETTINGS_FILES)
// An exclusive flock() on a lock file, released when this is destroyed. Owned by
// the tree that took it, one per tree at most.
struct SettingsTree::FileLock {
  int fd = -1;
  std::string path;
  pid_t owner = 0;  // the process that took it: a fork()ed copy only closes its descriptor
  dev_t device = 0;
  ino_t inode = 0;
  bool named = false;  // `path` led to this very file once it was locked
  ~FileLock();
};
#else
struct SettingsTree::FileLock {};
#endif

}  // namespace vhost
