// The glTF reader: the asset parsed and checked (gltf_asset.h), then each
// primitive its scene shows built once, straight from its accessors' bytes
// (decoded first when compressed, gltf_compression.h), and copied for each
// further instance. The file's bytes live as long as the read; what outlives
// it is the Document of objects, in the GltfModel.
#include "host/models/gltf/gltf_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <future>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "host/models/file_bytes.h"
#include "host/models/gltf/gltf_compression.h"
#include "host/models/limits.h"
#include "host/models/model_error.h"
#include "host/models/source_text.h"
#include "host/models/weld.h"

namespace vhost::models::gltf {
namespace {

[[noreturn]] void Fail(const Asset& asset, const std::string& where, const std::string& what) {
  throw ModelError(asset.file(), 0, where + ": " + what);
}

std::string AccessorName(std::size_t index) { return "accessor " + std::to_string(index); }

// An accessor's elements where they lie: `data` + i × `stride` for element i,
// in the view's own bytes when it can be read in place, else (sparse, or no
// view) in `copy`, packed with the replacements applied.
struct Elements {
  const unsigned char* data = nullptr;
  std::size_t stride = 0;
  std::vector<unsigned char> copy;
};

Elements ElementsOf(const Asset& asset, std::size_t index) {
  const Accessor& accessor = asset.accessors().at(index);
  const std::size_t element = accessor.ElementSize();
  const auto count = static_cast<std::size_t>(accessor.count);
  Elements elements;
  if (!accessor.view && accessor.count > asset.MostMadeBytes() / element) {
    throw ModelError(ModelError::Kind::kLimit, asset.file(), 0,
                     AccessorName(index) + ": " + std::to_string(accessor.count) +
                         " elements without a bufferView, more than this host makes of a file "
                         "of this size");
  }
  if (accessor.view) {
    const std::string_view bytes = asset.ViewBytes(*accessor.view);
    const BufferView& view = asset.views()[*accessor.view];
    elements.stride = view.stride != 0 ? static_cast<std::size_t>(view.stride) : element;
    elements.data = reinterpret_cast<const unsigned char*>(bytes.data()) + accessor.offset;
    if (!accessor.sparse) return elements;
  }
  elements.copy.assign(count * element, 0);  // zeros without a view
  for (std::size_t i = 0; elements.data != nullptr && i < count; ++i) {
    std::memcpy(&elements.copy[i * element], elements.data + i * elements.stride, element);
  }
  if (accessor.sparse) {
    const Sparse& sparse = *accessor.sparse;
    const std::string_view indices = asset.ViewBytes(sparse.indicesView);
    const std::string_view values = asset.ViewBytes(sparse.valuesView);
    const std::size_t indexSize = ComponentSize(sparse.indicesType);
    for (std::size_t i = 0; i < sparse.count; ++i) {
      uint32_t target = 0;
      const auto* at = reinterpret_cast<const unsigned char*>(indices.data()) +
                       sparse.indicesOffset + i * indexSize;
      for (std::size_t b = indexSize; b-- > 0;) target = (target << 8) | at[b];
      if (target >= count) {
        Fail(
            asset, AccessorName(index) + " sparse",
            "index " + std::to_string(target) + " past its " + std::to_string(count) + " elements");
      }
      std::memcpy(&elements.copy[target * element],
                  values.data() + sparse.valuesOffset + i * element, element);
    }
  }
  elements.data = elements.copy.data();
  elements.stride = element;
  return elements;
}

// Component `c` of element `i` of packed elements of `type`, as a number:
// normalized integers as glTF maps them to [-1, 1] or [0, 1].
double ComponentValue(const unsigned char* element, int type, bool normalized, std::size_t c) {
  switch (type) {
    case kFloat: {
      float value = 0;
      std::memcpy(&value, element + 4 * c, 4);
      return value;
    }
    case kByte: {
      const auto value = static_cast<int8_t>(element[c]);
      return normalized ? std::max(value / 127.0, -1.0) : value;
    }
    case kUnsignedByte:
      return normalized ? element[c] / 255.0 : element[c];
    case kShort: {
      int16_t value = 0;
      std::memcpy(&value, element + 2 * c, 2);
      return normalized ? std::max(value / 32767.0, -1.0) : value;
    }
    case kUnsignedShort: {
      uint16_t value = 0;
      std::memcpy(&value, element + 2 * c, 2);
      return normalized ? value / 65535.0 : value;
    }
    case kUnsignedInt: {
      uint32_t value = 0;
      std::memcpy(&value, element + 4 * c, 4);
      return normalized ? value / 4294967295.0 : value;
    }
    default:
      return 0;
  }
}

// Whether an attribute makes a vertex the vertex it is, as the exact weld
// compares it (weld.h): position, normal, texture coordinates and colours.
// Tangents are derived from those; joints and weights belong to the skin.
bool IsIdentity(const std::string& name) {
  return name == "POSITION" || name == "NORMAL" || name.rfind("TEXCOORD_", 0) == 0 ||
         name.rfind("COLOR_", 0) == 0;
}

void CheckLimit(const Asset& asset, const std::string& where, uint64_t count, const char* what) {
  if (count > static_cast<uint64_t>(kMaxElementCount)) {
    throw ModelError(ModelError::Kind::kLimit, asset.file(), 0,
                     where + ": more than " + std::to_string(kMaxElementCount) + " " + what +
                         ", the most this host holds in one object");
  }
}

// A primitive's geometry before it becomes an object: its vertices welded,
// its faces as the mode draws them, every face of one size.
struct Geometry {
  // Where the positions lie (the view's bytes, or a copy for sparse and
  // decoded data), and how to read them.
  Elements positions;
  int componentType = kFloat;
  bool normalized = false;
  // The weld: each vertex of the file's number after joining. A welded
  // vertex's position is read from `positions`, where the file first has it,
  // as the object takes it, rather than held twice.
  Welded welded;
  int32_t faceSize = 1;
  // Each face's welded vertices in turn, handed to the object whole.
  std::vector<int32_t> points;

  Vec3 Position(std::size_t v) const {
    const unsigned char* e = positions.data + v * positions.stride;
    if (componentType == kFloat) {
      float p[3];
      std::memcpy(p, e, sizeof p);
      return Vec3{p[0], p[1], p[2]};
    }
    return Vec3{ComponentValue(e, componentType, normalized, 0),
                ComponentValue(e, componentType, normalized, 1),
                ComponentValue(e, componentType, normalized, 2)};
  }
};

// Faces as `mode` draws `corners` (welded vertex numbers, taken).
void AddFaces(const Asset& asset, const std::string& where, int mode, std::vector<int32_t> corners,
              Geometry& geometry) {
  const std::size_t n = corners.size();
  std::size_t size = 0;
  std::size_t faces = 0;
  switch (mode) {
    case 0:  // POINTS
      size = 1, faces = n;
      break;
    case 1:  // LINES
      if (n % 2 != 0)
        Fail(asset, where, std::to_string(n) + " corners are no whole number of lines");
      size = 2, faces = n / 2;
      break;
    case 2:  // LINE_LOOP
      size = 2, faces = n >= 2 ? n : 0;
      break;
    case 3:  // LINE_STRIP
      size = 2, faces = n >= 2 ? n - 1 : 0;
      break;
    case 4:  // TRIANGLES
      if (n % 3 != 0) {
        Fail(asset, where, std::to_string(n) + " corners are no whole number of triangles");
      }
      size = 3, faces = n / 3;
      break;
    default:  // TRIANGLE_STRIP, TRIANGLE_FAN
      size = 3, faces = n >= 3 ? n - 2 : 0;
      break;
  }
  CheckLimit(asset, where, faces, "faces");
  CheckLimit(asset, where, static_cast<uint64_t>(faces) * size, "face points");
  geometry.faceSize = static_cast<int32_t>(size);
  if (mode == 0 || mode == 1 || mode == 4) {
    // Drawn in the order stored: the corners are the points.
    geometry.points = std::move(corners);
    return;
  }
  geometry.points.resize(faces * size);
  int32_t* out = geometry.points.data();
  for (std::size_t f = 0; f < faces; ++f) {
    switch (mode) {
      case 2:
        *out++ = corners[f], *out++ = corners[(f + 1) % n];
        break;
      case 3:
        *out++ = corners[f], *out++ = corners[f + 1];
        break;
      case 5:  // every other triangle turned, so that all face one way
        if (f % 2 == 0) {
          *out++ = corners[f], *out++ = corners[f + 1], *out++ = corners[f + 2];
        } else {
          *out++ = corners[f + 1], *out++ = corners[f], *out++ = corners[f + 2];
        }
        break;
      default:
        *out++ = corners[f + 1], *out++ = corners[f + 2], *out++ = corners[0];
        break;
    }
  }
}

// Corners from which a primitive's list of them is made ahead (FromAccessors).
constexpr std::size_t kCornersAheadFrom = std::size_t{1} << 18;

// An index that names no vertex: its place in the accessor, and its value.
struct PastTheVertices {
  std::size_t element = 0;
  uint64_t value = 0;
};

// The welded vertex of each of the `corners.size()` indices of type `Index` at
// `values`, in one pass over them; or the first index past `vertices`.
template <typename Index>
std::optional<PastTheVertices> ReadCornerRange(const Elements& values, uint64_t vertices,
                                               const std::vector<uint32_t>& remap,
                                               std::vector<int32_t>& corners, std::size_t begin,
                                               std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    Index value{};
    std::memcpy(&value, values.data + i * values.stride, sizeof value);
    if (value >= vertices) return PastTheVertices{i, value};
    // Below kMaxElementCount, as every welded vertex number is.
    corners[i] = static_cast<int32_t>(remap[value]);
  }
  return std::nullopt;
}

// The same, the second half on another core for a large list: the first
// index past the vertices is still the one named.
template <typename Index>
std::optional<PastTheVertices> ReadCorners(const Elements& values, uint64_t vertices,
                                           const std::vector<uint32_t>& remap,
                                           std::vector<int32_t>& corners) {
  const std::size_t count = corners.size();
  std::future<std::optional<PastTheVertices>> later;
  std::size_t half = count;
  if (count >= kCornersAheadFrom) {
    try {
      half = count / 2;
      later = std::async(std::launch::async, [&, half, count] {
        return ReadCornerRange<Index>(values, vertices, remap, corners, half, count);
      });
    } catch (const std::system_error&) {
      half = count;  // no thread to be had: all of it here
    }
  }
  std::optional<PastTheVertices> past =
      ReadCornerRange<Index>(values, vertices, remap, corners, 0, half);
  if (later.valid()) {
    std::optional<PastTheVertices> second = later.get();
    if (!past) past = second;
  }
  return past;
}

Geometry FromAccessors(const Asset& asset, const Primitive& primitive, const std::string& where) {
  const auto position = primitive.attributes.find("POSITION");
  if (position == primitive.attributes.end()) Fail(asset, where, "has no POSITION attribute");
  const Accessor& positions = asset.accessors()[position->second];
  if (positions.components != 3) {
    Fail(asset, AccessorName(position->second), "POSITION is not of type VEC3");
  }
  const uint64_t count = positions.count;
  CheckLimit(asset, where, count, "vertices");
  // Every attribute that tells vertices apart, in name order, so that the
  // join does not depend on the order the file lists them in.
  std::vector<Elements> identity;
  identity.reserve(primitive.attributes.size());
  std::vector<VertexAttribute> attributes;
  Elements* located = nullptr;
  for (const auto& [name, index] : primitive.attributes) {
    if (!IsIdentity(name)) continue;
    const Accessor& accessor = asset.accessors()[index];
    if (accessor.count != count) {
      Fail(asset, AccessorName(index),
           name + " has " + std::to_string(accessor.count) + " elements, but POSITION has " +
               std::to_string(count));
    }
    identity.push_back(ElementsOf(asset, index));
    if (name == "POSITION") located = &identity.back();
    attributes.push_back({identity.back().data, accessor.ElementSize(), identity.back().stride});
  }
  // The indices, checked before anything is made for them: their count is
  // the file's word until their accessor has been held to its bytes.
  std::optional<Elements> indexValues;
  if (primitive.indices) {
    const std::size_t index = *primitive.indices;
    const Accessor& accessor = asset.accessors()[index];
    if (accessor.components != 1 ||
        (accessor.componentType != kUnsignedByte && accessor.componentType != kUnsignedShort &&
         accessor.componentType != kUnsignedInt)) {
      Fail(asset, AccessorName(index), "indices are not unsigned integer scalars");
    }
    indexValues = ElementsOf(asset, index);
  }
  // The list of corners, made on another core while the vertices are welded:
  // zeroing it and faulting in its pages took a twentieth of the 1M-triangle
  // GLB's time on this thread. Not for small meshes, where a thread costs
  // more than the list.
  const std::size_t cornerCount = static_cast<std::size_t>(
      primitive.indices ? asset.accessors()[*primitive.indices].count : count);
  std::future<std::vector<int32_t>> cornersAhead;
  if (cornerCount >= kCornersAheadFrom) {
    try {
      cornersAhead = std::async(std::launch::async,
                                [cornerCount] { return std::vector<int32_t>(cornerCount); });
    } catch (const std::system_error&) {
      // No thread to be had: the list is made here below.
    }
  }
  Geometry geometry;
  geometry.welded = WeldIdentical(static_cast<std::size_t>(count), attributes);
  const Welded& welded = geometry.welded;
  geometry.positions = std::move(*located);
  geometry.componentType = positions.componentType;
  geometry.normalized = positions.normalized;
  identity.clear();  // what the weld compared, no longer needed

  std::vector<int32_t> corners = cornersAhead.valid() ? cornersAhead.get() : std::vector<int32_t>();
  if (primitive.indices) {
    const std::size_t index = *primitive.indices;
    const Accessor& accessor = asset.accessors()[index];
    const Elements& values = *indexValues;
    corners.resize(static_cast<std::size_t>(accessor.count));  // made ahead, or here
    std::optional<PastTheVertices> past;
    if (accessor.componentType == kUnsignedInt) {
      past = ReadCorners<uint32_t>(values, count, welded.remap, corners);
    } else if (accessor.componentType == kUnsignedShort) {
      past = ReadCorners<uint16_t>(values, count, welded.remap, corners);
    } else {
      past = ReadCorners<uint8_t>(values, count, welded.remap, corners);
    }
    if (past) {
      Fail(asset, AccessorName(index),
           "element " + std::to_string(past->element) + " is vertex " +
               std::to_string(past->value) + ", past the " + std::to_string(count) +
               " vertices of POSITION");
    }
  } else {
    corners.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < corners.size(); ++i) {
      corners[i] = static_cast<int32_t>(welded.remap[i]);
    }
  }
  AddFaces(asset, where, primitive.mode, std::move(corners), geometry);
  return geometry;
}

Geometry FromDraco(const Asset& asset, const Primitive& primitive, const std::string& where) {
  const DracoPrimitive& draco = *primitive.draco;
  DracoMesh mesh;
  try {
    mesh = DecodeDraco(draco, asset.ViewBytes(draco.view));
  } catch (const std::runtime_error& error) {
    Fail(asset, where + " KHR_draco_mesh_compression", error.what());
  }
  CheckLimit(asset, where, mesh.vertices, "vertices");
  std::vector<VertexAttribute> attributes;
  const DracoAttribute* position = nullptr;
  for (const DracoAttribute& attribute : mesh.attributes) {
    if (!IsIdentity(attribute.name)) continue;
    if (attribute.name == "POSITION") position = &attribute;
    const std::size_t size = sizeof(float) * attribute.components;
    attributes.push_back({attribute.values.data(), size, size});
  }
  if (position == nullptr || position->components != 3) {
    Fail(asset, where + " KHR_draco_mesh_compression", "has no POSITION of 3 components");
  }
  Geometry geometry;
  geometry.welded = WeldIdentical(static_cast<std::size_t>(mesh.vertices), attributes);
  const Welded& welded = geometry.welded;
  const auto* floats = reinterpret_cast<const unsigned char*>(position->values.data());
  geometry.positions.copy.assign(floats, floats + position->values.size() * sizeof(float));
  geometry.positions.data = geometry.positions.copy.data();
  geometry.positions.stride = 3 * sizeof(float);
  if (mesh.pointCloud) {
    mesh.corners.resize(static_cast<std::size_t>(mesh.vertices));
    for (std::size_t i = 0; i < mesh.corners.size(); ++i) {
      mesh.corners[i] = static_cast<uint32_t>(i);
    }
  }
  std::vector<int32_t> corners(mesh.corners.size());
  for (std::size_t i = 0; i < corners.size(); ++i) {
    if (mesh.corners[i] >= mesh.vertices) {
      Fail(asset, where + " KHR_draco_mesh_compression", "a face names a vertex it does not hold");
    }
    corners[i] = static_cast<int32_t>(welded.remap[mesh.corners[i]]);
  }
  AddFaces(asset, where, mesh.pointCloud ? 0 : 4, std::move(corners), geometry);
  return geometry;
}

// Takes `geometry`'s faces: a primitive is built once, and its later
// instances are copies of the object.
Object& AddObject(Document& document, const std::string& name, bool visible, Geometry geometry) {
  Object& object = document.AddObject(name);
  object.visible = visible;
  const std::vector<uint32_t>& remap = geometry.welded.remap;
  object.Reserve(static_cast<int64_t>(geometry.welded.unique), 0, 0);
  // Welded vertex i is where the file first has a vertex numbered i: asked
  // for in order, each found past the one before.
  std::size_t first = 0;
  HandOverVertices(
      object, geometry.welded.unique,
      [&](std::size_t i) {
        while (remap[first] != i) ++first;  // a later copy of a vertex handed over already
        return geometry.Position(first++);
      },
      [](std::size_t) {});
  object.AddFacesOfSize(geometry.faceSize, std::move(geometry.points));
  return object;
}

// The objects of the asset's scene, built into `document`.
void BuildObjects(const Asset& asset, Document& document) {
  if (asset.meshes().empty()) throw ModelError(asset.file(), 0, "it holds no meshes");
  if (!asset.sceneRoots()) throw ModelError(asset.file(), 0, "it has no scene to show");
  const std::string stem = FileStem(asset.file());
  // Where each primitive was first built, to copy for its later instances.
  std::vector<std::vector<int32_t>> built(asset.meshes().size());
  std::vector<bool> reached(asset.nodes().size(), false);
  // Depth first in the file's order, without recursion: a hierarchy may be
  // deeper than a stack. A node hidden hides everything below it.
  std::vector<std::pair<std::size_t, bool>> pending;
  const std::vector<std::size_t>& roots = *asset.sceneRoots();
  for (std::size_t r = roots.size(); r-- > 0;) pending.emplace_back(roots[r], true);
  while (!pending.empty()) {
    const auto [index, parentVisible] = pending.back();
    pending.pop_back();
    if (reached[index]) {
      throw ModelError(asset.file(), 0,
                       "node " + std::to_string(index) +
                           " is reached twice in the scene's hierarchy (its own ancestor, or a "
                           "child of two nodes)");
    }
    reached[index] = true;
    const Node& node = asset.nodes()[index];
    const bool visible = parentVisible && node.visible;
    if (node.mesh) {
      const Mesh& mesh = asset.meshes()[*node.mesh];
      std::vector<int32_t>& slots = built[*node.mesh];
      const std::string meshName =
          mesh.name.empty() ? "mesh " + std::to_string(*node.mesh) : mesh.name;
      for (std::size_t p = 0; p < mesh.primitives.size(); ++p) {
        std::string name = (node.name.empty() ? stem : node.name) + "/" + meshName;
        if (mesh.primitives.size() > 1) name += "-" + std::to_string(p);
        if (document.SlotCount() >= kMaxElementCount) {
          throw ModelError(ModelError::Kind::kLimit, asset.file(), 0,
                           "more objects than this host holds in one document");
        }
        if (slots.size() > p) {
          Object& copy = document.AddCopy(*document.At(slots[p]));
          copy.name = std::move(name);
          copy.visible = visible;
          continue;
        }
        const Primitive& primitive = mesh.primitives[p];
        const std::string where =
            "mesh " + std::to_string(*node.mesh) + " primitive " + std::to_string(p);
        // A Draco primitive the build cannot decode is read from its accessors
        // only when they hold data of their own: one without a view reads as
        // zeros, whose count would pass for the mesh's.
        bool draco = primitive.draco.has_value() && DecodesDraco();
        if (primitive.draco && !draco) {
          std::vector<std::size_t> read;
          for (const auto& [attribute, index] : primitive.attributes) read.push_back(index);
          if (primitive.indices) read.push_back(*primitive.indices);
          for (const std::size_t index : read) {
            const Accessor& accessor = asset.accessors()[index];
            if (!accessor.view && !accessor.sparse) draco = true;  // refused as not decoded
          }
          if (read.empty()) draco = true;
        }
        AddObject(
            document, name, visible,
            draco ? FromDraco(asset, primitive, where) : FromAccessors(asset, primitive, where));
        slots.push_back(document.SlotCount() - 1);
      }
    }
    for (std::size_t c = node.children.size(); c-- > 0;) {
      pending.emplace_back(node.children[c], visible);
    }
  }
}

class GltfModel : public ModelFile {
 public:
  int32_t ObjectCount() const override { return objects_.SlotCount(); }
  const std::string& ObjectName(int32_t index) const override {
    const Object* object = objects_.At(index);
    if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
    return object->name;
  }
  Object& AddObjectTo(int32_t index, Document& document) override {
    const Object* object = objects_.At(index);
    if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
    return document.AddCopy(*object);
  }
  // Moved, not copied: a load takes every object once.
  void MoveObjectsTo(Document& document) override { document.TakeSlots(objects_); }

  Document objects_;
};

// "a%20b.bin" → "a b.bin"; malformed escapes are kept as written.
std::string PercentDecoded(const std::string& uri) {
  std::string out;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() &&
        std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(uri[i]);
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<ModelFile> ReadGltfBytes(const std::string& path, std::string_view bytes,
                                         const Asset::UriReader& readUri) {
  const Asset asset(path, bytes, readUri);
  auto model = std::make_unique<GltfModel>();
  BuildObjects(asset, model->objects_);
  return model;
}

std::unique_ptr<ModelFile> ReadGltfFile(const std::string& path, const ProgressShare& progress) {
  const FileBytes file(path, kMaxGltfBytes);
  const std::string_view bytes = file.View();
  progress.Report(bytes.size() / 2);
  const std::string directory = DirectoryOf(path);
  const auto readUri = [&path, &directory](const std::string& uri, uint64_t) {
    if (uri.find("://") != std::string::npos) {
      throw ModelError(path, 0, "buffer \"" + uri + "\": only files beside it are read, not URLs");
    }
    const std::string named = ResolvePath(directory, PercentDecoded(uri));
    try {
      return ReadWholeFile(named, kMaxGltfBytes);
    } catch (const ModelError& error) {
      throw ModelError(error.kind(), path, 0, "buffer \"" + uri + "\": " + error.message());
    }
  };
  std::unique_ptr<ModelFile> model;
  try {
    model = ReadGltfBytes(path, bytes, readUri);
  } catch (const ModelError&) {
    file.ThrowIfChanged();  // the fault may lie in the zeros read in its place
    throw;
  }
  file.ThrowIfChanged();
  progress.Report(bytes.size());
  return model;
}

}  // namespace vhost::models::gltf

namespace vhost::models {

Format GltfFormat() {
  Format format;
  format.name = "glTF";
  format.extensions = {".glb", ".gltf"};
  format.standsInFor = "assimp";
  format.read = gltf::ReadGltfFile;
  format.listing =
      "  .gltf .glb glTF 2.0, by its own reader (Draco and meshopt compression on Linux;\n"
      "             glTF 1.0 files through assimp)\n";
  format.notes =
      "What counts in glTF files:\n"
      "  objects   one per mesh instance and primitive of the scene shown, depth first\n"
      "            in node order, named \"node/mesh\" (\"node/mesh-P\" for primitive P of\n"
      "            several; a nameless node takes the file's name, a nameless mesh\n"
      "            \"mesh N\"); KHR_node_visibility hides\n"
      "  faces     as stored: points and lines as faces of 1 and 2 points (a loop\n"
      "            closed), triangle strips and fans as triangles\n"
      "  vertices  each primitive's, after joining those identical to the bit in\n"
      "            position, normal, texture coordinates and colours\n"
      "Not counted (exit 2): a file that is not valid glTF (the message names the\n"
      "element), or that requires an extension that changes geometry and is not read.\n";
  format.help = " glTF,";
  return format;
}

}  // namespace vhost::models
