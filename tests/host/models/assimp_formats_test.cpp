// Real files of other tools, read through assimp, counted as a modelling host
// counts them. Each expected count is worked out here from the file's own bytes
// (its header, chunks, JSON or XML), never from assimp: a loader that drops,
// splits or joins what the file holds shows as a difference. "Joined" vertices
// are distinct tuples of the components the file gives a corner (position,
// normal, texture coordinates, colours; not tangents, which are derived), equal
// only to the bit, which is what joining identical vertices leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"
#include "tests/support/shapes.h"

namespace {

using Json = nlohmann::json;

const std::string kModels = "/usr/share/assimp/models/";

// What one object holds: its vertices and its faces by size.
struct Counted {
  std::string name;  // empty: not checked
  int32_t vertices = 0;
  std::array<int32_t, 5> sizes{};  // faces of 1, 2, 3, 4 and 5+ points
  bool visible = true;

  void Face(std::size_t points) {
    if (points > 0) ++sizes[std::min<std::size_t>(points, 5) - 1];
  }
  int32_t Faces() const {
    int32_t total = 0;
    for (const int32_t n : sizes) total += n;
    return total;
  }
};

std::ostream& operator<<(std::ostream& out, const Counted& c) {
  out << "{\"" << c.name << "\" V " << c.vertices << " F " << c.Faces() << " (";
  for (std::size_t i = 0; i < c.sizes.size(); ++i) out << (i ? " " : "") << c.sizes[i];
  return out << ")" << (c.visible ? "" : " hidden") << "}";
}

// The objects `path` loads as, in slot order.
std::vector<Counted> Loaded(const std::string& path) {
  vhost::Document document;
  vhost::LoadModel(path, document);
  std::vector<Counted> objects;
  for (int32_t slot = 0; slot < document.SlotCount(); ++slot) {
    const vhost::Object* object = document.At(slot);
    if (object == nullptr) continue;
    Counted c;
    c.name = object->name;
    c.visible = object->visible;
    c.vertices = object->VertexCount();
    // Every vertex a file gives is one a face uses: an unused one is no corner of the model.
    EXPECT_EQ(testing_support::Count(*object).vertices, c.vertices) << path << ": " << c.name;
    for (int32_t f = 0; f < object->FaceCount(); ++f) {
      c.Face(static_cast<std::size_t>(object->FacePointCount(f)));
    }
    objects.push_back(c);
  }
  return objects;
}

// Expects `path` to load as `expected`; names are compared where given.
[[maybe_unused]] void ExpectCounts(const std::string& path, const std::vector<Counted>& expected) {
  SCOPED_TRACE(path);
  std::vector<Counted> loaded;
  ASSERT_NO_THROW(loaded = Loaded(path));
  ASSERT_EQ(loaded.size(), expected.size()) << "objects";
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    const Counted& want = expected[i];
    const Counted& got = loaded[i];
    if (!want.name.empty()) {
      EXPECT_EQ(got.name, want.name) << "object " << i;
    }
    EXPECT_EQ(got.vertices, want.vertices) << "object " << i << ": " << got << " expected " << want;
    EXPECT_EQ(got.sizes, want.sizes) << "object " << i << ": " << got << " expected " << want;
    EXPECT_EQ(got.visible, want.visible) << "object " << i << ": " << got;
  }
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

template <typename T>
T Little(const std::string& bytes, std::size_t at) {
  if (at + sizeof(T) > bytes.size()) throw std::runtime_error("read past the end");
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof(T));  // the files and this machine: little-endian
  return value;
}

// A corner: its position (the first three values), then its other components.
using Corner = std::vector<double>;

// Corners joined as identical: every component the same to the bit, as the
// 32-bit floats assimp holds (a normal written as 0.7071068 in one place and
// 0.70710677 in another is two vertices, as the file stores them).
class Corners {
 public:
  void insert(const Corner& corner) {
    std::vector<float> held(corner.begin(), corner.end());
    std::vector<uint32_t> bits(held.size());
    std::memcpy(bits.data(), held.data(), held.size() * sizeof(float));
    seen_.insert(bits);
  }
  std::size_t size() const { return seen_.size(); }

 private:
  std::set<std::vector<uint32_t>> seen_;
};

// ---------------------------------------------------------------------------
// STL: one object per solid; a triangle per facet; the facet normal is no
// vertex component, so corners are joined by position alone.

std::vector<Counted> FromStl(const std::string& path) {
  const std::string bytes = Bytes(path);
  std::vector<Counted> solids;
  std::istringstream text(bytes);
  std::string word;
  const bool ascii = bytes.compare(0, 5, "solid") == 0 && bytes.find("facet") != std::string::npos;
  if (!ascii) {
    const auto facets = Little<uint32_t>(bytes, 80);
    EXPECT_EQ(bytes.size(), 84 + std::size_t{50} * facets) << path;
    std::set<std::array<float, 3>> positions;
    for (uint32_t f = 0; f < facets; ++f) {
      for (std::size_t corner = 0; corner < 3; ++corner) {
        const std::size_t at = 84 + std::size_t{50} * f + 12 + 12 * corner;
        positions.insert(
            {Little<float>(bytes, at), Little<float>(bytes, at + 4), Little<float>(bytes, at + 8)});
      }
    }
    Counted solid;
    solid.vertices = static_cast<int32_t>(positions.size());
    solid.sizes[2] = static_cast<int32_t>(facets);
    return {solid};
  }
  std::set<std::array<float, 3>> positions;
  Counted solid;
  while (text >> word) {
    if (word == "solid") {
      solid = Counted{};
      positions.clear();
      std::getline(text, word);
    } else if (word == "vertex") {
      std::array<float, 3> p{};
      text >> p[0] >> p[1] >> p[2];
      positions.insert(p);
    } else if (word == "endfacet") {
      solid.Face(3);
    } else if (word == "endsolid") {
      solid.vertices = static_cast<int32_t>(positions.size());
      solids.push_back(solid);
      std::getline(text, word);
    }
  }
  return solids;
}

// ---------------------------------------------------------------------------
// PLY: the header's elements; a vertex is its record (every property), a face
// the length of its index list.

struct PlyProperty {
  std::string type;       // scalar type, or the item type of a list
  std::string countType;  // a list's count type; empty for a scalar
};
struct PlyElement {
  std::string name;
  std::size_t count = 0;
  std::vector<PlyProperty> properties;
};

std::size_t PlySize(const std::string& type) {
  const std::map<std::string, std::size_t> sizes = {
      {"char", 1},  {"uchar", 1},  {"int8", 1},    {"uint8", 1},  {"short", 2}, {"ushort", 2},
      {"int16", 2}, {"uint16", 2}, {"int", 4},     {"uint", 4},   {"int32", 4}, {"uint32", 4},
      {"float", 4}, {"double", 8}, {"float32", 4}, {"float64", 8}};
  return sizes.at(type);
}

double PlyValue(const std::string& bytes, std::size_t at, const std::string& type) {
  const std::size_t size = PlySize(type);
  if (type == "float" || type == "float32") return Little<float>(bytes, at);
  if (type == "double" || type == "float64") return Little<double>(bytes, at);
  const bool isSigned = type == "char" || type == "int8" || type == "short" || type == "int16" ||
                        type == "int" || type == "int32";
  if (size == 1) return isSigned ? Little<int8_t>(bytes, at) : Little<uint8_t>(bytes, at);
  if (size == 2) return isSigned ? Little<int16_t>(bytes, at) : Little<uint16_t>(bytes, at);
  return isSigned ? Little<int32_t>(bytes, at) : Little<uint32_t>(bytes, at);
}

// One object; a file of vertices and no faces is a cloud of 1-point faces.
Counted FromPly(const std::string& path) {
  const std::string bytes = Bytes(path);
  const std::size_t headerEnd = bytes.find("end_header");
  if (headerEnd == std::string::npos) throw std::runtime_error(path + ": no header");
  std::istringstream header(bytes.substr(0, headerEnd));
  std::string format;
  std::vector<PlyElement> elements;
  for (std::string line; std::getline(header, line);) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "format") {
      words >> format;
    } else if (key == "element") {
      elements.emplace_back();
      words >> elements.back().name >> elements.back().count;
    } else if (key == "property") {
      PlyProperty property;
      words >> property.type;
      if (property.type == "list") words >> property.countType >> property.type;
      elements.back().properties.push_back(property);
    }
  }
  std::size_t body = bytes.find('\n', headerEnd) + 1;
  const bool ascii = format == "ascii";
  if (!ascii && format != "binary_little_endian") throw std::runtime_error(path + ": " + format);
  std::istringstream text(ascii ? bytes.substr(body) : std::string());

  Counted counted;
  Corners vertices;
  bool faces = false;
  for (const PlyElement& element : elements) {
    for (std::size_t item = 0; item < element.count; ++item) {
      Corner record;
      std::size_t listLength = 0;
      for (const PlyProperty& property : element.properties) {
        std::size_t n = 1;
        if (!property.countType.empty()) {
          double length = 0;
          if (ascii) {
            text >> length;
          } else {
            length = PlyValue(bytes, body, property.countType);
            body += PlySize(property.countType);
          }
          n = listLength = static_cast<std::size_t>(length);
        }
        for (std::size_t i = 0; i < n; ++i) {
          double value = 0;
          if (ascii) {
            text >> value;
          } else {
            value = PlyValue(bytes, body, property.type);
            body += PlySize(property.type);
          }
          record.push_back(value);
        }
      }
      if (element.name == "vertex") vertices.insert(record);
      if (element.name == "face") {
        counted.Face(listLength);
        faces = true;
      }
    }
  }
  if (ascii) {
    EXPECT_FALSE(text.fail()) << path << ": shorter than its header says";
  }
  counted.vertices = static_cast<int32_t>(vertices.size());
  if (!faces) {
    for (std::size_t v = 0; v < vertices.size(); ++v) counted.Face(1);
  }
  return counted;
}

// ---------------------------------------------------------------------------
// glTF 2.0: one object per primitive of each mesh a node of the scene uses,
// depth first; faces by the primitive's mode; a vertex is the tuple of all its
// attributes.

std::string Base64(const std::string& text) {
  std::string out;
  uint32_t bits = 0;
  int held = 0;
  for (const char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<char>((bits >> held) & 0xFF));
    }
  }
  return out;
}

class Gltf {
 public:
  // A .gltf file, or a .glb one: its JSON chunk and its binary chunk.
  explicit Gltf(const std::string& path) : directory_(std::filesystem::path(path).parent_path()) {
    const std::string bytes = Bytes(path);
    if (bytes.compare(0, 4, "glTF") == 0) {
      EXPECT_EQ(Little<uint32_t>(bytes, 4), 2u) << path;
      EXPECT_EQ(Little<uint32_t>(bytes, 8), bytes.size()) << path;
      for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const auto length = Little<uint32_t>(bytes, at);
        const auto type = Little<uint32_t>(bytes, at + 4);
        if (type == 0x4E4F534A) json_ = Json::parse(bytes.substr(at + 8, length));  // "JSON"
        if (type == 0x004E4942) bin_ = bytes.substr(at + 8, length);                // "BIN\0"
        at += 8 + ((length + 3) & ~3u);
      }
    } else {
      json_ = Json::parse(bytes);
    }
    for (const Json& buffer : json_.value("buffers", Json::array())) {
      const std::string uri = buffer.value("uri", "");
      if (uri.empty()) {
        buffers_.push_back(bin_);
      } else if (uri.rfind("data:", 0) == 0) {
        buffers_.push_back(Base64(uri.substr(uri.find(',') + 1)));
      } else {
        buffers_.push_back(Bytes((directory_ / uri).string()));
      }
    }
  }

  std::vector<Counted> Objects() const {
    std::vector<Counted> objects;
    const std::size_t scene = json_.value("scene", 0u);
    std::function<void(std::size_t)> visit = [&](std::size_t n) {
      const Json& node = json_["nodes"][n];
      if (node.contains("mesh")) {
        const Json& mesh = json_["meshes"][node["mesh"].get<std::size_t>()];
        for (const Json& primitive : mesh["primitives"]) objects.push_back(Primitive(primitive));
      }
      for (const Json& child : node.value("children", Json::array())) {
        visit(child.get<std::size_t>());
      }
    };
    for (const Json& root : json_["scenes"][scene]["nodes"]) visit(root.get<std::size_t>());
    return objects;
  }

  const Json& json() const { return json_; }

 private:
  // The accessor's elements, each its components.
  std::vector<Corner> Read(std::size_t index) const {
    const Json& accessor = json_["accessors"][index];
    EXPECT_FALSE(accessor.contains("sparse")) << "sparse accessors are not read here";
    const std::map<std::string, std::size_t> widths = {
        {"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}, {"MAT4", 16}};
    const std::size_t width = widths.at(accessor["type"].get<std::string>());
    const int type = accessor["componentType"].get<int>();
    const std::size_t size = type == 5126 || type == 5125   ? 4
                             : type == 5123 || type == 5122 ? 2
                                                            : 1;
    const Json& view = json_["bufferViews"][accessor["bufferView"].get<std::size_t>()];
    const std::string& buffer = buffers_.at(view["buffer"].get<std::size_t>());
    const std::size_t stride = view.value("byteStride", width * size);
    const std::size_t start = view.value("byteOffset", 0u) + accessor.value("byteOffset", 0u);
    std::vector<Corner> elements(accessor["count"].get<std::size_t>());
    for (std::size_t e = 0; e < elements.size(); ++e) {
      for (std::size_t c = 0; c < width; ++c) {
        const std::size_t at = start + e * stride + c * size;
        double value = 0;
        switch (type) {
          case 5126:
            value = Little<float>(buffer, at);
            break;
          case 5125:
            value = Little<uint32_t>(buffer, at);
            break;
          case 5123:
            value = Little<uint16_t>(buffer, at);
            break;
          case 5122:
            value = Little<int16_t>(buffer, at);
            break;
          case 5121:
            value = Little<uint8_t>(buffer, at);
            break;
          default:
            value = Little<int8_t>(buffer, at);
            break;
        }
        elements[e].push_back(value);
      }
    }
    return elements;
  }

  Counted Primitive(const Json& primitive) const {
    Counted counted;
    const Json& attributes = primitive["attributes"];
    const std::size_t count =
        json_["accessors"][attributes["POSITION"].get<std::size_t>()]["count"];
    std::vector<Corner> vertices(count);
    for (const auto& attribute : attributes.items()) {
      const std::vector<Corner> values = Read(attribute.value().get<std::size_t>());
      for (std::size_t v = 0; v < count; ++v) {
        vertices[v].insert(vertices[v].end(), values[v].begin(), values[v].end());
      }
    }
    std::size_t indices = count;
    if (primitive.contains("indices")) {
      indices = Read(primitive["indices"].get<std::size_t>()).size();
    }
    Corners joined;
    for (const Corner& vertex : vertices) joined.insert(vertex);
    counted.vertices = static_cast<int32_t>(joined.size());
    switch (primitive.value("mode", 4)) {
      case 0:
        counted.sizes[0] = static_cast<int32_t>(indices);
        break;  // points
      case 1:
        counted.sizes[1] = static_cast<int32_t>(indices / 2);
        break;  // lines
      case 2:
        counted.sizes[1] = static_cast<int32_t>(indices);
        break;  // a loop
      case 3:
        counted.sizes[1] = static_cast<int32_t>(indices - 1);
        break;  // a strip
      case 4:
        counted.sizes[2] = static_cast<int32_t>(indices / 3);
        break;  // triangles
      default:
        counted.sizes[2] = static_cast<int32_t>(indices - 2);
        break;  // strip, fan
    }
    return counted;
  }

  std::filesystem::path directory_;
  Json json_;
  std::string bin_;
  std::vector<std::string> buffers_;
};

// ---------------------------------------------------------------------------
// FBX, ASCII: a tree of "Key: value, value {children}" nodes. One object per
// Model with a Geometry, depth first along the file's connections from the
// root; a face per polygon of PolygonVertexIndex (a negative index, ~cp, ends
// one); a vertex is the tuple of position and every layer's value at the corner.

struct FbxNode {
  std::string key;
  std::vector<std::string> values;  // strings without their quotes
  std::vector<FbxNode> children;

  const FbxNode* Child(const std::string& name) const {
    for (const FbxNode& child : children) {
      if (child.key == name) return &child;
    }
    return nullptr;
  }
  // The numbers of an array child ("Vertices: *24 { a: ... }").
  std::vector<double> Numbers(const std::string& name) const {
    std::vector<double> numbers;
    const FbxNode* array = Child(name);
    if (array == nullptr) return numbers;
    const FbxNode* a = array->Child("a");
    if (a == nullptr) return numbers;
    for (const std::string& value : a->values) numbers.push_back(std::stod(value));
    EXPECT_EQ("*" + std::to_string(numbers.size()), array->values.at(0)) << name;
    return numbers;
  }
  std::string Value(const std::string& name) const {
    const FbxNode* child = Child(name);
    return child == nullptr || child->values.empty() ? std::string() : child->values[0];
  }
};

class FbxText {
 public:
  explicit FbxText(std::string text) : text_(std::move(text)) {}

  std::vector<FbxNode> Nodes() {
    std::vector<FbxNode> nodes;
    for (Token t = Next(); t.kind == kKey; t = Next()) nodes.push_back(Node(t.text));
    --at_;  // the '}' or the end, for the caller
    return nodes;
  }

 private:
  enum Kind { kKey, kValue, kComma, kOpen, kClose, kEnd };
  struct Token {
    Kind kind;
    std::string text;
  };

  FbxNode Node(const std::string& key) {
    FbxNode node;
    node.key = key;
    Token t = Next();
    if (t.kind == kValue || t.kind == kComma) {  // "Content: , ..." starts with an empty value
      node.values.push_back(t.kind == kValue ? t.text : std::string());
      if (t.kind == kValue) t = Next();
      for (; t.kind == kComma; t = Next()) {
        const Token value = Next();
        node.values.push_back(value.kind == kValue ? value.text : std::string());
        if (value.kind != kValue) Back();
      }
    }
    if (t.kind == kOpen) {
      node.children = Nodes();
      if (Next().kind != kClose) throw std::runtime_error("FBX: unbalanced braces");
    } else {
      Back();
    }
    return node;
  }

  Token Next() {
    mark_ = at_;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == ';') {
        at_ = text_.find('\n', at_);
        if (at_ == std::string::npos) at_ = text_.size();
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++at_;
      } else {
        break;
      }
    }
    if (at_ >= text_.size()) return {kEnd, {}};
    const char c = text_[at_];
    if (c == ',' || c == '{' || c == '}') {
      ++at_;
      return {c == ',' ? kComma : c == '{' ? kOpen : kClose, std::string(1, c)};
    }
    if (c == '"') {
      const std::size_t end = text_.find('"', at_ + 1);
      std::string value = text_.substr(at_ + 1, end - at_ - 1);
      at_ = end + 1;
      return {kValue, value};
    }
    const std::size_t start = at_;
    while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) &&
           std::string(",{}:\"").find(text_[at_]) == std::string::npos) {
      ++at_;
    }
    std::string word = text_.substr(start, at_ - start);
    if (at_ < text_.size() && text_[at_] == ':') {
      ++at_;
      return {kKey, word};
    }
    return {kValue, word};
  }
  void Back() { at_ = mark_; }

  std::string text_;
  std::size_t at_ = 0;
  std::size_t mark_ = 0;
};

// What `name` ("Model::Cube") names, without its class.
std::string FbxName(const std::string& name) {
  const std::size_t colons = name.find("::");
  return colons == std::string::npos ? name : name.substr(colons + 2);
}

// Whether the Model's own properties hide it: "Visibility" 0 or "Show" false.
bool FbxHidden(const FbxNode& model) {
  const FbxNode* properties = model.Child("Properties70");
  if (properties == nullptr) return false;
  for (const FbxNode& p : properties->children) {
    if (p.values.size() < 5) continue;
    if ((p.values[0] == "Visibility" || p.values[0] == "Show") && std::stod(p.values[4]) == 0) {
      return true;
    }
  }
  return false;
}

Counted FbxGeometry(const FbxNode& geometry) {
  Counted counted;
  const std::vector<double> positions = geometry.Numbers("Vertices");
  const std::vector<double> polygons = geometry.Numbers("PolygonVertexIndex");
  // Each layer: its values, its index (IndexToDirect) and what it maps over.
  struct Layer {
    std::vector<double> values, index;
    std::string mapping;
    std::size_t width;
  };
  std::vector<Layer> layers;
  const std::vector<std::array<std::string, 4>> kinds = {
      {"LayerElementNormal", "Normals", "NormalsIndex", "3"},
      {"LayerElementUV", "UV", "UVIndex", "2"},
      {"LayerElementColor", "Colors", "ColorIndex", "4"}};
  for (const FbxNode& child : geometry.children) {
    for (const auto& kind : kinds) {
      if (child.key != kind[0]) continue;
      Layer layer{
          child.Numbers(kind[1]), {}, child.Value("MappingInformationType"), std::stoul(kind[3])};
      if (child.Value("ReferenceInformationType") == "IndexToDirect") {
        layer.index = child.Numbers(kind[2]);
      }
      layers.push_back(layer);
    }
  }
  Corners corners;
  std::size_t polygon = 0;
  std::size_t points = 0;
  for (std::size_t corner = 0; corner < polygons.size(); ++corner) {
    const auto raw = static_cast<int64_t>(polygons[corner]);
    const auto point = static_cast<std::size_t>(raw < 0 ? ~raw : raw);
    Corner tuple(positions.begin() + static_cast<std::ptrdiff_t>(3 * point),
                 positions.begin() + static_cast<std::ptrdiff_t>(3 * point + 3));
    for (const Layer& layer : layers) {
      std::size_t i = layer.mapping == "ByPolygonVertex"                                  ? corner
                      : layer.mapping == "ByPolygon"                                      ? polygon
                      : layer.mapping == "AllSame"                                        ? 0
                      : layer.mapping == "ByVertice" || layer.mapping == "ByControlPoint" ? point
                                                                                          : ~0u;
      if (i == ~0u) throw std::runtime_error("FBX mapping " + layer.mapping);
      if (!layer.index.empty()) i = static_cast<std::size_t>(layer.index.at(i));
      for (std::size_t c = 0; c < layer.width; ++c) {
        tuple.push_back(layer.values.at(i * layer.width + c));
      }
    }
    corners.insert(tuple);
    ++points;
    if (raw < 0) {
      counted.Face(points);
      points = 0;
      ++polygon;
    }
  }
  counted.vertices = static_cast<int32_t>(corners.size());
  return counted;
}

// The objects of an ASCII FBX file; `text` its content.
std::vector<Counted> FromFbx(const std::string& text) {
  const std::vector<FbxNode> top = FbxText(text).Nodes();
  std::map<std::string, const FbxNode*> objects;
  std::multimap<std::string, std::string> children;  // parent → children, in file order
  std::vector<std::pair<std::string, std::string>> links;
  for (const FbxNode& node : top) {
    if (node.key == "Objects") {
      for (const FbxNode& object : node.children) {
        if (!object.values.empty()) objects[object.values[0]] = &object;
      }
    }
    if (node.key == "Connections") {
      for (const FbxNode& c : node.children) {
        if (c.key == "C" && c.values.size() >= 3 && c.values[0] == "OO") {
          links.emplace_back(c.values[2], c.values[1]);
        }
      }
    }
  }
  std::vector<Counted> counted;
  std::function<void(const std::string&, bool)> visit = [&](const std::string& parent,
                                                            bool visible) {
    for (const auto& link : links) {
      if (link.first != parent) continue;
      const auto found = objects.find(link.second);
      if (found == objects.end() || found->second->key != "Model") continue;
      const FbxNode& model = *found->second;
      const bool shown = visible && !FbxHidden(model);
      const std::string name = FbxName(model.values.at(1));
      for (const auto& geometry : links) {
        if (geometry.first != link.second) continue;
        const auto g = objects.find(geometry.second);
        if (g == objects.end() || g->second->key != "Geometry") continue;
        Counted c = FbxGeometry(*g->second);
        c.name = name + "/" + name;  // the geometries here are nameless: the model's name
        c.visible = shown;
        counted.push_back(c);
      }
      visit(link.second, shown);
    }
  };
  visit("0", true);
  return counted;
}

// ---------------------------------------------------------------------------
// COLLADA: one object per primitive element (triangles, polylist, polygons,
// lines) of each geometry a node instances, depth first, a node's instanced
// nodes after its own children; a vertex is the tuple of every input's values
// at the corner.

class Collada {
 public:
  explicit Collada(const std::string& path) {
    const pugi::xml_parse_result parsed = xml_.load_file(path.c_str());
    if (!parsed) throw std::runtime_error(path + ": " + parsed.description());
  }

  std::vector<Counted> Objects() const {
    std::vector<Counted> objects;
    const pugi::xml_node root = xml_.child("COLLADA");
    const std::string scene = Target(root.child("scene").child("instance_visual_scene"));
    std::function<void(pugi::xml_node)> visit = [&](pugi::xml_node node) {
      for (const pugi::xml_node instance : node.children("instance_geometry")) {
        const pugi::xml_node geometry = ById(Target(instance));
        const pugi::xml_node mesh = geometry.child("mesh");
        for (const pugi::xml_node primitive : mesh.children()) {
          const std::string kind = primitive.name();
          if (kind != "triangles" && kind != "polylist" && kind != "polygons" && kind != "lines") {
            continue;
          }
          Counted c = Primitive(mesh, primitive);
          c.name = Name(node) + "/" + Name(geometry);
          objects.push_back(c);
        }
      }
      for (const pugi::xml_node child : node.children("node")) visit(child);
      for (const pugi::xml_node instance : node.children("instance_node")) {
        visit(ById(Target(instance)));
      }
    };
    for (const pugi::xml_node node : ById(scene).children("node")) visit(node);
    return objects;
  }

 private:
  static std::string Target(pugi::xml_node instance) {
    const std::string url = instance.attribute("url").value();
    return url.empty() ? url : url.substr(1);  // "#id"
  }
  static std::string Name(pugi::xml_node node) {
    const std::string name = node.attribute("name").value();
    return name.empty() ? node.attribute("id").value() : name;
  }
  pugi::xml_node ById(const std::string& id) const {
    return xml_.find_node([&](pugi::xml_node n) { return id == n.attribute("id").value(); });
  }

  // A source's values, element by element.
  std::vector<Corner> Source(const std::string& id) const {
    const pugi::xml_node source = ById(id);
    const std::size_t stride =
        source.child("technique_common").child("accessor").attribute("stride").as_uint(1);
    std::istringstream numbers(source.child("float_array").text().get());
    std::vector<Corner> elements;
    for (double value; numbers >> value;) {
      if (elements.empty() || elements.back().size() == stride) elements.emplace_back();
      elements.back().push_back(value);
    }
    return elements;
  }

  Counted Primitive(pugi::xml_node mesh, pugi::xml_node primitive) const {
    // Each input: its offset in a corner's indices, and the sources it reads.
    std::vector<std::pair<std::size_t, std::vector<std::vector<Corner>>>> inputs;
    std::size_t stride = 0;
    for (const pugi::xml_node input : primitive.children("input")) {
      const std::size_t offset = input.attribute("offset").as_uint();
      stride = std::max(stride, offset + 1);
      std::vector<std::vector<Corner>> sources;
      const std::string id = std::string(input.attribute("source").value()).substr(1);
      if (std::string(input.attribute("semantic").value()) == "VERTEX") {
        for (const pugi::xml_node v : ById(id).children("input")) {
          sources.push_back(Source(std::string(v.attribute("source").value()).substr(1)));
        }
      } else {
        sources.push_back(Source(id));
      }
      inputs.emplace_back(offset, std::move(sources));
    }
    (void)mesh;
    std::vector<std::size_t> sizes;
    std::vector<std::size_t> indices;
    const std::string kind = primitive.name();
    const std::size_t count = primitive.attribute("count").as_uint();
    auto read = [&indices](const char* text) {
      std::istringstream in(text);
      for (std::size_t i; in >> i;) indices.push_back(i);
    };
    for (const pugi::xml_node p : primitive.children("p")) {
      const std::size_t before = indices.size();
      read(p.text().get());
      if (kind == "polygons") sizes.push_back((indices.size() - before) / stride);
    }
    if (kind == "triangles") sizes.assign(count, 3);
    if (kind == "lines") sizes.assign(count, 2);
    if (kind == "polylist") {
      std::istringstream vcount(primitive.child("vcount").text().get());
      for (std::size_t n; vcount >> n;) sizes.push_back(n);
    }
    EXPECT_EQ(sizes.size(), count) << kind;
    Counted counted;
    Corners corners;
    std::size_t at = 0;
    for (const std::size_t size : sizes) {
      counted.Face(size);
      for (std::size_t k = 0; k < size; ++k, at += stride) {
        Corner tuple;
        for (const auto& input : inputs) {
          for (const auto& source : input.second) {
            const Corner& value = source.at(indices.at(at + input.first));
            tuple.insert(tuple.end(), value.begin(), value.end());
          }
        }
        corners.insert(tuple);
      }
    }
    EXPECT_EQ(at, indices.size()) << kind;
    counted.vertices = static_cast<int32_t>(corners.size());
    return counted;
  }

  pugi::xml_document xml_;
};

// ---------------------------------------------------------------------------
// 3DS: chunks (uint16 id, uint32 length with the header). One object per
// object chunk holding a triangle mesh: its vertex list, their texture
// coordinates, its face list (uint16 count, 4 uint16 a face) holding a
// smoothing group mask per face. The ids are written as their two bytes.
enum ThreeDsChunk : uint16_t {
  kMain = 0x4D'4D,
  kEditor = 0x3D'3D,
  kObject = 0x40'00,
  kTriangleMesh = 0x41'00,
  kVertexList = 0x41'10,
  kFaceList = 0x41'20,
  kTextureCoordinates = 0x41'40,
  kSmoothingGroups = 0x41'50,
};

struct ThreeDsMesh {
  std::string name;
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 2>> uvs;
  std::vector<std::array<uint16_t, 3>> faces;
  std::vector<uint32_t> groups;
};

void ThreeDsChunks(const std::string& bytes, std::size_t at, std::size_t end,
                   std::vector<ThreeDsMesh>& meshes) {
  while (at + 6 <= end) {
    const auto id = Little<uint16_t>(bytes, at);
    const auto length = Little<uint32_t>(bytes, at + 2);
    if (length < 6 || at + length > end) throw std::runtime_error("3DS: chunk past its parent");
    std::size_t body = at + 6;
    switch (id) {
      case kMain:
      case kEditor:
      case kTriangleMesh:
        ThreeDsChunks(bytes, body, at + length, meshes);
        break;
      case kObject: {  // a name, then its parts
        const std::size_t zero = bytes.find('\0', body);
        meshes.push_back({bytes.substr(body, zero - body), {}, {}, {}, {}});
        ThreeDsChunks(bytes, zero + 1, at + length, meshes);
        break;
      }
      case kVertexList: {
        const auto n = Little<uint16_t>(bytes, body);
        for (std::size_t v = 0; v < n; ++v) {
          const std::size_t p = body + 2 + 12 * v;
          meshes.back().positions.push_back(
              {Little<float>(bytes, p), Little<float>(bytes, p + 4), Little<float>(bytes, p + 8)});
        }
        break;
      }
      case kTextureCoordinates: {
        const auto n = Little<uint16_t>(bytes, body);
        for (std::size_t v = 0; v < n; ++v) {
          const std::size_t p = body + 2 + 8 * v;
          meshes.back().uvs.push_back({Little<float>(bytes, p), Little<float>(bytes, p + 4)});
        }
        break;
      }
      case kFaceList: {
        const auto n = Little<uint16_t>(bytes, body);
        for (std::size_t f = 0; f < n; ++f) {
          const std::size_t p = body + 2 + 8 * f;
          meshes.back().faces.push_back({Little<uint16_t>(bytes, p), Little<uint16_t>(bytes, p + 2),
                                         Little<uint16_t>(bytes, p + 4)});
        }
        // Its own chunks follow the faces: materials, smoothing groups.
        const std::size_t rest = body + 2 + std::size_t{8} * n;
        for (std::size_t c = rest; c + 6 <= at + length;) {
          const auto sub = Little<uint16_t>(bytes, c);
          const auto subLength = Little<uint32_t>(bytes, c + 2);
          if (sub == kSmoothingGroups) {
            for (std::size_t f = 0; f < n; ++f) {
              meshes.back().groups.push_back(Little<uint32_t>(bytes, c + 6 + 4 * f));
            }
          }
          c += subLength;
        }
        break;
      }
      default:
        break;
    }
    at += length;
  }
}

// Every corner of a 3DS triangle is its own until joined: its position, its
// texture coordinates and a normal the reader makes from the smoothing
// groups. Corners at one position of faces in the same groups get the same
// normal, so (position, uv, group mask) tells joined corners apart.
std::vector<Counted> From3ds(const std::string& path) {
  const std::string bytes = Bytes(path);
  std::vector<ThreeDsMesh> meshes;
  ThreeDsChunks(bytes, 0, bytes.size(), meshes);
  std::vector<Counted> objects;
  for (const ThreeDsMesh& mesh : meshes) {
    if (mesh.faces.empty()) continue;
    Counted counted;
    Corners corners;
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
      counted.Face(3);
      for (const uint16_t v : mesh.faces[f]) {
        Corner tuple(mesh.positions.at(v).begin(), mesh.positions.at(v).end());
        if (!mesh.uvs.empty())
          tuple.insert(tuple.end(), mesh.uvs.at(v).begin(), mesh.uvs.at(v).end());
        tuple.push_back(mesh.groups.empty() ? 0 : mesh.groups[f]);
        corners.insert(tuple);
      }
    }
    counted.vertices = static_cast<int32_t>(corners.size());
    counted.name = mesh.name + "/" + std::to_string(objects.size());
    objects.push_back(counted);
  }
  return objects;
}

std::string Stem(const std::string& path) { return std::filesystem::path(path).stem().string(); }

// Assimp builds some tables of its readers once per process, on the first file
// of their format: made here, before any test counts allocations, they are not
// taken for a test's leaks.
class AssimpTables : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* file : {"Collada/cube_triangulate.dae", "FBX/embedded_ascii/box.FBX",
                             "glTF2/BoxTextured-glTF/BoxTextured.gltf", "3DS/test1.3ds",
                             "PLY/cube.ply", "STL/triangle.stl"}) {
      vhost::Document warmUp;
      try {
        vhost::LoadModel(kModels + file, warmUp);
      } catch (const std::exception&) {
        // The tests below say what is wrong with the file.
      }
    }
  }
};
const auto* const kAssimpTables = ::testing::AddGlobalTestEnvironment(new AssimpTables);  // gtest's

// The objects an STL file holds, named as the host names them: an ASCII solid
// by its name, node and mesh alike; a binary file has no name but its own.
std::vector<Counted> StlObjects(const std::string& path) {
  std::vector<Counted> objects = FromStl(path);
  const std::string bytes = Bytes(path);
  std::istringstream text(bytes);
  std::size_t solid = 0;
  if (bytes.compare(0, 5, "solid") == 0 && bytes.find("facet") != std::string::npos) {
    for (std::string line; std::getline(text, line);) {
      std::istringstream words(line);
      std::string key, name;
      words >> key >> name;
      if (key == "solid" && solid < objects.size()) objects[solid++].name = name + "/" + name;
    }
  } else {
    objects.at(0).name = Stem(path) + "/mesh 0";
  }
  return objects;
}

TEST(AssimpFormats, StlFacetsAreTrianglesAndCornersJoinByPosition) {
  for (const char* file : {"STL/Spider_ascii.stl", "STL/sphereWithHole.stl", "STL/triangle.stl",
                           "STL/triangle_with_two_solids.stl",  // two solids: two objects
                           "STL/Spider_binary.stl", "STL/Wuson.stl", "STL/3DSMaxExport.STL"}) {
    ExpectCounts(kModels + file, StlObjects(kModels + file));
  }
  // The same spider, written both ways.
  EXPECT_EQ(FromStl(kModels + "STL/Spider_ascii.stl")[0].vertices, 722);
  EXPECT_EQ(FromStl(kModels + "STL/Spider_binary.stl")[0].vertices, 722);
}

// PLY keeps one list of vertices that the faces index: the header's count, as
// long as no two records are the same (none are in these files: each cube
// corner has its own position, cube_uv's 24 corners differ in normal or uv).
// A file without faces is a point cloud: one 1-point face per vertex.
TEST(AssimpFormats, PlyVerticesAndFacesAreTheHeadersCounts) {
  // Wuson's 11184 records differ, some only past the fifth decimal: a join
  // within a tolerance made them 11152.
  for (const char* file : {"PLY/cube.ply", "PLY/cube_uv.ply", "PLY/float-color.ply",
                           "PLY/points.ply", "PLY/cube_binary.ply", "PLY/Wuson.ply"}) {
    Counted counted = FromPly(kModels + file);
    counted.name = Stem(file) + "/mesh 0";
    ExpectCounts(kModels + file, {counted});
  }
  EXPECT_EQ(FromPly(kModels + "PLY/cube.ply").sizes, (std::array<int32_t, 5>{0, 0, 0, 6, 0}));
  EXPECT_EQ(FromPly(kModels + "PLY/points.ply").sizes, (std::array<int32_t, 5>{4, 0, 0, 0, 0}));
  EXPECT_EQ(FromPly(kModels + "PLY/cube_binary.ply").sizes,
            (std::array<int32_t, 5>{0, 0, 12, 0, 0}));
  EXPECT_EQ(FromPly(kModels + "PLY/Wuson.ply").vertices, 11184);
}

TEST(AssimpFormats, GltfPrimitivesInTextAndBinaryFiles) {
  const std::string asset = "glTF2/glTF-Asset-Generator/Mesh_PrimitiveMode/";
  std::vector<std::string> files = {
      "glTF2/BoxTextured-glTF/BoxTextured.gltf",  // seams: 24 corners of 8 positions
      "glTF2/BoxTexcoords-glTF/boxTexcoords.gltf",
      "glTF2/BoxTextured-glTF-Embedded/BoxTextured.gltf",  // its buffer a data: URI
      "glTF2/cameras/Cameras.gltf",
      "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
      "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb"};
  // Points, lines, loops, strips, triangles, strips and fans of triangles.
  for (int mode = 0; mode <= 15; ++mode) {
    files.push_back(asset + "Mesh_PrimitiveMode_" + (mode < 10 ? "0" : "") + std::to_string(mode) +
                    ".gltf");
  }
  for (const std::string& file : files)
    ExpectCounts(kModels + file, Gltf(kModels + file).Objects());

  // A named node and mesh name their object.
  ExpectCounts(kModels + "glTF2/BoxTexcoords-glTF/boxTexcoords.gltf",
               {{"Cube/Cube", 24, {0, 0, 12, 0, 0}, true}});
  EXPECT_EQ(Gltf(kModels + asset + "Mesh_PrimitiveMode_00.gltf").Objects()[0].sizes[0], 1024);
  EXPECT_EQ(Gltf(kModels + asset + "Mesh_PrimitiveMode_01.gltf").Objects()[0].sizes[1], 4);
}

TEST(AssimpFormats, FbxPolygonsAsStoredAndCornersByTheirLayers) {
  for (const char* file :
       {"FBX/embedded_ascii/box.FBX", "FBX/embedded_ascii/box_embedded_texture_fragmented.fbx",
        "FBX/cubes_with_names.fbx", "FBX/close_to_identity_transforms.fbx",
        "FBX/box_orphant_embedded_texture.fbx", "FBX/maxPbrMaterial_metalRough.fbx"}) {
    ExpectCounts(kModels + file, FromFbx(Bytes(kModels + file)));
  }
  // Nameless models and geometries: the file's stem and the mesh's number.
  std::vector<Counted> nameless = FromFbx(Bytes(kModels + "FBX/cubes_nonames.fbx"));
  for (std::size_t i = 0; i < nameless.size(); ++i) {
    nameless[i].name = "cubes_nonames/mesh " + std::to_string(i);
  }
  ExpectCounts(kModels + "FBX/cubes_nonames.fbx", nameless);
}

TEST(AssimpFormats, ColladaPrimitivesOfEachInstancedGeometry) {
  for (const char* file :
       {"Collada/cube_triangulate.dae", "Collada/cube_UTF8BOM.dae",
        "Collada/ConcavePolygon.dae",  // one face of 64 points
        "Collada/COLLADA.dae", "Collada/Cinema4D.dae", "Collada/kwxport_test_vcolors.dae",
        "Collada/duck.dae", "Collada/teapot_instancenodes.DAE"}) {
    ExpectCounts(kModels + file, Collada(kModels + file).Objects());
  }
}

TEST(AssimpFormats, ThreeDsTrianglesOfEachObject) {
  for (const char* file :
       {"3DS/cube_with_diffuse_texture.3DS", "3DS/cubes_with_alpha.3DS", "3DS/RotatingCube.3DS",
        "3DS/test1.3ds", "3DS/CameraRollAnimWithChildObject.3ds"}) {
    ExpectCounts(kModels + file, From3ds(kModels + file));
  }
  // fels.3ds: its object is "Default" in the file, but its node is not named
  // after it (assimp makes up "3DSMesh_0"): counted, name left unchecked.
  std::vector<Counted> fels = From3ds(kModels + "3DS/fels.3ds");
  for (Counted& c : fels) c.name.clear();
  ExpectCounts(kModels + "3DS/fels.3ds", fels);
}

// A mesh several nodes use is an object for each of them, named by each node.
TEST(AssimpFormats, AnInstancedMeshIsAnObjectPerNode) {
  // One teapot geometry, in a node and again through an instance of that node.
  const std::string teapots = kModels + "Collada/teapot_instancenodes.DAE";
  const std::vector<Counted> file = Collada(teapots).Objects();
  ASSERT_EQ(file.size(), 2u);
  ExpectCounts(teapots, {file[0], file[0]});
  EXPECT_EQ(file[0].name, "Teapot01/Teapot01");

  // The engine: 82 nodes share its meshes; each node's object has the mesh's counts.
  const std::string engine = kModels + "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
  const Gltf gltf(engine);
  std::map<std::size_t, std::size_t> users;  // mesh → nodes using it
  for (const Json& node : gltf.json()["nodes"]) {
    if (node.contains("mesh")) ++users[node["mesh"].get<std::size_t>()];
  }
  std::size_t shared = 0;
  for (const auto& mesh : users) shared += mesh.second > 1 ? 1 : 0;
  EXPECT_GT(shared, 0u) << "the engine should share meshes";
  std::vector<Counted> loaded;
  ASSERT_NO_THROW(loaded = Loaded(engine));
  std::size_t primitives = 0;
  for (const auto& mesh : users) {
    primitives += mesh.second * gltf.json()["meshes"][mesh.first]["primitives"].size();
  }
  EXPECT_EQ(loaded.size(), primitives);
  for (const Counted& c : loaded) EXPECT_NE(c.name.find('/'), std::string::npos) << c;
}

// glTF's nodes and meshes without a name: assimp names them by their place in
// the file ("nodes[1]", "meshes[0]"); a nameless node takes the file's stem and a
// nameless mesh "mesh N".
TEST(AssimpFormats, NamelessGltfNodesAndMeshesTakeTheStemAndTheirNumber) {
  const std::string box = kModels + "glTF2/BoxTextured-glTF/BoxTextured.gltf";  // mesh "Mesh"
  ASSERT_FALSE(Gltf(box).json()["nodes"][1].contains("name"));
  ExpectCounts(box, {{"BoxTextured/Mesh", 24, {0, 0, 12, 0, 0}, true}});
  const std::string cameras = kModels + "glTF2/cameras/Cameras.gltf";  // neither has a name
  ExpectCounts(cameras, {{"Cameras/mesh 0", 4, {0, 0, 2, 0, 0}, true}});
}

class AssimpFiles : public testing_support::ModelFiles {};

// Visibility is a Model's property in FBX: 0 hides the Model and every Model
// below it. cubes_with_names.fbx holds Cube2 (with the child Куб1) and Cube3
// (with another Куб1); Cube2 gets "Visibility" 0 among its Properties70, as an
// exporter writes it for a hidden node. Assimp drops properties of type
// "Visibility" (it keeps "Show", tested below), so these objects load visible,
// as the README says. The file's own data is checked here too, so that the day
// assimp passes it on, this test says so.
TEST_F(AssimpFiles, AnFbxNodeTheFileHidesLoadsVisibleForAssimpDropsVisibility) {
  std::string text = Bytes(kModels + "FBX/cubes_with_names.fbx");
  const std::size_t model = text.find("\"Model::Cube2\", \"Mesh\" {");
  ASSERT_NE(model, std::string::npos);
  const std::size_t properties = text.find("Properties70:  {", model);
  ASSERT_NE(properties, std::string::npos);
  text.insert(text.find('\n', properties) + 1,
              "\t\t\tP: \"Visibility\", \"Visibility\", \"\", \"A\",0\n");
  const std::string path = Write("hidden.fbx", text);

  std::vector<Counted> file = FromFbx(text);
  ASSERT_EQ(file.size(), 4u);
  EXPECT_FALSE(file[0].visible);                       // Cube2, as the file says
  EXPECT_FALSE(file[1].visible);                       // its Куб1
  EXPECT_TRUE(file[2].visible);                        // Cube3
  EXPECT_TRUE(file[3].visible);                        // its Куб1
  for (Counted& object : file) object.visible = true;  // what assimp gives
  ExpectCounts(path, file);
}

// A file assimp refuses, or reads only in part, fails with its name; the
// document keeps what it held.
TEST_F(AssimpFiles, BrokenFilesOfEachKindAreErrorsNamingThem) {
  // The package's own broken files.
  ExpectLoadError(kModels + "glTF2/MissingBin/BoxTextured.gltf", 0, "BoxTextured0.bin");
  // PLY by our own reader: a file of no header, and vertices that declare a
  // list their records lack.
  ExpectLoadError(kModels + "invalid/empty.ply", 1, "the header ends without an end_header line");
  ExpectLoadError(kModels + "PLY/issue623.ply", 13,
                  "element vertex 1: fewer values on the line than the element declares");
  ExpectLoadError(kModels + "invalid/empty.3ds", 0, "");
  ExpectLoadError(kModels + "OFF/invalid.off", 6, "an OFF face of 0 points in line 6", {}, true);

  // Good files cut short.
  auto truncated = [this](const std::string& file, double fraction) {
    const std::string bytes = Bytes(kModels + file);
    return Write(
        "cut" + std::filesystem::path(file).extension().string(),
        bytes.substr(0, static_cast<std::size_t>(static_cast<double>(bytes.size()) * fraction)));
  };
  ExpectLoadError(truncated("glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", 0.5), 0, "");
  // Cut elsewhere, an ASCII FBX file makes assimp leak its tokens; here it
  // fails before holding any.
  ExpectLoadError(truncated("FBX/cubes_with_names.fbx", 0.1), 0, "Objects");
  ExpectLoadError(truncated("FBX/box.fbx", 0.5), 0, "");  // binary FBX
  ExpectLoadError(truncated("Collada/cube_triangulate.dae", 0.5), 0, "");
  ExpectLoadError(truncated("3DS/test1.3ds", 0.5), 0, "");
  ExpectLoadError(truncated("STL/Spider_binary.stl", 0.5), 0, "not an STL file");
  ExpectLoadError(truncated("PLY/cube_binary.ply", 0.7), 0, "the file ends inside this record");

  // A polygon corner past the file's 8 vertices: assimp drops the geometry and
  // only warns, which must not pass for a count of the rest.
  std::string fbx = Bytes(kModels + "FBX/cubes_with_names.fbx");
  const std::size_t polygons = fbx.find("a: ", fbx.find("PolygonVertexIndex: *24 {"));
  ASSERT_NE(polygons, std::string::npos);
  fbx.replace(polygons + 3, 1, "99");  // "a: 0,1,3,-3,..." → "a: 99,1,3,-3,..."
  ExpectLoadError(Write("corner.fbx", fbx), 0, "assimp lost geometry: ");
}

// Assimp's COB reader throws through a destructor on a binary file cut short,
// which aborts the process it runs in: the import's own, not the caller's.
TEST_F(AssimpFiles, AReaderThatCrashesEndsItsImportNotTheCaller) {
  const std::string cut = Write("cut.cob", Bytes(kModels + "COB/molecule.cob").substr(0, 1000));
  ExpectLoadError(cut, 0, "assimp's importer crashed on it (Aborted)");
  // The caller goes on reading files.
  vhost::Document document;
  vhost::LoadModel(kModels + "PLY/cube.ply", document);
  ASSERT_EQ(document.SlotCount(), 1);
  EXPECT_EQ(document.At(0)->VertexCount(), 8);
}

TEST_F(AssimpFiles, ProgressIsToldWhileAFileImportsAndAFailingCallbackAbandonsIt) {
  // A binary STL of 40000 facets (2 MB): 80 bytes of header, a count, 50 bytes each.
  std::string stl(80, ' ');
  const uint32_t facets = 40000;
  stl.append(reinterpret_cast<const char*>(&facets), 4);
  for (uint32_t f = 0; f < facets; ++f) {
    float values[12] = {0, 0, 1, float(f), 0, 0, float(f) + 1, 0, 0, float(f), 1, 0};
    stl.append(reinterpret_cast<const char*>(values), sizeof values);
    stl.append(2, '\0');
  }
  const std::string path = Write("strip.stl", stl);
  uint64_t calls = 0;
  uint64_t last = 0;
  vhost::Document document;
  vhost::LoadModel(path, document, [&](uint64_t done, uint64_t total) {
    EXPECT_EQ(total, stl.size());
    EXPECT_GE(done, last);
    last = done;
    ++calls;
  });
  EXPECT_GT(calls, 0u);
  ASSERT_EQ(document.SlotCount(), 1);
  EXPECT_EQ(document.At(0)->FaceCount(), int32_t(facets));
  // (f, 0), (f + 1, 0) and (f, 1) of each: 40001 along the bottom, 40000 on top.
  EXPECT_EQ(document.At(0)->VertexCount(), int32_t(2 * facets + 1));

  // What the callback throws abandons the import and reaches the caller, the
  // document as it was.
  struct Stop {};
  vhost::Document kept;
  EXPECT_THROW(vhost::LoadModel(path, kept, [](uint64_t, uint64_t) { throw Stop{}; }), Stop);
  EXPECT_EQ(kept.SlotCount(), 0);
}

TEST_F(AssimpFiles, WarningsThatMaySayGeometryWasLostFailTheFile) {
  // (Assimp kept three of an STL facet's four corners, and read an STL file cut
  // short up to where it ended, saying so only in a warning: STL has a reader
  // of our own now, whose refusals ply_stl_test.cpp checks.)
  // A file no reader recognised is a scene without meshes, not a count of nothing.
  ExpectLoadError(Write("notes.ase", "just some words\n"), 0, "assimp found no geometry in it");
}

// An FBX Model's "Show" false hides it: assimp keeps that property among the
// node's metadata. Cube2 (with its child Куб1) gets it.
TEST_F(AssimpFiles, AnFbxNodeShownFalseHidesItsObjectsAndThoseBelow) {
  std::string text = Bytes(kModels + "FBX/cubes_with_names.fbx");
  const std::size_t model = text.find("\"Model::Cube2\", \"Mesh\" {");
  ASSERT_NE(model, std::string::npos);
  const std::size_t properties = text.find("Properties70:  {", model);
  ASSERT_NE(properties, std::string::npos);
  text.insert(text.find('\n', properties) + 1, "\t\t\tP: \"Show\", \"bool\", \"\", \"\",0\n");
  vhost::Document document;
  vhost::LoadModel(Write("shown.fbx", text), document);
  ASSERT_EQ(document.SlotCount(), 4);
  EXPECT_FALSE(document.At(0)->visible);  // Cube2
  EXPECT_FALSE(document.At(1)->visible);  // its Куб1
  EXPECT_TRUE(document.At(2)->visible);   // Cube3
  EXPECT_TRUE(document.At(3)->visible);   // its Куб1
}

TEST_F(AssimpFiles, AnUnknownExtensionNamesTheSupportedOnes) {
  ExpectLoadError(Write("model.xyz", "1 2 3\n"), 0, ".gltf");
  ExpectLoadError(Write("model.xyz", "1 2 3\n"), 0, ".fbx");
}

}  // namespace
