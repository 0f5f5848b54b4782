// Checking a scene's fields: keys, types, ranges and the geometry of inline
// objects, each fault blamed on the value at fault.
#include "host/models/scene/scene_checks.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "host/models/source_text.h"

namespace vhost::models::scene {
namespace {

constexpr const char* kFormat = "veltrane-scene";
constexpr int64_t kVersion = 1;

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
      node[item.key()].Fail("unknown key " + Quote(item.key()) + " (known: " + list + ")");
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
  node.Fail(std::string(what) + " must be one of " + list + ", not " + Quote(value));
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
                    Quote(axis));
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

}  // namespace

CheckedScene CheckScene(const Node& root, const std::string& directory) {
  CheckedScene scene;
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
  if (root.Has("current"))
    scene.current = Integer(root["current"], "\"current\"", 0, kMaxSlots - 1);
  Require(root, "objects");
  const Node objects = root["objects"];
  if (!objects->is_array()) objects.Fail("\"objects\" must be an array, not " + Kind(*objects));

  for (std::size_t i = 0; i < objects->size(); ++i) {
    const Node node = objects.At(i);
    if (node->is_null()) {
      scene.entries.push_back(Entry{node});
    } else if (node->is_object()) {
      scene.entries.push_back(CheckEntry(node, directory));
      if (scene.entries.back().source == Entry::Source::kFile)
        scene.lastUse[scene.entries.back().file] = i;
    } else {
      node.Fail("an entry must be an object or null, not " + Kind(*node));
    }
  }
  return scene;
}

}  // namespace vhost::models::scene
