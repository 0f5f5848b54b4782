// The stand-in host's settings tree: the XML elements behind MQXmlElem_Value and
// the "pluginsettings" element that message 505 hands out.
//
// The tree is the host's own: element handles given to the plug-in are pointers
// to its nodes, valid until the node is removed or the tree is reset. Every
// operation checks a handle against the live nodes first, so a stale, foreign or
// null handle is answered with nothing instead of a crash. Names and texts are
// UTF-8 and stored byte for byte; texts need not be valid UTF-8.
//
// Persistence is the host's too: LoadFile when the host starts, SaveFile when it
// shuts down. Builds without file support (Windows) keep the tree in memory only.
//
// The file, on POSIX systems:
// - A symlink stays a symlink: the file it leads to (through any chain of links) is
//   read and replaced; a dangling link gets its target created.
// - Only a regular file is ever opened. Anything else (/dev/null, a FIFO, a
//   directory, a socket) and a file this user may not read are left untouched: the
//   tree starts empty and SaveFile never writes over them (kUnusable).
// - One run at a time: LoadFile takes an exclusive flock() on "<target>.lock" beside
//   the symlink-resolved file and keeps it until SaveFile succeeds, Reset or the
//   tree's destruction, so that two runs on one file serialise instead of one
//   silently losing the other's changes. A second run waits in LoadFile for the
//   first to finish. The holder removes the lock file as it lets go (a waiting run
//   then takes the file now named, never the removed one), and so does a process
//   that a termination signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM,
//   SIGUSR1/2, SIGXCPU, SIGXFSZ) ends while it holds the lock: while a lock is
//   held, each of those whose action is still the default gets a handler that
//   removes it and lets the signal act as it would have (the settings file stays
//   as it was); one the process ignores or handles itself is left alone. A run
//   that SIGKILL or a crash ends leaves it behind, harmless: it holds no data and
//   the next run locks and removes it. The lock is the open file's: a fork()ed
//   child shares it until the child closes it (the descriptor is close-on-exec),
//   never releases or removes it for the parent, signal or not; a tree the child
//   makes itself is another run and waits. A second tree of one process is
//   refused instead (kFailed): it would wait for itself. When the lock file
//   cannot be created or opened (a read-only directory, say), the run goes on
//   unlocked and the report's message says so: such a directory cannot take the
//   new file either, and refusing would only stop a run that loses nothing.
// - Saving writes a temporary "<target>.tmp-XXXXXX" in the target's directory and
//   renames it over the target. The usual termination signals (SIGINT, SIGTERM,
//   SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1/2 and the like) are blocked in the
//   saving thread from before the temporary file exists until it is renamed or
//   removed (and the lock file with it); one that arrives meanwhile acts right
//   after, with nothing left behind, so it waits at most for the save's fsyncs. Not covered:
//   SIGKILL, a crash inside the save, power loss (the old or the new file survives, and at worst a
//   temporary file remains), and a process-directed signal that the kernel hands to
//   another thread which does not block it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/core/export.h"
#include "host/core/faults.h"
#include "protocol/mq_types.h"

namespace vhost {

// One child of an element, as tests and drivers see it.
struct SettingsEntry {
  std::string name;
  std::optional<std::string> text;  // nullopt: the element has no text at all
  std::size_t childCount = 0;
};

// One MQXmlElem_Value call as the host received it.
struct ElementCall {
  const void* element = nullptr;
  int32_t operation = 0;
};

// What LoadFile or SaveFile did. `message` is a sentence for the user whenever
// there is something to tell: something went wrong, data was moved aside, or the
// run had to wait for another one or goes on without the lock (then with ok()
// true). Empty otherwise: a caller shows it whenever it is not empty.
struct SettingsFileReport {
  enum class Outcome {
    kLoaded,       // the file was read
    kMissing,      // no file yet: the tree starts empty
    kRecovered,    // malformed or unreadable content: moved aside to `movedTo`, tree empty
    kSaved,        // the file was written (atomically)
    kFailed,       // nothing was read or written; see `message`
    kUnsupported,  // this build keeps settings in memory only
    kUnusable,     // not a file the host may read or replace (/dev/null, a FIFO, a
                   // directory, no permission...): the tree starts empty and SaveFile
                   // will not write; the caller may go on
  };
  Outcome outcome = Outcome::kFailed;
  std::string message;
  std::string movedTo;

  // Whether the caller may go on as if all were well (nothing needs reporting
  // beyond a non-empty `message`).
  bool ok() const {
    return outcome == Outcome::kLoaded || outcome == Outcome::kMissing ||
           outcome == Outcome::kSaved;
  }

  // Whether the caller can go on with the tree it has: everything but kFailed.
  // After LoadFile, kRecovered, kUnusable and kUnsupported still give a usable
  // (empty) tree; after SaveFile, kUnusable means "not written, as LoadFile said".
  bool canGoOn() const { return outcome != Outcome::kFailed; }
};

class VHOST_API SettingsTree {
 public:
  // Elements nest at most this deep (the root counts as 1); deeper ones are
  // refused when added and make a settings file malformed.
  static constexpr int kMaxDepth = 64;

  // Takes faults from and records misbehaviour (a call on an element that is
  // not live) in `wiring`'s switchboard and log.
  explicit SettingsTree(FaultWiring wiring = {});
  ~SettingsTree();
  SettingsTree(const SettingsTree&) = delete;
  SettingsTree& operator=(const SettingsTree&) = delete;

  // --- What the host functions call -----------------------------------------

  // Message 505: the plug-in asks for the settings element; the host writes it
  // into the value slot that follows "pluginsettings" in the message's options
  // (and the tree's root into the slot after "root"). The slots are the caller's.
  void AnswerSettingsRequest(PluginMessage& message);

  // One MQXmlElem_Value call: element handle, operation code, operation record.
  // Texts handed out (XmlGetText) stay the host's, valid until the element's text
  // changes or the element is removed.
  int32_t ElementValue(void* element, int32_t operation, void* record);

  // Back to a freshly started host: empty tree, no file, empty call log. The
  // switchboard and log are their owner's to reset.
  void Reset();

  // --- Persistence ------------------------------------------------------------

  // Replaces the tree with the file's content and remembers `path` for SaveFile.
  // A missing file gives an empty tree. A file whose content cannot be parsed (or
  // read, for a reason other than permissions) is renamed to
  // "<target>.broken-<timestamp>" and the tree starts empty (kRecovered); if it
  // cannot be moved aside, or is no regular file, or may not be read, the tree
  // starts empty and SaveFile refuses to overwrite it (kUnusable). Takes the run's
  // lock first (see above); `waiting`, when given, is called once with a sentence
  // before LoadFile blocks for another run, so that the caller can say why it
  // pauses. kFailed only when another tree of this process holds the same file:
  // waiting for it would never end.
  SettingsFileReport LoadFile(const std::string& path,
                              const std::function<void(const std::string&)>& waiting = {});

  // Writes the tree to the file LoadFile found, through a temporary file in the same
  // directory that replaces the old file only once it is complete, and releases the
  // run's lock once it has. After a failed save the lock is kept and SaveFile may
  // be tried again; after a successful one the file is another run's to take, so a
  // second SaveFile is refused until LoadFile reads the file again.
  SettingsFileReport SaveFile();

  // --- Test hook ----------------------------------------------------------------

  // Called, when set, in the middle of SaveFile: the temporary file (its path is
  // passed, valid for the call) is complete and about to replace the file, with the
  // termination signals blocked. Lets a test deliver a signal at the worst moment.
  // Cleared by Reset, hence by LoadFile.
  void (*whileSaving)(const char* temporary) = nullptr;

  // --- Faults -------------------------------------------------------------------

  FaultSwitchboard& faults() const { return wiring_.faults(); }
  FaultLog& faultLog() const { return wiring_.log(); }

  // --- Inspection -------------------------------------------------------------

  // The "pluginsettings" element, created if it is missing (regardless of faults).
  void* PluginSettings();

  // Writes `text` as the one element `key` of the plug-in section `section`
  // under "pluginsettings" (each created when missing; an element of that name
  // already there is replaced), as a plug-in would: through ElementValue, so
  // names are checked and faults apply as for the plug-in. Answers the key's
  // element, or null when the tree refused the section or the key (nothing more
  // is attempted then).
  void* StoreSetting(const std::string& section, const std::string& key, const std::string& text);

  // Removes every child of the live element `element` named `name` but the first,
  // and answers how many went. A plug-in that keeps one element per key reads the
  // first and replaces it by removing it and adding a new one at the end: a later
  // one of the same name (a hand-edited or merged file) would then be read next
  // time, and the stored value would swap on every run. The first is what the
  // plug-in reads today, so keeping it keeps its meaning. Handles to the removed
  // children become unknown, as with any removal.
  std::size_t DropRepeatedChildren(void* element, const std::string& name);

  // A plug-in's section under "pluginsettings", or null.
  void* FindSection(const std::string& name) const;

  // The first child named `name` of a live element, or null.
  void* FindChild(const void* element, const std::string& name) const;

  // Children of a live element, in document order; empty for anything else.
  std::vector<SettingsEntry> ListChildren(const void* element) const;

  // Whether `element` is a live element of this tree.
  bool IsLive(const void* element) const;

  // Every MQXmlElem_Value call since the last Reset, oldest first.
  const std::vector<ElementCall>& Calls() const { return calls_; }

 private:
  struct Node;

  Node* Live(const void* element) const;
  Node* AddChild(Node& parent, const std::string& name);
  void RemoveChild(Node& parent, Node& child);
  void Adopt(std::unique_ptr<Node> root);
  void Forget(Node& node);

  FaultWiring wiring_;
  std::unique_ptr<Node> root_;
  std::vector<std::unique_ptr<Node>> retired_;  // removed subtrees, until Reset
  std::unordered_set<const Node*> live_;
  std::vector<ElementCall> calls_;
  struct FileLock;  // the run's lock on the settings file; defined where files are kept

  std::string path_;
  std::string target_;              // path_ with its symlinks followed: what is replaced
  std::string saveBlocked_;         // why SaveFile must not write; empty when it may
  bool heldElsewhere_ = false;      // another tree of this process has the file
  bool saved_ = false;              // SaveFile succeeded and gave the lock up
  std::unique_ptr<FileLock> lock_;  // null: no lock held
};

}  // namespace vhost
