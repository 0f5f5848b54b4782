// The glTF reader: what counts in a glTF file (objects, names, faces by mode,
// the exact weld), every way a file may store its numbers, and the faults it
// refuses naming the element. Files are written by the test: JSON text with
// its buffers as data: URIs, beside it, or in a binary .glb.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"

namespace {

// Little-endian bytes of numbers, as glTF buffers hold them.
struct Bytes {
  std::string data;
  template <typename T>
  Bytes& Add(std::initializer_list<T> values) {
    for (const T value : values) {
      char raw[sizeof(T)];
      std::memcpy(raw, &value, sizeof(T));
      data.append(raw, sizeof(T));
    }
    return *this;
  }
};

std::string Base64(const std::string& bytes) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t have = std::min<std::size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < have ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= have ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return out;
}

std::string DataUri(const std::string& bytes) {
  return "data:application/octet-stream;base64," + Base64(bytes);
}

// A binary glTF file of `json` and `bin`, each chunk padded to 4 bytes.
std::string Glb(std::string json, std::string bin) {
  while (json.size() % 4 != 0) json += ' ';
  while (bin.size() % 4 != 0) bin += '\0';
  Bytes out;
  const auto total =
      static_cast<uint32_t>(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size()));
  out.Add<uint32_t>({0x46546C67u, 2u, total, static_cast<uint32_t>(json.size()), 0x4E4F534Au});
  out.data += json;
  if (!bin.empty()) {
    out.Add<uint32_t>({static_cast<uint32_t>(bin.size()), 0x004E4942u});
    out.data += bin;
  }
  return out.data;
}

// The JSON of an asset whose one buffer is `uri` (empty: the GLB's own) of
// `length` bytes, with `rest` (the views, accessors, meshes, nodes, scenes).
std::string Asset(const std::string& uri, std::size_t length, const std::string& rest) {
  return R"({"asset": {"version": "2.0"}, "buffers": [{"byteLength": )" + std::to_string(length) +
         (uri.empty() ? "" : R"(, "uri": ")" + uri + "\"") + "}], " + rest + "}";
}

// A quad's 4 corner positions (48 bytes) and two triangles' indices as u16
// (12 bytes): the buffer most cases share.
std::string QuadBytes() {
  return Bytes()
      .Add<float>({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0})
      .Add<uint16_t>({0, 1, 2, 0, 2, 3})
      .data;
}
const char* const kQuadViews =
    R"("bufferViews": [{"buffer": 0, "byteLength": 48}, {"buffer": 0, "byteOffset": 48, "byteLength": 12}],
       "accessors": [{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3"},
                     {"bufferView": 1, "componentType": 5123, "count": 6, "type": "SCALAR"}])";

// An object as the tests compare it: name, visibility, vertices, faces by
// their number of points.
struct Seen {
  std::string name;
  bool visible = true;
  int32_t vertices = 0;
  std::vector<int32_t> faceSizes;
  bool operator==(const Seen& o) const {
    return name == o.name && visible == o.visible && vertices == o.vertices &&
           faceSizes == o.faceSizes;
  }
};
std::ostream& operator<<(std::ostream& out, const Seen& s) {
  out << s.name << (s.visible ? "" : " hidden") << " V" << s.vertices << " F[";
  for (const int32_t n : s.faceSizes) out << n;
  return out << "]";
}

class GltfReader : public testing_support::ModelFiles {
 protected:
  std::vector<Seen> Load(const std::string& path) {
    vhost::Document document;
    vhost::LoadModel(path, document);
    std::vector<Seen> seen;
    for (int32_t i = 0; i < document.SlotCount(); ++i) {
      const vhost::Object& o = *document.At(i);
      Seen s{o.name, o.visible, o.VertexCount(), {}};
      for (int32_t f = 0; f < o.FaceCount(); ++f) s.faceSizes.push_back(o.FacePointCount(f));
      seen.push_back(s);
    }
    return seen;
  }
};

// Objects: one per instance and primitive of the scene shown, depth first in
// node order, named "node/mesh"; a nameless node takes the file's name, a
// nameless mesh its number, a primitive of several its own; hidden nodes hide.
TEST_F(GltfReader, ObjectsFollowTheScenesNodesInOrder) {
  const std::string rest = std::string(kQuadViews) + R"(,
      "meshes": [{"name": "quad", "primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]},
                 {"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 0},
                                 {"attributes": {"POSITION": 0}, "mode": 2}]}],
      "nodes": [{"name": "root", "children": [1, 3]},
                {"mesh": 1, "children": [2]},
                {"name": "leaf", "mesh": 0},
                {"name": "off", "mesh": 0, "extensions": {"KHR_node_visibility": {"visible": false}},
                 "children": [4]},
                {"name": "under", "mesh": 0},
                {"name": "elsewhere", "mesh": 0}],
      "scenes": [{"nodes": [5]}, {"nodes": [0]}], "scene": 1)";
  const std::string path = Write("parts.gltf", Asset(DataUri(QuadBytes()), 60, rest));
  const std::vector<int32_t> two = {3, 3};
  const std::vector<Seen> expected = {
      {"parts/mesh 1-0", true, 4, {1, 1, 1, 1, 1, 1}},
      {"parts/mesh 1-1", true, 4, {2, 2, 2, 2}},
      {"leaf/quad", true, 4, two},
      {"off/quad", false, 4, two},
      {"under/quad", false, 4, two},
  };
  EXPECT_EQ(Load(path), expected);
}

// Faces as each mode draws them, from indices and without; vertices joined
// only when identical in every attribute that tells them apart.
TEST_F(GltfReader, FacesFollowTheModeAndVerticesJoinOnlyWhenIdentical) {
  // Six positions: 0-2 a triangle, 3 a copy of 0, 4 a copy of 1 with another
  // UV, 5 of 2 at -0 where 2 has 0.
  const std::string bytes =
      Bytes()
          .Add<float>({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -0.0f, 1, 0})
          .Add<float>({0, 0, 1, 0, 0, 1, 0, 0, 0.5f, 0, 0, 1})
          .data;
  const struct {
    const char* what;
    int mode;
    bool uv;
    int32_t vertices;
    std::vector<int32_t> faces;
  } cases[] = {
      {"points", 0, false, 4, {1, 1, 1, 1, 1, 1}},
      {"lines", 1, false, 4, {2, 2, 2}},
      {"a line loop, closed", 2, false, 4, {2, 2, 2, 2, 2, 2}},
      {"a line strip", 3, false, 4, {2, 2, 2, 2, 2}},
      {"triangles", 4, false, 4, {3, 3}},
      {"a triangle strip", 5, false, 4, {3, 3, 3, 3}},
      {"a triangle fan", 6, false, 4, {3, 3, 3, 3}},
      {"a UV apart keeps its copy apart", 4, true, 5, {3, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string attributes =
        std::string(R"({"POSITION": 0)") + (c.uv ? R"(, "TEXCOORD_0": 1})" : "}");
    const std::string rest =
        R"("bufferViews": [{"buffer": 0, "byteLength": 72}, {"buffer": 0, "byteOffset": 72, "byteLength": 48}],
           "accessors": [{"bufferView": 0, "componentType": 5126, "count": 6, "type": "VEC3"},
                         {"bufferView": 1, "componentType": 5126, "count": 6, "type": "VEC2"}],
           "meshes": [{"name": "m", "primitives": [{"attributes": )" +
        attributes + R"(, "mode": )" + std::to_string(c.mode) + R"(}]}],
           "nodes": [{"name": "n", "mesh": 0}], "scenes": [{"nodes": [0]}])";
    const std::vector<Seen> seen =
        Load(Write("modes.gltf", Asset(DataUri(bytes), bytes.size(), rest)));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].vertices, c.vertices);
    EXPECT_EQ(seen[0].faceSizes, c.faces);
  }
}

// The same quad stored every way glTF allows gives the same object.
TEST_F(GltfReader, EveryEncodingOfTheSameQuadCountsAlike) {
  const std::vector<Seen> quad = {{"n/m", true, 4, {3, 3}}};
  const auto asset = [](const std::string& uri, std::size_t length, const std::string& views,
                        const std::string& accessors, const std::string& primitive) {
    return Asset(uri, length,
                 R"("bufferViews": )" + views + R"(, "accessors": )" + accessors +
                     R"(, "meshes": [{"name": "m", "primitives": [)" + primitive +
                     R"(]}], "nodes": [{"name": "n", "mesh": 0}], "scenes": [{"nodes": [0]}])");
  };
  const std::string indexed = R"({"attributes": {"POSITION": 0}, "indices": 1})";
  const std::string views =
      R"([{"buffer": 0, "byteLength": 48}, {"buffer": 0, "byteOffset": 48, "byteLength": 12}])";
  const std::string accessors =
      R"([{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3"},
          {"bufferView": 1, "componentType": 5123, "count": 6, "type": "SCALAR"}])";
  // Interleaved with a normal, 24-byte stride; u8 indices after.
  Bytes interleaved;
  const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (const auto& p : corners) interleaved.Add<float>({p[0], p[1], p[2], 0, 0, 1});
  interleaved.Add<uint8_t>({0, 1, 2, 0, 2, 3});
  // Quantized positions: normalized shorts (KHR_mesh_quantization), u32 indices.
  const std::string quantized =
      Bytes()
          .Add<int16_t>({0, 0, 0, 0, 32767, 0, 0, 0, 32767, 32767, 0, 0, 0, 32767, 0, 0})
          .Add<uint32_t>({0, 1, 2, 0, 2, 3})
          .data;
  // Sparse: positions all zero but for three replaced, with u8 indices.
  const std::string sparse =
      Bytes().Add<uint8_t>({1, 2, 3, 0}).Add<float>({1, 0, 0, 1, 1, 0, 0, 1, 0}).data +
      Bytes().Add<uint16_t>({0, 1, 2, 0, 2, 3}).data;
  const struct {
    const char* what;
    std::string name;
    std::string content;
    std::string beside;  // "quad.bin", when the buffer is a file beside it
  } cases[] = {
      {"data: URI", "a.gltf", asset(DataUri(QuadBytes()), 60, views, accessors, indexed), ""},
      {"a buffer file beside it, its name escaped", "b.gltf",
       asset("quad%20data.bin", 60, views, accessors, indexed), "quad data.bin"},
      {"binary glTF", "c.glb", Glb(asset("", 60, views, accessors, indexed), QuadBytes()), ""},
      {"interleaved with a stride, u8 indices", "d.gltf",
       asset(
           DataUri(interleaved.data), 102,
           R"([{"buffer": 0, "byteLength": 96, "byteStride": 24}, {"buffer": 0, "byteOffset": 96, "byteLength": 6}])",
           R"([{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3"},
                 {"bufferView": 0, "byteOffset": 12, "componentType": 5126, "count": 4, "type": "VEC3"},
                 {"bufferView": 1, "componentType": 5121, "count": 6, "type": "SCALAR"}])",
           R"({"attributes": {"POSITION": 0, "NORMAL": 1}, "indices": 2})"),
       ""},
      {"quantized, u32 indices", "e.gltf",
       asset(
           DataUri(quantized), 56,
           R"([{"buffer": 0, "byteLength": 32, "byteStride": 8}, {"buffer": 0, "byteOffset": 32, "byteLength": 24}])",
           R"([{"bufferView": 0, "componentType": 5122, "normalized": true, "count": 4, "type": "VEC3"},
                 {"bufferView": 1, "componentType": 5125, "count": 6, "type": "SCALAR"}])",
           indexed),
       ""},
      {"sparse", "f.gltf",
       asset(DataUri(sparse), 52,
             R"([{"buffer": 0, "byteLength": 4}, {"buffer": 0, "byteOffset": 4, "byteLength": 36},
                 {"buffer": 0, "byteOffset": 40, "byteLength": 12}])",
             R"([{"componentType": 5126, "count": 4, "type": "VEC3",
                  "sparse": {"count": 3, "indices": {"bufferView": 0, "componentType": 5121},
                             "values": {"bufferView": 1}}},
                 {"bufferView": 2, "componentType": 5123, "count": 6, "type": "SCALAR"}])",
             indexed),
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.beside.empty()) Write(c.beside, QuadBytes());
    EXPECT_EQ(Load(Write(c.name, c.content)), quad);
  }
}

// A file that is not valid glTF is refused naming the element at fault, and
// nothing of it is loaded.
TEST_F(GltfReader, FaultsAreRefusedNamingTheElement) {
  const std::string quadMesh =
      R"("meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}],
         "nodes": [{"mesh": 0}], "scenes": [{"nodes": [0]}])";
  const std::string good =
      Asset(DataUri(QuadBytes()), 60, std::string(kQuadViews) + ", " + quadMesh);
  const auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::string outOfRange = Asset(DataUri(Bytes()
                                                   .Add<float>({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0})
                                                   .Add<uint16_t>({0, 1, 2, 0, 2, 9})
                                                   .data),
                                       60, std::string(kQuadViews) + ", " + quadMesh);
  const struct {
    const char* what;
    std::string name;
    std::string content;
    int64_t line;
    std::string message;
  } cases[] = {
      {"bad JSON, by line", "a.gltf", "{\"asset\": {\"version\": \"2.0\"},\n  \"nodes\": [,]}", 2,
       "not valid JSON"},
      {"a number past a double", "a2.gltf", "{\"asset\": {\"version\": \"2.0\"}, \"x\": 1e999}", 0,
       "not valid JSON: number overflow"},
      {"zeros past what the file could hold", "a3.gltf",
       replaced(R"({"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3"})",
                R"({"componentType": 5126, "count": 100000000, "type": "VEC3"})"),
       0, "accessor 0: 100000000 elements without a bufferView, more than this host makes"},
      {"indices past what the file could hold", "a4.gltf",
       replaced(R"({"bufferView": 1, "componentType": 5123, "count": 6, "type": "SCALAR"})",
                R"({"componentType": 5125, "count": 3000000000, "type": "SCALAR"})"),
       0, "accessor 1: 3000000000 elements without a bufferView, more than this host makes"},
      {"an accessor past its view", "b.gltf",
       replaced(R"("count": 4, "type": "VEC3")", R"("count": 5, "type": "VEC3")"), 0,
       "accessor 0: 5 elements from byte 0 lie past the end of bufferView 0"},
      {"a view past its buffer", "c.gltf",
       replaced(R"("byteOffset": 48, "byteLength": 12})", R"("byteOffset": 48, "byteLength": 13})"),
       0, "bufferView 1: bytes 48 to 61 lie past the end of buffer 0 (60 bytes)"},
      {"an index past the vertices", "d.gltf", outOfRange, 0,
       "accessor 1: element 5 is vertex 9, past the 4 vertices of POSITION"},
      {"a missing buffer file", "e.gltf",
       Asset("gone.bin", 60, std::string(kQuadViews) + ", " + quadMesh), 0,
       "buffer \"gone.bin\": cannot open"},
      {"a triangle list cut short", "f.gltf",
       replaced(R"("count": 6, "type": "SCALAR")", R"("count": 5, "type": "SCALAR")"), 0,
       "mesh 0 primitive 0: 5 corners are no whole number of triangles"},
      {"a required extension not read", "g.gltf",
       replaced(
           R"("asset": {"version": "2.0"})",
           R"("asset": {"version": "2.0"}, "extensionsRequired": ["EXT_mesh_gpu_instancing"])"),
       0, "requires the extension EXT_mesh_gpu_instancing"},
      {"a node its own ancestor", "h.gltf",
       replaced(R"("nodes": [{"mesh": 0}])", R"("nodes": [{"mesh": 0, "children": [0]}])"), 0,
       "node 0 is reached twice"},
      {"attributes of another count", "i.gltf",
       replaced(R"("attributes": {"POSITION": 0})",
                R"("attributes": {"POSITION": 0, "NORMAL": 1})"),
       0, "accessor 1: NORMAL has 6 elements, but POSITION has 4"},
      {"a binary file cut short", "j.glb",
       Glb(Asset("", 60, std::string(kQuadViews) + ", " + quadMesh), QuadBytes()).substr(0, 100), 0,
       "cut short"},
      {"a mesh named that is not there", "k.gltf",
       replaced(R"("nodes": [{"mesh": 0}])", R"("nodes": [{"mesh": 3}])"), 0,
       "node 0: \"mesh\" names mesh 3, but the file has 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectLoadError(Write(c.name, c.content), c.line, c.message);
  }
}

// A large list of indices is read in two halves at once, into a list made
// while the vertices are welded: the count is the whole list's, and of the
// indices past the vertices the first is named, whichever half holds it.
TEST_F(GltfReader, ALargeIndexListIsReadWholeAndItsFirstFaultNamed) {
  constexpr uint32_t kTriangles = 100000;  // 300,000 indices: past the size read in halves
  const auto file = [&](const std::vector<std::size_t>& past) {
    std::vector<uint32_t> indices;
    for (uint32_t t = 0; t < kTriangles; ++t) indices.insert(indices.end(), {0, t % 2 + 1, 3});
    for (const std::size_t at : past) indices[at] = 9;
    Bytes bytes;
    bytes.Add<float>({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
    for (const uint32_t index : indices) bytes.Add<uint32_t>({index});
    const std::size_t length = 48 + 4 * indices.size();
    const std::string json = Asset(
        "", length,
        R"("bufferViews": [{"buffer": 0, "byteLength": 48}, {"buffer": 0, "byteOffset": 48, "byteLength": )" +
            std::to_string(4 * indices.size()) + R"(}],
           "accessors": [{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3"},
                         {"bufferView": 1, "componentType": 5125, "count": )" +
            std::to_string(indices.size()) + R"(, "type": "SCALAR"}],
           "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}],
           "nodes": [{"mesh": 0}], "scenes": [{"nodes": [0]}])");
    return Glb(json, bytes.data);
  };
  const std::vector<Seen> seen = Load(Write("large.glb", file({})));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].vertices, 4);
  EXPECT_EQ(seen[0].faceSizes, std::vector<int32_t>(kTriangles, 3));
  const struct {
    const char* what;
    std::vector<std::size_t> past;
    std::size_t named;
  } cases[] = {
      {"in the first half", {1000}, 1000},
      {"in the second half", {200000}, 200000},
      {"in both", {200000, 1000, 250000}, 1000},
      {"the last", {3 * kTriangles - 1}, 3 * kTriangles - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectLoadError(Write("past.glb", file(c.past)), 0,
                    "accessor 1: element " + std::to_string(c.named) +
                        " is vertex 9, past the 4 vertices of POSITION");
  }
}

// A glTF 1.0 file is another format: assimp's, where the build has it.
TEST_F(GltfReader, AGltf1FileGoesOnToAssimp) {
  const std::string path = Write("old.gltf", R"({"asset": {"version": "1.0"}, "meshes": {}})");
  vhost::Document document;
  try {
    vhost::LoadModel(path, document);
    ADD_FAILURE() << "an empty glTF 1.0 file loaded";
  } catch (const vhost::ModelError& error) {
    const bool assimp = vhost::SupportedExtensions().size() > 10;
    EXPECT_EQ(std::string(error.what()).find("glTF 1.0") != std::string::npos, !assimp)
        << error.what();
  }
}

}  // namespace
