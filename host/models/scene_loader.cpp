// Scene files: JSON read by nlohmann-json, checked whole before anything is
// loaded, then built into a document of its own that is handed over at the end.
//
// nlohmann-json keeps no positions in its values. Faults in the content are
// therefore raised with the path of the value at fault, and only then placed on
// a line by reading the text once more up to that value.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/models/models.h"
#include "host/models/obj_file.h"
#include "host/models/source_text.h"

namespace vhost {
namespace {

using Json = nlohmann::json;

constexpr const char* kFormat = "veltrane-scene";
constexpr int64_t kVersion = 1;
constexpr int64_t kMaxSlots = INT32_MAX;

// Reads text for nlohmann-json and keeps `*reached` just past the last byte read.
class TrackedIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackedIterator(const char* at, const char** reached) : at_(at), reached_(reached) {}
  reference operator*() const { return *at_; }
  TrackedIterator& operator++() {
    *reached_ = ++at_;
    return *this;
  }
  TrackedIterator operator++(int) {
    TrackedIterator old = *this;
    ++*this;
    return old;
  }
  bool operator==(const TrackedIterator& other) const { return at_ == other.at_; }
  bool operator!=(const TrackedIterator& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  const char** reached_;  // the caller's
};

// Where a value lies in the scene: the keys and indices leading to it from the top.
struct Step {
  bool isKey = true;
  std::string key;
  int64_t index = 0;
};
using JsonPath = std::vector<Step>;

// A fault in the scene's content, at the value `path` leads to.
class Fault : public std::runtime_error {
 public:
  Fault(JsonPath path, const std::string& message)
      : std::runtime_error(message), path(std::move(path)) {}
  JsonPath path;
};

// Finds where the value at a path ends in the text: replays the parse as events
// and stops at that value.
class Locator final : public nlohmann::json_sax<Json> {
 public:
  Locator(const JsonPath& target, const char* const& reached)
      : target_(target), reached_(reached) {}

  // Just past the value's first token (the opening bracket of an object or an
  // array, the whole of anything else; one byte further after a number); null
  // when the value was not met.
  const char* found() const { return found_; }

  bool null() override { return Value(); }
  bool boolean(bool /*value*/) override { return Value(); }
  bool number_integer(number_integer_t /*value*/) override { return Value(); }
  bool number_unsigned(number_unsigned_t /*value*/) override { return Value(); }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return Value(); }
  bool string(string_t& /*value*/) override { return Value(); }
  bool binary(binary_t& /*value*/) override { return Value(); }
  bool start_object(std::size_t /*elements*/) override { return Open(true); }
  bool key(string_t& key) override {
    open_.back().key = key;
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t /*elements*/) override { return Open(false); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  bool Value() {
    if (!open_.empty() && !open_.back().isKey) ++open_.back().index;
    if (open_.size() == target_.size() &&
        std::equal(open_.begin(), open_.end(), target_.begin(), [](const Step& a, const Step& b) {
          return a.isKey == b.isKey && (a.isKey ? a.key == b.key : a.index == b.index);
        })) {
      found_ = reached_;
      return false;  // stop reading
    }
    return true;
  }
  bool Open(bool object) {
    if (!Value()) return false;
    open_.push_back(Step{object, {}, -1});
    return true;
  }
  bool Close() {
    open_.pop_back();
    return true;
  }

  const JsonPath& target_;
  const char* const& reached_;
  JsonPath open_;  // the objects and arrays the reading is inside, with the current key or index
  const char* found_ = nullptr;
};

// A text of the scene in double quotes for a message, with its control
// characters escaped as JSON writes them, so that a message stays one line of
// printable text whatever the scene holds.
std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

// The line of the value at `path` in `text`; 0 when it cannot be found.
int64_t LineOf(const std::string& text, const JsonPath& path) {
  const char* reached = text.data();
  Locator locator(path, reached);
  Json::sax_parse(TrackedIterator(text.data(), &reached),
                  TrackedIterator(text.data() + text.size(), &reached), &locator);
  if (locator.found() == nullptr) return 0;
  auto end = static_cast<std::size_t>(locator.found() - text.data());
  // Step back over what was read past the value: blanks, or the byte after a number.
  while (end > 1 && std::isspace(static_cast<unsigned char>(text[end - 1])) != 0) --end;
  return models::PositionAt(text, end > 0 ? end - 1 : 0).line;
}

// nlohmann-json's message without its own position and without the raw input it
// quotes, which may run over several lines.
std::string ParseMessage(const std::string& what) {
  std::string message = what;
  const std::size_t column = message.find("column ");
  const std::size_t colon =
      column == std::string::npos ? message.find("] ") : message.find(": ", column);
  if (colon != std::string::npos) message.erase(0, colon + 2);
  const std::size_t lastRead = message.find("; last read: ");
  if (lastRead != std::string::npos) {
    const std::size_t expected = message.find("; expected ", lastRead);
    message = message.substr(0, lastRead) +
              (expected == std::string::npos ? std::string() : message.substr(expected));
  }
  return message;
}

// Finds the first key given twice in an object, replaying the parse as events:
// nlohmann-json keeps the last of them. It stops at a syntax error, which the
// parse proper then reports.
class RepeatedKeys final : public nlohmann::json_sax<Json> {
 public:
  explicit RepeatedKeys(const char* const& reached) : reached_(reached) {}

  // Just past the repeated key; null when there is none.
  const char* found() const { return found_; }
  const std::string& key() const { return key_; }

  bool null() override { return true; }
  bool boolean(bool /*value*/) override { return true; }
  bool number_integer(number_integer_t /*value*/) override { return true; }
  bool number_unsigned(number_unsigned_t /*value*/) override { return true; }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return true; }
  bool string(string_t& /*value*/) override { return true; }
  bool binary(binary_t& /*value*/) override { return true; }
  bool start_object(std::size_t /*elements*/) override {
    keys_.emplace_back();
    return true;
  }
  bool key(string_t& key) override {
    if (keys_.back().insert(key).second) return true;
    found_ = reached_;
    key_ = key;
    return false;  // stop reading
  }
  bool end_object() override {
    keys_.pop_back();
    return true;
  }
  bool start_array(std::size_t /*elements*/) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  const char* const& reached_;
  std::vector<std::set<std::string>> keys_;  // of each object being read
  const char* found_ = nullptr;
  std::string key_;
};

// The scene's text parsed, repeated keys refused. Two plain passes: the parse
// with a callback (which could refuse them in one) scans the whole enclosing
// array again after each object in it, which takes time growing with the square
// of the number of entries.
Json Parse(const std::string& path, const std::string& text) {
  const char* reached = text.data();
  const auto lineBefore = [&] {
    const auto at = static_cast<std::size_t>(reached - text.data());
    return models::PositionAt(text, at > 0 ? at - 1 : 0).line;
  };
  RepeatedKeys repeated(reached);
  Json::sax_parse(TrackedIterator(text.data(), &reached),
                  TrackedIterator(text.data() + text.size(), &reached), &repeated);
  if (repeated.found() != nullptr) {
    reached = repeated.found();
    throw ModelError(path, lineBefore(), "key " + Quoted(repeated.key()) + " given twice");
  }
  reached = text.data();
  try {
    return Json::parse(TrackedIterator(text.data(), &reached),
                       TrackedIterator(text.data() + text.size(), &reached));
  } catch (const Json::parse_error& error) {
    const std::size_t byte = error.byte > 0 ? error.byte - 1 : 0;
    const models::TextPosition at = models::PositionAt(text, byte);
    throw ModelError(path, at.line, ParseMessage(error.what()), at.column);
  } catch (const Json::exception& error) {  // a number too large, say
    throw ModelError(path, lineBefore(), ParseMessage(error.what()));
  }
}

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

std::string Kind(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
    case Json::value_t::array:
      return std::string("an ") + value.type_name();
    default:
      return std::string("a ") + value.type_name();
  }
}

void CheckKeys(const Node& node, std::initializer_list<const char*> known) {
  for (const auto& item : node->items()) {
    if (std::none_of(known.begin(), known.end(), [&](const char* k) { return item.key() == k; })) {
      std::string list;
      for (const char* k : known) list += std::string(list.empty() ? "" : ", ") + k;
      node[item.key()].Fail("unknown key " + Quoted(item.key()) + " (known: " + list + ")");
    }
  }
}

void Require(const Node& node, const char* key) {
  if (!node.Has(key)) node.Fail(std::string("missing key \"") + key + "\"");
}

const std::string& String(const Node& node, const char* what) {
  if (!node->is_string()) node.Fail(std::string(what) + " must be a string, not " + Kind(*node));
  return node->get_ref<const std::string&>();
}

bool Boolean(const Node& node, const char* what) {
  if (!node->is_boolean())
    node.Fail(std::string(what) + " must be true or false, not " + Kind(*node));
  return node->get<bool>();
}

int64_t Integer(const Node& node, const char* what, int64_t min, int64_t max) {
  if (!node->is_number_integer()) {
    node.Fail(std::string(what) + " must be a whole number, not " + Kind(*node));
  }
  const bool inRange = node->is_number_unsigned()
                           ? node->get<uint64_t>() <= static_cast<uint64_t>(max)
                           : node->get<int64_t>() >= min && node->get<int64_t>() <= max;
  if (!inRange || node->get<int64_t>() < min) {
    node.Fail(std::string(what) + " must be " + std::to_string(min) + " to " + std::to_string(max));
  }
  return node->get<int64_t>();
}

double Number(const Node& node, const char* what) {
  if (!node->is_number()) node.Fail(std::string(what) + " must be a number, not " + Kind(*node));
  const double value = node->get<double>();
  if (!std::isfinite(value)) node.Fail(std::string(what) + " is out of range");
  return value;
}

// One of `names`, as its position in them.
int32_t Choice(const Node& node, const char* what, std::initializer_list<const char*> names) {
  const std::string& value = String(node, what);
  int32_t index = 0;
  std::string list;
  for (const char* name : names) {
    if (value == name) return index;
    ++index;
    list += std::string(list.empty() ? "\"" : ", \"") + name + "\"";
  }
  node.Fail(std::string(what) + " must be one of " + list + ", not " + Quoted(value));
}

MirrorSettings Mirror(const Node& node) {
  if (!node->is_object()) node.Fail("\"mirror\" must be an object, not " + Kind(*node));
  CheckKeys(node, {"type", "axis", "distance"});
  Require(node, "type");
  MirrorSettings mirror;
  mirror.type = Choice(node["type"], "the mirror type", {"off", "separate", "connected"});
  if (node.Has("axis")) {
    const Node axisNode = node["axis"];
    const std::string& axis = String(axisNode, "the mirror axis");
    mirror.axis = 0;
    for (const char c : axis) {
      const int32_t bit = c == 'x' ? 1 : c == 'y' ? 2 : c == 'z' ? 4 : 0;
      if (bit == 0 || (mirror.axis & bit) != 0) mirror.axis = -1;
      if (mirror.axis < 0) break;
      mirror.axis |= bit;
    }
    if (mirror.axis <= 0) {
      axisNode.Fail("the mirror axis must be one or more of the letters x, y, z, not " +
                    Quoted(axis));
    }
  }
  if (node.Has("distance")) {
    mirror.distance = Number(node["distance"], "the mirror distance");
    if (mirror.distance < 0) node["distance"].Fail("the mirror distance must not be negative");
  }
  return mirror;
}

LatheSettings Lathe(const Node& node) {
  if (!node->is_object()) node.Fail("\"lathe\" must be an object, not " + Kind(*node));
  CheckKeys(node, {"type", "axis", "segments"});
  Require(node, "type");
  LatheSettings lathe;
  lathe.type = Choice(node["type"], "the lathe type", {"off", "on"});
  if (node.Has("axis")) lathe.axis = Choice(node["axis"], "the lathe axis", {"x", "y", "z"});
  if (node.Has("segments")) {
    lathe.segments = static_cast<int32_t>(Integer(node["segments"], "lathe segments", 3, 1024));
  }
  return lathe;
}

PatchSettings Patch(const Node& node) {
  if (!node->is_object()) node.Fail("\"patch\" must be an object, not " + Kind(*node));
  CheckKeys(node, {"type", "segments"});
  Require(node, "type");
  PatchSettings patch;
  patch.type = Choice(node["type"], "the patch type", {"off", "on"});
  if (node.Has("segments")) {
    patch.segments = static_cast<int32_t>(Integer(node["segments"], "patch segments", 1, 4));
  }
  return patch;
}

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

void CheckInlineGeometry(const Node& entry) {
  const Node vertices = entry["vertices"];
  if (!vertices->is_array()) vertices.Fail("\"vertices\" must be an array, not " + Kind(*vertices));
  if (static_cast<int64_t>(vertices->size()) > kMaxSlots) vertices.Fail("too many vertices");
  for (std::size_t v = 0; v < vertices->size(); ++v) {
    const Json& vertex = (*vertices)[v];
    if (!vertex.is_array() || vertex.size() != 3) {
      vertices.At(v).Fail("a vertex must be an array of 3 numbers [x, y, z]");
    }
    for (std::size_t k = 0; k < 3; ++k) {
      if (!vertex[k].is_number() || !std::isfinite(vertex[k].get<double>())) {
        Number(vertices.At(v).At(k), "a coordinate");
      }
    }
  }
  const Node faces = entry["faces"];
  if (!faces->is_array()) faces.Fail("\"faces\" must be an array, not " + Kind(*faces));
  if (static_cast<int64_t>(faces->size()) > kMaxSlots) faces.Fail("too many faces");
  const auto last = static_cast<int64_t>(vertices->size()) - 1;
  for (std::size_t f = 0; f < faces->size(); ++f) {
    const Json& face = (*faces)[f];
    if (!face.is_array() || face.empty()) {
      faces.At(f).Fail("a face must be an array of 1 or more vertex indices");
    }
    for (std::size_t k = 0; k < face.size(); ++k) {
      const Json& point = face[k];
      // `last` is -1 without vertices, which no index may pass as (unsigned).
      const bool ok = last >= 0 && point.is_number_unsigned() &&
                      point.get<uint64_t>() <= static_cast<uint64_t>(last);
      if (!ok) {
        const Node bad = faces.At(f).At(k);
        if (last < 0) bad.Fail("a face point, but there are no vertices");
        Integer(bad, "a face point", 0, last);
        bad.Fail("a face point must be 0 to " + std::to_string(last));
      }
    }
  }
}

Entry CheckEntry(const Node& node, const std::string& directory) {
  Entry entry{node};
  CheckKeys(node,
            {"name", "file", "object", "vertices", "faces", "visible", "mirror", "lathe", "patch"});
  const bool file = node.Has("file");
  if (file && (node.Has("vertices") || node.Has("faces"))) {
    node.Fail("an entry takes \"file\" or \"vertices\" and \"faces\", not both");
  }
  if (file) {
    entry.source = Entry::Source::kFile;
    entry.written = String(node["file"], "\"file\"");
    if (entry.written.empty()) node["file"].Fail("\"file\" must not be empty");
    // The system would read a name only up to a NUL: another file than the one named.
    if (entry.written.find('\0') != std::string::npos) {
      node["file"].Fail("\"file\" must not hold a NUL character (\\u0000)");
    }
    entry.file = models::ResolvePath(directory, entry.written);
    if (node.Has("object")) entry.object = String(node["object"], "\"object\"");
  } else {
    if (!node.Has("vertices") && !node.Has("faces")) {
      node.Fail("an entry needs \"file\", or \"vertices\" and \"faces\"");
    }
    Require(node, "vertices");
    Require(node, "faces");
    if (node.Has("object")) node["object"].Fail("\"object\" picks an object of a \"file\"");
    entry.source = Entry::Source::kInline;
    CheckInlineGeometry(node);
  }
  if (node.Has("name")) entry.name = String(node["name"], "\"name\"");
  if (node.Has("visible")) entry.visible = Boolean(node["visible"], "\"visible\"");
  if (node.Has("mirror")) entry.mirror = Mirror(node["mirror"]);
  if (node.Has("lathe")) entry.lathe = Lathe(node["lathe"]);
  if (node.Has("patch")) entry.patch = Patch(node["patch"]);
  return entry;
}

void ApplySettings(const Entry& entry, Object& object) {
  object.visible = entry.visible;
  object.mirror = entry.mirror;
  object.lathe = entry.lathe;
  object.patch = entry.patch;
}

void BuildInline(const Entry& entry, Document& staging) {
  const Json& vertices = entry.node->at("vertices");
  const Json& faces = entry.node->at("faces");
  Object& object =
      staging.AddObject(entry.name ? *entry.name : "object " + std::to_string(staging.SlotCount()));
  for (const Json& v : vertices) {
    object.AddVertex({v[0].get<double>(), v[1].get<double>(), v[2].get<double>()});
  }
  std::vector<int32_t> points;
  for (const Json& face : faces) {
    points.clear();
    for (const Json& point : face) points.push_back(static_cast<int32_t>(point.get<uint64_t>()));
    object.AddFace(points);
  }
  ApplySettings(entry, object);
}

class SceneLoader {
 public:
  SceneLoader(const std::string& path, const LoadProgress& progress)
      : path_(path), progress_(progress) {}

  // Running out of memory is told of the OBJ file being read or built from, if
  // any, else of the scene.
  void Load(Document& document) try {
    text_ = models::ReadWholeFile(path_, kMaxSceneBytes);
    const Json root = Parse(path_, text_);
    try {
      LoadInto(Node(root, {}), document);
    } catch (const Fault& fault) {
      throw ModelError(path_, LineOf(text_, fault.path), fault.what());
    }
  } catch (const std::bad_alloc&) {
    throw models::OutOfMemory(path_);
  } catch (const std::length_error&) {  // a size past what a container can hold
    throw models::OutOfMemory(path_);
  }

 private:
  void LoadInto(const Node& root, Document& document) {
    if (!root->is_object()) root.Fail("a scene must be a JSON object, not " + Kind(*root));
    CheckKeys(root, {"format", "version", "current", "objects"});
    Require(root, "format");
    if (String(root["format"], "\"format\"") != kFormat) {
      root["format"].Fail(std::string("\"format\" must be \"") + kFormat + "\"");
    }
    Require(root, "version");
    const int64_t version = Integer(root["version"], "\"version\"", 1, INT64_MAX);
    if (version > kVersion) {
      root["version"].Fail("version " + std::to_string(version) + " is newer than this loader (" +
                           std::to_string(kVersion) + ")");
    }
    std::optional<int64_t> current;
    if (root.Has("current")) current = Integer(root["current"], "\"current\"", 0, kMaxSlots - 1);
    Require(root, "objects");
    const Node objects = root["objects"];
    if (!objects->is_array()) objects.Fail("\"objects\" must be an array, not " + Kind(*objects));

    // Check every entry before the first file is read.
    const std::string directory = models::DirectoryOf(path_);
    std::vector<Entry> entries;
    std::map<std::string, std::size_t> lastUse;  // file -> the last entry that takes from it
    for (std::size_t i = 0; i < objects->size(); ++i) {
      const Node node = objects.At(i);
      if (node->is_null()) {
        entries.push_back(Entry{node});
      } else if (node->is_object()) {
        entries.push_back(CheckEntry(node, directory));
        if (entries.back().source == Entry::Source::kFile) lastUse[entries.back().file] = i;
      } else {
        node.Fail("an entry must be an object or null, not " + Kind(*node));
      }
    }

    uint64_t total = text_.size();
    for (const auto& use : lastUse) total += models::FileSizeOrZero(use.first);
    done_ = text_.size();
    total_ = total;
    models::ProgressShare(&progress_, 0, total_).Report(done_);

    Document staging;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const Entry& entry = entries[i];
      if (entry.source == Entry::Source::kNone) {
        staging.AddObject({});
        staging.RemoveObject(staging.SlotCount() - 1);
      } else if (entry.source == Entry::Source::kInline) {
        BuildInline(entry, staging);
      } else {
        BuildFromFile(entry, staging);
        if (lastUse[entry.file] == i) files_.erase(entry.file);
      }
      if (staging.SlotCount() > kMaxSlots - 1) entry.node.Fail("too many objects");
    }

    int32_t chosen = 0;
    if (current) {
      const Node node = root["current"];
      if (*current >= staging.SlotCount()) {
        node.Fail("\"current\" is " + std::to_string(*current) + ", but the scene has " +
                  std::to_string(staging.SlotCount()) + " slots");
      }
      chosen = static_cast<int32_t>(*current);
      if (staging.At(chosen) == nullptr) {
        node.Fail("\"current\" is slot " + std::to_string(chosen) + ", which is empty");
      }
    } else {
      while (chosen < staging.SlotCount() && staging.At(chosen) == nullptr) ++chosen;
      if (chosen == staging.SlotCount()) chosen = 0;
    }

    const int32_t first = document.SlotCount();
    const bool loaded = staging.SlotCount() > 0;
    document.TakeSlots(staging);
    if (loaded) document.currentIndex = first + chosen;
  }

  models::ObjFile& File(const Entry& entry) {
    const auto found = files_.find(entry.file);
    if (found != files_.end()) return found->second;
    const uint64_t size = models::FileSizeOrZero(entry.file);
    try {
      models::ObjFile file =
          models::ObjFile::Read(entry.file, models::ProgressShare(&progress_, done_, total_));
      done_ += size;
      return files_.emplace(entry.file, std::move(file)).first->second;
    } catch (const std::bad_alloc&) {
      throw models::OutOfMemory(entry.file);
    } catch (const std::length_error&) {
      throw models::OutOfMemory(entry.file);
    } catch (const ModelError& error) {
      // A file that cannot be had is a fault of the scene; a fault in its text is not.
      if (error.line() > 0) throw;
      entry.node["file"].Fail("cannot load " + Quoted(entry.written) + ": " + error.message());
    }
  }

  void BuildFromFile(const Entry& entry, Document& staging) {
    models::ObjFile& file = File(entry);
    std::vector<int32_t> picked;
    if (entry.object) {
      for (int32_t i = 0; i < file.ObjectCount() && picked.empty(); ++i) {
        if (file.ObjectName(i) == *entry.object) picked.push_back(i);
      }
      if (picked.empty()) {
        std::string names;
        for (int32_t i = 0; i < file.ObjectCount() && i < 10; ++i) {
          names += (i == 0 ? "" : ", ") + Quoted(file.ObjectName(i));
        }
        if (file.ObjectCount() > 10) names += ", ...";
        entry.node["object"].Fail("no object " + Quoted(*entry.object) + " in " +
                                  Quoted(entry.written) + " (it has " +
                                  (names.empty() ? "none" : names) + ")");
      }
    } else {
      for (int32_t i = 0; i < file.ObjectCount(); ++i) picked.push_back(i);
    }
    if (entry.name && picked.size() != 1) {
      entry.node["name"].Fail("\"name\" is for an entry that gives one object; " +
                              Quoted(entry.written) + " gives " + std::to_string(picked.size()));
    }
    for (const int32_t i : picked) {
      try {
        Object& object = file.AddObjectTo(i, staging);
        if (entry.name) object.name = *entry.name;
        ApplySettings(entry, object);
      } catch (const std::bad_alloc&) {
        throw models::OutOfMemory(entry.file);
      } catch (const std::length_error&) {
        throw models::OutOfMemory(entry.file);
      }
    }
  }

  const std::string& path_;
  const LoadProgress& progress_;
  std::string text_;
  std::map<std::string, models::ObjFile> files_;  // read and still to be taken from
  uint64_t done_ = 0;
  uint64_t total_ = 0;
};

}  // namespace

void LoadScene(const std::string& path, Document& document, const LoadProgress& progress) {
  SceneLoader(path, progress).Load(document);
}

}  // namespace vhost
