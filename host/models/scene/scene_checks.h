// Internal to the scene loader: the scene's content checked whole, before any
// file it names is read, into entries the builder takes as they are.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/model/documents.h"
#include "host/models/scene/scene_json.h"

namespace vhost::models::scene {

constexpr int64_t kMaxSlots = INT32_MAX;

// A value of the scene and its path, for reading it and blaming it.
class Node {
 public:
  Node(const Json& value, JsonPath path) : value_(&value), path_(std::move(path)) {}

  const Json& operator*() const { return *value_; }
  const Json* operator->() const { return value_; }
  bool Has(const char* key) const { return value_->contains(key); }
  // By the whole key: a key may hold a NUL, which a C string would cut short.
  Node operator[](const std::string& key) const {
    JsonPath path = path_;
    path.push_back(Step{true, key, 0});
    return Node(value_->at(key), std::move(path));
  }
  Node At(std::size_t index) const {
    JsonPath path = path_;
    path.push_back(Step{false, {}, static_cast<int64_t>(index)});
    return Node(value_->at(index), std::move(path));
  }
  [[noreturn]] void Fail(const std::string& message) const { throw Fault(path_, message); }

 private:
  const Json* value_;  // within the parsed scene, which outlives every node
  JsonPath path_;
};

// One entry of "objects", checked.
struct Entry {
  enum class Source { kNone, kFile, kInline };
  explicit Entry(Node at) : node(std::move(at)) {}

  Node node;
  Source source = Source::kNone;
  std::optional<std::string> name;
  std::string written;  // the file as the scene names it
  std::string file;     // resolved against the scene's directory
  std::optional<std::string> object;
  bool visible = true;
  MirrorSettings mirror;
  LatheSettings lathe;
  PatchSettings patch;
};

// The whole scene, checked. Its nodes lead into the parsed scene they were
// checked from, which must outlive them.
struct CheckedScene {
  std::optional<int64_t> current;              // "current", when given
  std::vector<Entry> entries;                  // "objects", in order
  std::map<std::string, std::size_t> lastUse;  // file -> the last entry that takes from it
};

// Checks the scene at `root` and resolves the files it names against
// `directory`; throws a Fault at the first value at fault. Reads no file.
CheckedScene CheckScene(const Node& root, const std::string& directory);

}  // namespace vhost::models::scene
