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
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "frame/mq_types.h"
#include "host/module/host_api.h"

namespace vhost {

// Faults the host can be told to commit, to test the plug-in's handling of them.
// Each is off in a freshly started host.
struct SettingsFaults {
  bool noSettingsElement = false;  // message 505 leaves "pluginsettings" null
  bool refuseAddChild = false;     // XmlAddChild answers no element
};

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
  bool known = false;  // the handle named a live element of this tree
};

// What LoadFile or SaveFile did. `message` is a sentence for the user whenever
// something went wrong or data was moved; empty otherwise.
struct SettingsFileReport {
  enum class Outcome {
    kLoaded,       // the file was read
    kMissing,      // no file yet: the tree starts empty
    kRecovered,    // unreadable or malformed: moved aside to `movedTo`, tree empty
    kSaved,        // the file was written (atomically)
    kFailed,       // nothing was read or written; see `message`
    kUnsupported,  // this build keeps settings in memory only
  };
  Outcome outcome = Outcome::kFailed;
  std::string message;
  std::string movedTo;

  // Whether the caller may go on as if all were well (nothing needs reporting).
  bool ok() const {
    return outcome == Outcome::kLoaded || outcome == Outcome::kMissing ||
           outcome == Outcome::kSaved;
  }
};

class VHOST_API SettingsTree {
 public:
  // Elements nest at most this deep (the root counts as 1); deeper ones are
  // refused when added and make a settings file malformed.
  static constexpr int kMaxDepth = 64;

  SettingsTree();
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

  // Back to a freshly started host: empty tree, no faults, no file, empty call log.
  void Reset();

  // --- Persistence ------------------------------------------------------------

  // Replaces the tree with the file's content and remembers `path` for SaveFile.
  // A missing file gives an empty tree. An unreadable or malformed file is renamed
  // to "<path>.broken-<timestamp>" and the tree starts empty; if it cannot be
  // moved aside, SaveFile refuses to overwrite it.
  SettingsFileReport LoadFile(const std::string& path);

  // Writes the tree to the path LoadFile was given, through a temporary file in the
  // same directory that replaces the old file only once it is complete.
  SettingsFileReport SaveFile();

  // The path LoadFile was given; empty before.
  const std::string& FilePath() const { return path_; }

  // --- Fault injection --------------------------------------------------------

  SettingsFaults faults;

  // --- Inspection -------------------------------------------------------------

  // The "pluginsettings" element, created if it is missing (regardless of faults).
  void* PluginSettings();

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

  std::unique_ptr<Node> root_;
  std::vector<std::unique_ptr<Node>> retired_;  // removed subtrees, until Reset
  std::unordered_set<const Node*> live_;
  std::vector<ElementCall> calls_;
  std::string path_;
  bool saveBlocked_ = false;  // the file could be neither read nor moved aside
};

}  // namespace vhost
