// A glTF 2.0 asset as the counting needs it: the JSON's buffers, buffer views,
// accessors, meshes, nodes and scenes, checked against each other, with the
// bytes of every buffer a view reads found on demand. Textures, materials,
// animation, skins, cameras and lights are not read at all: a fault in them
// changes no count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vhost::models::gltf {

// Component types by their glTF numbers.
enum ComponentType : int {
  kByte = 5120,
  kUnsignedByte = 5121,
  kShort = 5122,
  kUnsignedShort = 5123,
  kUnsignedInt = 5125,
  kFloat = 5126,
};
std::size_t ComponentSize(int type);

// EXT_meshopt_compression on a buffer view: the compressed stream and how to
// decode it into the view's `count` elements of `stride` bytes.
struct MeshoptView {
  std::size_t buffer = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t stride = 0;
  uint64_t count = 0;
  std::string mode;    // "ATTRIBUTES", "TRIANGLES", "INDICES"
  std::string filter;  // "NONE", "OCTAHEDRAL", "QUATERNION", "EXPONENTIAL"
};

struct BufferView {
  std::size_t buffer = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t stride = 0;  // 0: elements packed
  std::optional<MeshoptView> meshopt;
};

struct Sparse {
  uint64_t count = 0;
  std::size_t indicesView = 0;
  uint64_t indicesOffset = 0;
  int indicesType = 0;
  std::size_t valuesView = 0;
  uint64_t valuesOffset = 0;
};

struct Accessor {
  std::optional<std::size_t> view;  // none: zeros (then `sparse` may set some)
  uint64_t offset = 0;
  int componentType = 0;
  bool normalized = false;
  uint64_t count = 0;
  int components = 0;  // 1 (SCALAR) to 16 (MAT4)
  std::optional<Sparse> sparse;

  std::size_t ElementSize() const { return ComponentSize(componentType) * components; }
};

// KHR_draco_mesh_compression on a primitive: the compressed mesh and the
// Draco attribute id of each glTF attribute.
struct DracoPrimitive {
  std::size_t view = 0;
  std::map<std::string, int> attributes;
};

struct Primitive {
  std::map<std::string, std::size_t> attributes;  // "POSITION" → accessor
  std::optional<std::size_t> indices;
  int mode = 4;  // TRIANGLES
  std::optional<DracoPrimitive> draco;
};

struct Mesh {
  std::string name;
  std::vector<Primitive> primitives;
};

struct Node {
  std::string name;
  std::optional<std::size_t> mesh;
  std::vector<std::size_t> children;
  bool visible = true;  // KHR_node_visibility
};

// What the asset holds, checked: every index names an element that exists,
// every view lies inside its buffer's declared length, every accessor inside
// its view. Buffers' bytes are read when a view first asks for them.
class Asset {
 public:
  // Finds the bytes an external buffer's URI names (percent-decoded, relative
  // to the asset's folder), or throws ModelError naming it.
  using UriReader = std::function<std::string(const std::string& uri, uint64_t length)>;

  // Parses `bytes`, a .gltf file's JSON or a whole .glb file, which the caller
  // keeps alive as long as this. `file` names the asset in errors. Throws
  // NotThisReader for a glTF 1.0 asset, ModelError for any fault.
  Asset(const std::string& file, std::string_view bytes, UriReader readUri);

  const std::string& file() const { return file_; }
  const std::vector<BufferView>& views() const { return views_; }
  const std::vector<Accessor>& accessors() const { return accessors_; }
  const std::vector<Mesh>& meshes() const { return meshes_; }
  const std::vector<Node>& nodes() const { return nodes_; }
  // The roots of the scene shown (`scene`, else the first); none when the
  // asset has no scene.
  const std::optional<std::vector<std::size_t>>& sceneRoots() const { return roots_; }

  // The bytes of buffer view `index`, decoded when compressed; throws
  // ModelError naming the view or its buffer.
  std::string_view ViewBytes(std::size_t index) const;

  // The most bytes the reader makes of data the file does not hold (zeros of
  // an accessor without a view, a compressed view decoded): a multiple of the
  // bytes read so far, so that a small file cannot ask for gigabytes.
  uint64_t MostMadeBytes() const { return 64 * readBytes_ + (uint64_t{64} << 20); }

 private:
  std::string_view BufferBytes(std::size_t index) const;

  std::string file_;
  UriReader readUri_;
  mutable uint64_t readBytes_ = 0;  // the file's, and each buffer's once read
  struct Buffer {
    uint64_t length = 0;
    std::optional<std::string> uri;
    bool glbChunk = false;  // the GLB's binary chunk
    bool fallback = false;  // EXT_meshopt_compression's placeholder: no bytes
    mutable std::optional<std::string> loaded;
  };
  std::string_view glbBinary_;  // into the caller's bytes
  bool hasGlbBinary_ = false;
  std::vector<Buffer> buffers_;
  std::vector<BufferView> views_;
  mutable std::map<std::size_t, std::string> decodedViews_;
  std::vector<Accessor> accessors_;
  std::vector<Mesh> meshes_;
  std::vector<Node> nodes_;
  std::optional<std::vector<std::size_t>> roots_;
};

// The extensions this build decodes: the compressions need Debian's libraries,
// which the Linux builds have.
bool DecodesDraco();
bool DecodesMeshopt();

}  // namespace vhost::models::gltf
