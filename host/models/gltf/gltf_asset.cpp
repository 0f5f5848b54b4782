#include "host/models/gltf/gltf_asset.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

#include "host/models/gltf/gltf_compression.h"
#include "host/models/model_error.h"
#include "host/models/registry.h"
#include "host/models/source_text.h"

namespace vhost::models::gltf {

std::size_t ComponentSize(int type) {
  switch (type) {
    case kByte:
    case kUnsignedByte:
      return 1;
    case kShort:
    case kUnsignedShort:
      return 2;
    case kUnsignedInt:
    case kFloat:
      return 4;
    default:
      return 0;
  }
}

namespace {

using Json = nlohmann::json;

// Extensions a required list may name that change nothing this host counts:
// they concern materials, textures, lights and cameras. Any other required
// extension that is not decoded here refuses the asset.
bool ChangesNoGeometry(const std::string& name) {
  static const char* const kPrefixes[] = {"KHR_materials_", "KHR_texture_", "EXT_texture_",
                                          "KHR_lights_",    "EXT_lights_",  "MSFT_texture_",
                                          "KHR_xmp",        "KHR_technique"};
  for (const char* prefix : kPrefixes) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Reads the JSON's values for one element, naming it in every fault.
class Reader {
 public:
  Reader(const std::string& file, std::string where) : file_(file), where_(std::move(where)) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw ModelError(file_, 0, where_ + (where_.empty() ? "" : ": ") + what);
  }

  const Json& Object(const Json& value) const {
    if (!value.is_object()) Fail("is not a JSON object");
    return value;
  }
  // The member's value, which must be an array of objects; none when absent.
  const Json* Array(const Json& object, const char* key) const {
    const auto found = object.find(key);
    if (found == object.end()) return nullptr;
    if (!found->is_array()) Fail(std::string("\"") + key + "\" is not an array");
    return &*found;
  }
  std::optional<uint64_t> Whole(const Json& object, const char* key) const {
    const auto found = object.find(key);
    if (found == object.end()) return std::nullopt;
    if (!found->is_number_unsigned() && !(found->is_number_integer() && *found >= 0)) {
      Fail(std::string("\"") + key + "\" is not a whole number of 0 or more");
    }
    return found->get<uint64_t>();
  }
  uint64_t Required(const Json& object, const char* key) const {
    const std::optional<uint64_t> value = Whole(object, key);
    if (!value) Fail(std::string("has no \"") + key + "\"");
    return *value;
  }
  std::size_t Index(const Json& object, const char* key, std::size_t count,
                    const char* what) const {
    return Check(Required(object, key), count, key, what);
  }
  std::optional<std::size_t> OptionalIndex(const Json& object, const char* key, std::size_t count,
                                           const char* what) const {
    const std::optional<uint64_t> value = Whole(object, key);
    if (!value) return std::nullopt;
    return Check(*value, count, key, what);
  }
  std::size_t Check(uint64_t value, std::size_t count, const std::string& key,
                    const char* what) const {
    if (value >= count) {
      Fail("\"" + key + "\" names " + what + " " + std::to_string(value) + ", but the file has " +
           std::to_string(count));
    }
    return static_cast<std::size_t>(value);
  }
  std::string String(const Json& object, const char* key) const {
    const auto found = object.find(key);
    if (found == object.end()) return {};
    if (!found->is_string()) Fail(std::string("\"") + key + "\" is not a string");
    return found->get<std::string>();
  }
  bool Bool(const Json& object, const char* key, bool otherwise) const {
    const auto found = object.find(key);
    if (found == object.end()) return otherwise;
    if (!found->is_boolean()) Fail(std::string("\"") + key + "\" is not true or false");
    return found->get<bool>();
  }
  // The extension's object, when the element has it.
  const Json* Extension(const Json& object, const char* name) const {
    const auto extensions = object.find("extensions");
    if (extensions == object.end()) return nullptr;
    if (!extensions->is_object()) Fail("\"extensions\" is not a JSON object");
    const auto found = extensions->find(name);
    if (found == extensions->end()) return nullptr;
    if (!found->is_object()) Fail(std::string(name) + " is not a JSON object");
    return &*found;
  }

 private:
  const std::string& file_;
  std::string where_;
};

int Components(const std::string& type) {
  static const std::pair<const char*, int> kTypes[] = {
      {"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}, {"MAT2", 4}, {"MAT3", 9}, {"MAT4", 16}};
  for (const auto& [name, count] : kTypes) {
    if (type == name) return count;
  }
  return 0;
}

// "data:[type][;base64],DATA" decoded; throws std::invalid_argument.
std::string DecodeDataUri(const std::string& uri) {
  const std::size_t comma = uri.find(',');
  if (comma == std::string::npos || uri.rfind(";base64", comma) == std::string::npos) {
    throw std::invalid_argument("a data: URI that is not base64");
  }
  static const auto kValues = [] {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
      values[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return values;
  }();
  std::string out;
  out.reserve((uri.size() - comma) / 4 * 3);
  uint32_t bits = 0;
  int held = 0;
  for (std::size_t i = comma + 1; i < uri.size(); ++i) {
    const auto c = static_cast<unsigned char>(uri[i]);
    if (c == '=') break;
    const int8_t value = kValues[c];
    if (value < 0) throw std::invalid_argument("a data: URI with a character that is not base64");
    bits = (bits << 6) | static_cast<uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<char>((bits >> held) & 0xff));
    }
  }
  return out;
}

uint32_t Le32(const char* bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

}  // namespace

Asset::Asset(const std::string& file, std::string_view bytes, UriReader readUri)
    : file_(file), readUri_(std::move(readUri)), readBytes_(bytes.size()) {
  const Reader top(file_, "");
  std::string_view text = bytes;
  if (bytes.size() >= 4 && bytes.substr(0, 4) == "glTF") {
    if (bytes.size() < 12) top.Fail("a binary glTF file cut short in its 12-byte header");
    const uint32_t version = Le32(bytes.data() + 4);
    if (version == 1)
      throw NotThisReader(file_, 0, "a binary glTF 1.0 file, which this build does not read");
    if (version != 2) top.Fail("binary glTF version " + std::to_string(version) + ", not 2");
    const uint32_t length = Le32(bytes.data() + 8);
    if (length > bytes.size()) {
      top.Fail("cut short: its header says " + std::to_string(length) + " bytes, the file has " +
               std::to_string(bytes.size()));
    }
    std::size_t at = 12;
    bool json = false;
    while (at < length) {
      if (length - at < 8) top.Fail("a chunk header cut short at byte " + std::to_string(at));
      const uint32_t size = Le32(bytes.data() + at);
      const uint32_t type = Le32(bytes.data() + at + 4);
      if (size > length - at - 8) {
        top.Fail("the chunk at byte " + std::to_string(at) + " runs past the file's end");
      }
      const std::string_view data = bytes.substr(at + 8, size);
      if (!json) {
        if (type != 0x4E4F534Au) top.Fail("its first chunk is not JSON");
        text = data;
        json = true;
      } else if (type == 0x004E4942u && !hasGlbBinary_) {
        glbBinary_ = data;
        hasGlbBinary_ = true;
      }
      at += 8 + size;
    }
    if (!json) top.Fail("a binary glTF file without a JSON chunk");
  }

  Json root;
  try {
    root = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& error) {
    const TextPosition at = PositionAt(text, error.byte == 0 ? 0 : error.byte - 1);
    std::string what = error.what();
    const std::size_t colon =
        what.find(": ");  // "[json.exception.parse_error.101] parse error at ...: "
    if (colon != std::string::npos) what.erase(0, colon + 2);
    throw ModelError(file_, bytes.data() == text.data() ? at.line : 0, "not valid JSON: " + what,
                     bytes.data() == text.data() ? at.column : 0);
  } catch (const Json::exception& error) {
    // A number past what a double holds ("1e999") is no parse error to the
    // library, but is no number of a glTF file either.
    std::string what = error.what();
    const std::size_t bracket = what.find("] ");
    if (bracket != std::string::npos) what.erase(0, bracket + 2);
    top.Fail("not valid JSON: " + what);
  }
  top.Object(root);
  // glTF 1.0 (whose "asset" was optional, whose version may be a number, and
  // whose meshes are an object of named ones) is another format: assimp's.
  const auto asset = root.find("asset");
  const auto meshes = root.find("meshes");
  const bool hasVersion = asset != root.end() && asset->is_object() && asset->contains("version");
  const Json* version = hasVersion ? &(*asset)["version"] : nullptr;
  if ((meshes != root.end() && meshes->is_object()) ||
      (version != nullptr && version->is_number()) ||
      (version != nullptr && version->is_string() &&
       version->get<std::string>().rfind("1", 0) == 0)) {
    throw NotThisReader(file_, 0, "a glTF 1.0 file, which this build reads through assimp only");
  }
  if (version == nullptr || !version->is_string()) {
    top.Fail("no \"asset\" with a \"version\": not a glTF file");
  }
  if (version->get<std::string>().rfind("2.", 0) != 0) {
    top.Fail("glTF version \"" + version->get<std::string>() + "\", not 2.x");
  }

  for (const char* list : {"extensionsUsed", "extensionsRequired"}) {
    if (const Json* names = top.Array(root, list)) {
      for (const Json& name : *names) {
        if (!name.is_string())
          top.Fail(std::string("\"") + list + "\" holds a value that is not a name");
        if (std::string(list) == "extensionsUsed") continue;
        const std::string required = name.get<std::string>();
        if ((required == "KHR_draco_mesh_compression" && DecodesDraco()) ||
            (required == "EXT_meshopt_compression" && DecodesMeshopt()) ||
            required == "KHR_mesh_quantization" || required == "KHR_node_visibility" ||
            ChangesNoGeometry(required)) {
          continue;
        }
        top.Fail("it requires the extension " + required +
                 ", which this build does not read, so its geometry cannot be counted");
      }
    }
  }

  if (const Json* list = top.Array(root, "buffers")) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const Reader r(file_, "buffer " + std::to_string(i));
      const Json& json = r.Object((*list)[i]);
      Buffer buffer;
      buffer.length = r.Required(json, "byteLength");
      const auto uri = json.find("uri");
      if (uri != json.end()) buffer.uri = r.String(json, "uri");
      if (const Json* meshopt = r.Extension(json, "EXT_meshopt_compression")) {
        buffer.fallback = r.Bool(*meshopt, "fallback", false);
      }
      if (!buffer.uri && !buffer.fallback) {
        if (i != 0 || !hasGlbBinary_) r.Fail("has no \"uri\" and is not a binary glTF file's own");
        buffer.glbChunk = true;
      }
      buffers_.push_back(std::move(buffer));
    }
  }
  if (const Json* list = top.Array(root, "bufferViews")) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const Reader r(file_, "bufferView " + std::to_string(i));
      const Json& json = r.Object((*list)[i]);
      BufferView view;
      view.buffer = r.Index(json, "buffer", buffers_.size(), "buffer");
      view.offset = r.Whole(json, "byteOffset").value_or(0);
      view.length = r.Required(json, "byteLength");
      view.stride = r.Whole(json, "byteStride").value_or(0);
      if (view.stride != 0 && (view.stride < 4 || view.stride > 252)) {
        r.Fail("\"byteStride\" " + std::to_string(view.stride) + " is not from 4 to 252");
      }
      const uint64_t bufferLength = buffers_[view.buffer].length;
      if (view.offset > bufferLength || view.length > bufferLength - view.offset) {
        r.Fail("bytes " + std::to_string(view.offset) + " to " +
               std::to_string(view.offset + view.length) + " lie past the end of buffer " +
               std::to_string(view.buffer) + " (" + std::to_string(bufferLength) + " bytes)");
      }
      if (const Json* meshopt = r.Extension(json, "EXT_meshopt_compression")) {
        const Reader m(file_, "bufferView " + std::to_string(i) + " EXT_meshopt_compression");
        MeshoptView compressed;
        compressed.buffer = m.Index(*meshopt, "buffer", buffers_.size(), "buffer");
        compressed.offset = m.Whole(*meshopt, "byteOffset").value_or(0);
        compressed.length = m.Required(*meshopt, "byteLength");
        compressed.stride = m.Required(*meshopt, "byteStride");
        compressed.count = m.Required(*meshopt, "count");
        compressed.mode = m.String(*meshopt, "mode");
        compressed.filter = m.String(*meshopt, "filter");
        if (compressed.filter.empty()) compressed.filter = "NONE";
        const uint64_t length = buffers_[compressed.buffer].length;
        if (compressed.offset > length || compressed.length > length - compressed.offset) {
          m.Fail("its compressed bytes lie past the end of buffer " +
                 std::to_string(compressed.buffer));
        }
        if (compressed.mode != "ATTRIBUTES" && compressed.mode != "TRIANGLES" &&
            compressed.mode != "INDICES") {
          m.Fail("\"mode\" \"" + compressed.mode + "\" is none of ATTRIBUTES, TRIANGLES, INDICES");
        }
        if (compressed.filter != "NONE" && compressed.filter != "OCTAHEDRAL" &&
            compressed.filter != "QUATERNION" && compressed.filter != "EXPONENTIAL") {
          m.Fail("\"filter\" \"" + compressed.filter + "\" is not one meshoptimizer decodes");
        }
        const bool attributes = compressed.mode == "ATTRIBUTES";
        if (attributes
                ? (compressed.stride == 0 || compressed.stride > 256 || compressed.stride % 4 != 0)
                : (compressed.stride != 2 && compressed.stride != 4)) {
          m.Fail("\"byteStride\" " + std::to_string(compressed.stride) + " does not suit mode " +
                 compressed.mode);
        }
        if (compressed.mode == "TRIANGLES" && compressed.count % 3 != 0) {
          m.Fail("\"count\" " + std::to_string(compressed.count) +
                 " is no whole number of triangles");
        }
        if (compressed.count > view.length / compressed.stride ||
            compressed.count * compressed.stride != view.length) {
          m.Fail("decodes to " + std::to_string(compressed.count) + " × " +
                 std::to_string(compressed.stride) + " bytes, but the view has " +
                 std::to_string(view.length));
        }
        view.meshopt = compressed;
      }
      views_.push_back(view);
    }
  }
  const auto checkedView = [this](const Reader& r, const Json& json, const char* key) {
    return r.Index(json, key, views_.size(), "bufferView");
  };
  if (const Json* list = top.Array(root, "accessors")) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const Reader r(file_, "accessor " + std::to_string(i));
      const Json& json = r.Object((*list)[i]);
      Accessor accessor;
      if (json.contains("bufferView")) accessor.view = checkedView(r, json, "bufferView");
      accessor.offset = r.Whole(json, "byteOffset").value_or(0);
      accessor.componentType = static_cast<int>(r.Required(json, "componentType"));
      if (ComponentSize(accessor.componentType) == 0) {
        r.Fail("\"componentType\" " + std::to_string(accessor.componentType) +
               " is not a glTF component type");
      }
      accessor.normalized = r.Bool(json, "normalized", false);
      accessor.count = r.Required(json, "count");
      accessor.components = Components(r.String(json, "type"));
      if (accessor.components == 0)
        r.Fail("\"type\" is none of SCALAR, VEC2 to VEC4, MAT2 to MAT4");
      const uint64_t element = accessor.ElementSize();
      if (accessor.view) {
        const BufferView& view = views_[*accessor.view];
        const uint64_t stride = view.stride != 0 ? view.stride : element;
        if (view.stride != 0 && view.stride < element) {
          r.Fail("its elements of " + std::to_string(element) +
                 " bytes are longer than the stride " + std::to_string(view.stride) +
                 " of bufferView " + std::to_string(*accessor.view));
        }
        if (accessor.count > 0 &&
            (accessor.offset > view.length ||
             (accessor.count - 1) > (view.length - accessor.offset) / stride ||
             (accessor.count - 1) * stride + element > view.length - accessor.offset)) {
          r.Fail(std::to_string(accessor.count) + " elements from byte " +
                 std::to_string(accessor.offset) + " lie past the end of bufferView " +
                 std::to_string(*accessor.view) + " (" + std::to_string(view.length) + " bytes)");
        }
      }
      const auto sparse = json.find("sparse");
      if (sparse != json.end()) {
        const Reader s(file_, "accessor " + std::to_string(i) + " sparse");
        s.Object(*sparse);
        Sparse values;
        values.count = s.Required(*sparse, "count");
        if (values.count > accessor.count) {
          s.Fail("replaces " + std::to_string(values.count) + " of " +
                 std::to_string(accessor.count) + " elements");
        }
        const auto indices = sparse->find("indices");
        const auto replacements = sparse->find("values");
        if (indices == sparse->end() || replacements == sparse->end())
          s.Fail("lacks \"indices\" or \"values\"");
        s.Object(*indices);
        s.Object(*replacements);
        values.indicesView = checkedView(s, *indices, "bufferView");
        values.indicesOffset = s.Whole(*indices, "byteOffset").value_or(0);
        values.indicesType = static_cast<int>(s.Required(*indices, "componentType"));
        if (values.indicesType != kUnsignedByte && values.indicesType != kUnsignedShort &&
            values.indicesType != kUnsignedInt) {
          s.Fail("its indices are not of an unsigned integer type");
        }
        values.valuesView = checkedView(s, *replacements, "bufferView");
        values.valuesOffset = s.Whole(*replacements, "byteOffset").value_or(0);
        const auto fits = [&](std::size_t view, uint64_t offset, uint64_t size) {
          const uint64_t length = views_[view].length;
          return offset <= length && values.count <= (length - offset) / size;
        };
        if (!fits(values.indicesView, values.indicesOffset, ComponentSize(values.indicesType)) ||
            !fits(values.valuesView, values.valuesOffset, element)) {
          s.Fail("its indices or values lie past the end of their bufferView");
        }
        accessor.sparse = values;
      }
      accessors_.push_back(accessor);
    }
  }
  if (const Json* list = top.Array(root, "meshes")) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const Reader r(file_, "mesh " + std::to_string(i));
      const Json& json = r.Object((*list)[i]);
      Mesh mesh;
      mesh.name = r.String(json, "name");
      const Json* primitives = r.Array(json, "primitives");
      if (primitives == nullptr || primitives->empty()) r.Fail("has no primitives");
      for (std::size_t p = 0; p < primitives->size(); ++p) {
        const Reader pr(file_, "mesh " + std::to_string(i) + " primitive " + std::to_string(p));
        const Json& pj = pr.Object((*primitives)[p]);
        Primitive primitive;
        const auto attributes = pj.find("attributes");
        if (attributes == pj.end()) pr.Fail("has no \"attributes\"");
        pr.Object(*attributes);
        for (const auto& [name, value] : attributes->items()) {
          if (!value.is_number_unsigned() && !(value.is_number_integer() && value >= 0)) {
            pr.Fail("attribute " + name + " names no accessor");
          }
          primitive.attributes[name] =
              pr.Check(value.get<uint64_t>(), accessors_.size(), "attributes." + name, "accessor");
        }
        primitive.indices = pr.OptionalIndex(pj, "indices", accessors_.size(), "accessor");
        const uint64_t mode = pr.Whole(pj, "mode").value_or(4);
        if (mode > 6) pr.Fail("\"mode\" " + std::to_string(mode) + " is not a glTF primitive mode");
        primitive.mode = static_cast<int>(mode);
        if (const Json* draco = pr.Extension(pj, "KHR_draco_mesh_compression")) {
          const Reader d(file_, "mesh " + std::to_string(i) + " primitive " + std::to_string(p) +
                                    " KHR_draco_mesh_compression");
          DracoPrimitive compressed;
          compressed.view = checkedView(d, *draco, "bufferView");
          const auto ids = draco->find("attributes");
          if (ids == draco->end()) d.Fail("has no \"attributes\"");
          d.Object(*ids);
          for (const auto& [name, value] : ids->items()) {
            if (!value.is_number_unsigned() && !(value.is_number_integer() && value >= 0)) {
              d.Fail("attribute " + name + " names no Draco attribute");
            }
            compressed.attributes[name] =
                static_cast<int>(std::min<uint64_t>(value.get<uint64_t>(), INT32_MAX));
          }
          primitive.draco = compressed;
        }
        mesh.primitives.push_back(std::move(primitive));
      }
      meshes_.push_back(std::move(mesh));
    }
  }
  if (const Json* list = top.Array(root, "nodes")) {
    nodes_.resize(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
      const Reader r(file_, "node " + std::to_string(i));
      const Json& json = r.Object((*list)[i]);
      Node& node = nodes_[i];
      node.name = r.String(json, "name");
      node.mesh = r.OptionalIndex(json, "mesh", meshes_.size(), "mesh");
      if (const Json* children = r.Array(json, "children")) {
        for (const Json& child : *children) {
          if (!child.is_number_unsigned() && !(child.is_number_integer() && child >= 0)) {
            r.Fail("\"children\" holds a value that names no node");
          }
          node.children.push_back(r.Check(child.get<uint64_t>(), list->size(), "children", "node"));
        }
      }
      if (const Json* visibility = r.Extension(json, "KHR_node_visibility")) {
        node.visible = Reader(file_, "node " + std::to_string(i) + " KHR_node_visibility")
                           .Bool(*visibility, "visible", true);
      }
    }
  }
  if (const Json* scenes = top.Array(root, "scenes"); scenes != nullptr && !scenes->empty()) {
    const std::size_t shown = top.OptionalIndex(root, "scene", scenes->size(), "scene").value_or(0);
    const Reader r(file_, "scene " + std::to_string(shown));
    const Json& scene = r.Object((*scenes)[shown]);
    roots_.emplace();
    if (const Json* nodes = r.Array(scene, "nodes")) {
      for (const Json& node : *nodes) {
        if (!node.is_number_unsigned() && !(node.is_number_integer() && node >= 0)) {
          r.Fail("\"nodes\" holds a value that names no node");
        }
        roots_->push_back(r.Check(node.get<uint64_t>(), nodes_.size(), "nodes", "node"));
      }
    }
  } else if (root.contains("scene")) {
    top.Fail("\"scene\" names a scene, but the file has none");
  }
}

std::string_view Asset::BufferBytes(std::size_t index) const {
  const Buffer& buffer = buffers_.at(index);
  const Reader r(file_, "buffer " + std::to_string(index));
  if (buffer.glbChunk) {
    if (glbBinary_.size() < buffer.length) {
      r.Fail("declares " + std::to_string(buffer.length) + " bytes, but the binary chunk holds " +
             std::to_string(glbBinary_.size()));
    }
    return glbBinary_.substr(0, static_cast<std::size_t>(buffer.length));
  }
  if (buffer.fallback || !buffer.uri) {
    r.Fail("holds no data (it stands in for compressed data)");
  }
  if (!buffer.loaded) {
    std::string bytes;
    if (buffer.uri->rfind("data:", 0) == 0) {
      try {
        bytes = DecodeDataUri(*buffer.uri);
      } catch (const std::invalid_argument& error) {
        r.Fail(error.what());
      }
    } else {
      bytes = readUri_(*buffer.uri, buffer.length);
    }
    if (bytes.size() < buffer.length) {
      r.Fail("declares " + std::to_string(buffer.length) + " bytes, but its data holds " +
             std::to_string(bytes.size()));
    }
    bytes.resize(static_cast<std::size_t>(buffer.length));
    readBytes_ += bytes.size();
    buffer.loaded = std::move(bytes);
  }
  return *buffer.loaded;
}

std::string_view Asset::ViewBytes(std::size_t index) const {
  const BufferView& view = views_.at(index);
  if (view.meshopt && DecodesMeshopt()) {
    auto found = decodedViews_.find(index);
    if (found == decodedViews_.end()) {
      const MeshoptView& compressed = *view.meshopt;
      if (compressed.count * compressed.stride > MostMadeBytes()) {
        throw ModelError(ModelError::Kind::kLimit, file_, 0,
                         "bufferView " + std::to_string(index) +
                             " EXT_meshopt_compression: decodes to more bytes than this host "
                             "makes of a file of this size");
      }
      const std::string_view from = BufferBytes(compressed.buffer)
                                        .substr(static_cast<std::size_t>(compressed.offset),
                                                static_cast<std::size_t>(compressed.length));
      try {
        found = decodedViews_.emplace(index, DecodeMeshopt(compressed, from)).first;
      } catch (const std::runtime_error& error) {
        Reader(file_, "bufferView " + std::to_string(index) + " EXT_meshopt_compression")
            .Fail(error.what());
      }
    }
    return found->second;
  }
  if (view.meshopt && buffers_[view.buffer].fallback) {
    Reader(file_, "bufferView " + std::to_string(index))
        .Fail("is compressed with EXT_meshopt_compression, which this build does not decode");
  }
  return BufferBytes(view.buffer)
      .substr(static_cast<std::size_t>(view.offset), static_cast<std::size_t>(view.length));
}

}  // namespace vhost::models::gltf
