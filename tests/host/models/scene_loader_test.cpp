// Scene files and the bundled samples: what they put in a document, counted by
// hand, and faults of the format reported at their line with the document kept.
#include "host/models/scene/scene_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"
#include "tests/support/shapes.h"

namespace {

using testing_support::Count;
using vhost::Object;

const std::string kSamples = VHOST_SAMPLES_DIR;

std::string Sample(const std::string& name) { return kSamples + "/" + name; }

// What freezing every modifier of a copy of `object` gives.
testing_support::Tally Frozen(const Object& object) {
  Object copy(object);
  copy.Freeze(0x7FFFFFFF);
  return Count(copy);
}

const Object& At(const vhost::Document& document, int32_t slot) {
  const Object* object = document.At(slot);
  if (object == nullptr) throw std::runtime_error("slot " + std::to_string(slot) + " is empty");
  return *object;
}

TEST(Samples, TheSceneHoldsWhatItsReadmeSays) {
  vhost::Document document;
  vhost::LoadScene(Sample("scene.json"), document);
  ASSERT_EQ(document.SlotCount(), 9);
  EXPECT_EQ(document.currentIndex, 0);

  // The cup's half: 4 wall quads and the bottom, mirrored with its on-plane points shared.
  const Object& cup = At(document, 0);
  EXPECT_EQ(cup.name, "cup");
  EXPECT_EQ(cup.mirror.type, 2);
  EXPECT_EQ(cup.mirror.axis, 1);
  EXPECT_EQ(Count(cup).vertices, 11);
  EXPECT_EQ(Count(cup).quads, 4);
  EXPECT_EQ(Count(cup).ngons, 1);
  EXPECT_EQ(Frozen(cup).vertices, 11 + 11 - 5);
  EXPECT_EQ(Frozen(cup).quads, 8);
  EXPECT_EQ(Frozen(cup).ngons, 2);

  // The vase: a profile of 4 segments from the axis, turned in 16 steps.
  const Object& vase = At(document, 1);
  EXPECT_EQ(vase.lathe.type, 1);
  EXPECT_EQ(vase.lathe.axis, 1);
  EXPECT_EQ(vase.lathe.segments, 16);
  EXPECT_EQ(Count(vase).lines, 4);
  EXPECT_EQ(Frozen(vase).vertices, 1 + 4 * 16);
  EXPECT_EQ(Frozen(vase).triangles, 16);
  EXPECT_EQ(Frozen(vase).quads, 3 * 16);

  // The pillow's cage: a prism of 2 triangles and 3 quads, subdivided once.
  const Object& pillow = At(document, 2);
  EXPECT_EQ(pillow.patch.type, 1);
  EXPECT_EQ(Count(pillow).triangles, 2);
  EXPECT_EQ(Count(pillow).quads, 3);
  if (Object::CanSubdivide()) {
    EXPECT_EQ(Frozen(pillow).quads, 2 * 3 + 3 * 4);
    EXPECT_EQ(Frozen(pillow).vertices, 6 + 9 + 5);  // corners, edges, faces
  }

  const Object& lid = At(document, 3);
  EXPECT_EQ(lid.name, "lid");
  EXPECT_FALSE(lid.visible);
  EXPECT_EQ(Count(lid).vertices, 6);
  EXPECT_EQ(Count(lid).ngons, 1);
  const Object& ground = At(document, 4);
  EXPECT_TRUE(ground.visible);
  EXPECT_EQ(Count(ground).vertices, 9);
  EXPECT_EQ(Count(ground).quads, 4);

  EXPECT_EQ(document.At(5), nullptr);

  const Object& rail = At(document, 6);
  EXPECT_EQ(rail.name, "rail");
  EXPECT_EQ(Count(rail).lines, 3 + 1);
  EXPECT_EQ(Count(rail).vertices, 6);
  const Object& stars = At(document, 7);
  EXPECT_EQ(Count(stars).faces, 3);
  EXPECT_EQ(Count(stars).lines + Count(stars).triangles, 0);
  EXPECT_EQ(Count(stars).vertices, 3);

  const Object& flag = At(document, 8);
  EXPECT_EQ(flag.name, "flag");
  EXPECT_EQ(Count(flag).ngons, 1);
  EXPECT_EQ(Count(flag).lines, 1);
  EXPECT_EQ(Count(flag).vertices, 7);
}

TEST(Samples, EveryObjFileLoadsOnItsOwn) {
  const struct {
    const char* file;
    int32_t objects;
    int32_t vertices;
    int32_t faces;
  } cases[] = {{"cup_half.obj", 1, 11, 5},
               {"vase_profile.obj", 1, 5, 4},
               {"cage.obj", 1, 6, 5},
               {"props.obj", 2, 15, 5},
               {"wires.obj", 2, 9, 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    vhost::Document document;
    vhost::LoadModel(Sample(c.file), document);
    ASSERT_EQ(document.SlotCount(), c.objects);
    int32_t vertices = 0;
    int32_t faces = 0;
    for (int32_t i = 0; i < document.SlotCount(); ++i) {
      vertices += Count(At(document, i)).vertices;
      faces += Count(At(document, i)).faces;
    }
    EXPECT_EQ(vertices, c.vertices);
    EXPECT_EQ(faces, c.faces);
  }
}

class Scene : public testing_support::ModelFiles {
 protected:
  // A scene of `objects` (the JSON array's content) and the rest of the top level.
  static std::string Text(const std::string& objects, const std::string& more = "") {
    return "{\n\"format\": \"veltrane-scene\",\n\"version\": 1,\n" + more + "\"objects\": [\n" +
           objects + "\n]\n}\n";
  }
  vhost::Document& Load(const std::string& text) {
    vhost::models::LoadSceneText(text, PathOf("scene.json"), document);
    return document;
  }

  vhost::Document document;
  const std::string parts_ = "o a\nv 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\no b\nl 1 2\no a\np 3\n";
};

TEST_F(Scene, InlineObjectsSettingsAndEmptySlots) {
  Load(Text(R"(null,
{"vertices": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [5, 5, 5]], "faces": [[0, 1, 2], [2], [0, 1]],
 "visible": false,
 "mirror": {"type": "separate", "axis": "zx", "distance": 0.5},
 "lathe": {"type": "off", "axis": "z", "segments": 3},
 "patch": {"type": "on", "segments": 4}},
{"name": "nothing", "vertices": [], "faces": []})"));
  ASSERT_EQ(document.SlotCount(), 3);
  EXPECT_EQ(document.At(0), nullptr);
  EXPECT_EQ(document.currentIndex, 1);  // the first slot holding an object
  const Object& o = At(document, 1);
  EXPECT_EQ(o.name, "object 1");
  EXPECT_FALSE(o.visible);
  EXPECT_EQ(o.mirror.type, 1);
  EXPECT_EQ(o.mirror.axis, 4 | 1);
  EXPECT_DOUBLE_EQ(o.mirror.distance, 0.5);
  EXPECT_EQ(o.lathe.type, 0);
  EXPECT_EQ(o.lathe.axis, 2);
  EXPECT_EQ(o.lathe.segments, 3);
  EXPECT_EQ(o.patch.type, 1);
  EXPECT_EQ(o.patch.segments, 4);
  EXPECT_EQ(o.VertexCount(), 4);  // inline vertices are kept as given, used or not
  EXPECT_EQ(Count(o).vertices, 3);
  EXPECT_EQ(Count(o).triangles, 1);
  EXPECT_EQ(Count(o).lines, 1);
  EXPECT_EQ(Count(o).faces, 3);
  EXPECT_DOUBLE_EQ(o.Position(3).z, 5);
  EXPECT_EQ(At(document, 2).FaceCount(), 0);

  // Defaults: visible, every modifier off with the host's own settings.
  Load(Text(R"({"vertices": [[0, 0, 0]], "faces": [[0]]})"));
  const Object& plain = At(document, 3);
  EXPECT_TRUE(plain.visible);
  EXPECT_EQ(plain.mirror.type, 0);
  EXPECT_EQ(plain.lathe.segments, 12);
  EXPECT_EQ(plain.patch.segments, 1);
  EXPECT_EQ(document.currentIndex, 3);
}

TEST_F(Scene, FileEntriesTakeAllObjectsOrOneByName) {
  Write("models/parts.obj", parts_);
  Write("scenes/scene.json",
        Text(R"({"file": "../models/parts.obj", "mirror": {"type": "connected"}},
{"file": "../models/parts.obj", "object": "b", "name": "renamed"},
{"file": "../models/parts.obj", "object": "a"})",
             "\"current\": 3,\n"));
  vhost::LoadModel(PathOf("scenes/scene.json"), document);
  ASSERT_EQ(document.SlotCount(), 5);
  EXPECT_EQ(At(document, 0).name, "a");
  EXPECT_EQ(At(document, 1).name, "b");
  EXPECT_EQ(At(document, 2).name, "a");
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(At(document, i).mirror.type, 2) << i;
  EXPECT_EQ(At(document, 3).name, "renamed");
  EXPECT_EQ(At(document, 3).mirror.type, 0);
  EXPECT_EQ(Count(At(document, 4)).triangles, 1);  // the first object named "a"
  EXPECT_EQ(document.currentIndex, 3);
}

TEST_F(Scene, ProgressCoversTheSceneAndEachFileOnce) {
  const std::string obj = Write("parts.obj", parts_);
  const std::string text = Text(R"({"file": "parts.obj"}, {"file": "parts.obj", "object": "b"})");
  const std::string scene = Write("scene.json", text);
  std::vector<uint64_t> done;
  vhost::LoadModel(scene, document, [&](uint64_t d, uint64_t total) {
    EXPECT_EQ(total, text.size() + parts_.size());
    done.push_back(d);
  });
  ASSERT_FALSE(done.empty());
  for (std::size_t i = 1; i < done.size(); ++i) EXPECT_GE(done[i], done[i - 1]);
  EXPECT_EQ(done.back(), text.size() + parts_.size());
}

TEST_F(Scene, TextFromMemoryReadsItsFilesBesideItsName) {
  Write("models/parts.obj", parts_);
  const std::string name = PathOf("unwritten.json");  // never a file
  const std::string text = Text(R"({"file": "models/parts.obj", "object": "b"})");
  uint64_t last = 0;
  vhost::models::LoadSceneText(text, name, document, [&](uint64_t done, uint64_t total) {
    EXPECT_EQ(total, text.size() + parts_.size());
    last = done;
  });
  ASSERT_EQ(document.SlotCount(), 1);
  EXPECT_EQ(At(document, 0).name, "b");
  EXPECT_EQ(last, text.size() + parts_.size());
  try {
    vhost::models::LoadSceneText(Text("7"), name, document);
    ADD_FAILURE() << "loaded";
  } catch (const vhost::ModelError& error) {
    EXPECT_EQ(error.file(), name);
    EXPECT_EQ(error.line(), 5);
  }
  EXPECT_EQ(document.SlotCount(), 1);
}

TEST_F(Scene, FaultsNameTheLineOfTheValueAtFault) {
  Write("parts.obj", parts_);
  Write("broken.obj", "v 0 0 0\nf 1 1 7\n");
  const std::string ok = R"({"file": "parts.obj", "object": "b"})";
  const struct {
    std::string text;
    int64_t line;
    const char* message;
  } cases[] = {
      {"{\n\"format\": \"veltrane-scene\",\n\"version\": 1,\n\"objects\": [,]\n}", 4,
       "syntax error"},
      {"", 1, "unexpected end of input"},
      {"[1, 2]", 1, "a scene must be a JSON object, not an array"},
      {"{\"version\": 1, \"objects\": []}", 1, "missing key \"format\""},
      {"{\n\"format\": \"veltrane-scene\",\n\"objects\": []}", 1, "missing key \"version\""},
      {"{\n\"format\": \"other\",\n\"version\": 1, \"objects\": []}", 2, "\"format\" must be"},
      {"{\n\"format\": \"veltrane-scene\",\n\"version\": 2, \"objects\": []}", 3,
       "version 2 is newer than this loader (1)"},
      {"{\n\"format\": \"veltrane-scene\",\n\"version\": \"1\", \"objects\": []}", 3,
       "\"version\" must be a whole number, not a string"},
      {Text("", "\"colour\": 3,\n"), 4, "unknown key \"colour\""},
      {Text(ok, "\"current\": 1,\n\"current\": 0,\n"), 5, "key \"current\" given twice"},
      {"{\n\"format\": \"veltrane-scene\",\n\"version\": 1,\n\"objects\": {}\n}", 4,
       "\"objects\" must be an array, not an object"},
      {Text(ok + ",\n7"), 6, "an entry must be an object or null, not a number"},
      {Text("{\"name\": \"x\"}"), 5, "an entry needs \"file\", or \"vertices\" and \"faces\""},
      {Text("{\"file\": \"parts.obj\",\n \"vertices\": []}"), 5, "not both"},
      {Text("{\"vertices\": []}"), 5, "missing key \"faces\""},
      {Text("{\"vertices\": [], \"faces\": [],\n \"object\": \"a\"}"), 6, "\"object\" picks"},
      {Text(ok + ",\n{\"file\": \"parts.obj\",\n \"visible\": \"no\"}"), 7,
       "\"visible\" must be true or false, not a string"},
      {Text("{\"file\": \"parts.obj\", \"shade\": 1}"), 5, "unknown key \"shade\""},
      {Text("{\"file\": \"parts.obj\",\n \"mirror\": {\"axis\": \"x\"}}"), 6,
       "missing key \"type\""},
      {Text("{\"file\": \"parts.obj\",\n \"mirror\": {\"type\": \"both\"}}"), 6,
       "the mirror type must be one of \"off\", \"separate\", \"connected\", not \"both\""},
      {Text("{\"file\": \"parts.obj\",\n \"mirror\": {\"type\": \"off\",\n \"axis\": \"xx\"}}"), 7,
       "the mirror axis must be one or more of the letters x, y, z"},
      {Text("{\"file\": \"parts.obj\",\n \"mirror\": {\"type\": \"off\", \"distance\": -1}}"), 6,
       "must not be negative"},
      {Text("{\"file\": \"parts.obj\",\n \"lathe\": {\"type\": \"on\",\n \"segments\": 2}}"), 7,
       "lathe segments must be 3 to 1024"},
      {Text("{\"file\": \"parts.obj\", \"lathe\": {\"type\": \"on\", \"axis\": \"w\"}}"), 5,
       "the lathe axis must be one of"},
      {Text("{\"file\": \"parts.obj\",\n \"patch\": {\"type\": \"on\", \"segments\": 5}}"), 6,
       "patch segments must be 1 to 4"},
      {Text("{\"file\": \"parts.obj\",\n \"patch\": {\"type\": \"on\", \"segments\": 1.5}}"), 6,
       "must be a whole number"},
      {Text("{\"file\": \"parts.obj\",\n \"lathe\": {\"type\": \"on\", \"segments\": 1e999}}"), 6,
       "overflow"},
      {Text("{\"vertices\": [[0, 0, 0],\n [1, 0]],\n \"faces\": []}"), 6,
       "a vertex must be an array of 3 numbers"},
      {Text("{\"vertices\": [[0, 0, 0],\n [1, 0, \"z\"]],\n \"faces\": []}"), 6,
       "a coordinate must be a number, not a string"},
      {Text("{\"vertices\": [[0, 0, 0], [1, 0, 0]],\n \"faces\": [[0, 1],\n [1, 2]]}"), 7,
       "a face point must be 0 to 1"},
      {Text("{\"vertices\": [[0, 0, 0]],\n \"faces\": [[0],\n []]}"), 7,
       "a face must be an array of 1 or more vertex indices"},
      {Text("{\"vertices\": [[0, 0, 0]],\n \"faces\": [[-1]]}"), 6, "a face point must be 0 to 0"},
      {Text("{\"vertices\": [],\n \"faces\": [[0]]}"), 6,
       "a face point, but there are no vertices"},
      {Text("{\"file\": \"\"}"), 5, "\"file\" must not be empty"},
      // Texts holding a NUL: a key is matched whole, shown escaped; a file name is refused
      // (the system would open the name only up to the NUL).
      {"{\"format\": \"veltrane-scene\", \"version\": 1, \"objects\": [],\n \"\\u0000s\": []}", 2,
       "unknown key \"\\u0000s\""},
      {Text("{\"file\": \"parts.obj\\u0000.txt\"}"), 5, "\"file\" must not hold a NUL"},
      {Text("{\"file\": \"parts.obj\",\n \"object\": \"c\\n\\u007f\"}"), 6,
       "no object \"c\\u000a\\u007f\" in"},
      {Text(ok + ",\n{\"file\": \"nowhere.obj\"}"), 6, "cannot load \"nowhere.obj\": cannot open"},
      {Text("{\"file\": \"parts.obj\",\n \"object\": \"c\"}"), 6,
       "no object \"c\" in \"parts.obj\" (it has \"a\", \"b\", \"a\")"},
      {Text("{\"file\": \"parts.obj\",\n \"name\": \"all of it\"}"), 6,
       "\"name\" is for an entry that gives one object; \"parts.obj\" gives 3"},
      {Text(ok + ", null", "\"current\": 2,\n"), 4, "\"current\" is 2, but the scene has 2 slots"},
      {Text(ok + ", null", "\"current\": 1,\n"), 4, "\"current\" is slot 1, which is empty"},
      {Text(ok, "\"current\": -1,\n"), 4, "\"current\" must be 0 to"},
      {"{\"format\": \"veltrane-scene\", \"version\": 1, \"objects\": [\"\xff\"]}", 1,
       "invalid string"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExpectLoadError(Write("scene" + std::to_string(n++) + ".json", c.text), c.line, c.message);
  }
  // A fault inside an OBJ file the scene names is the file's own.
  ExpectLoadError(Write("uses_broken.json", Text(ok + ",\n{\"file\": \"broken.obj\"}")), 2,
                  "vertex index 7", PathOf("broken.obj"));
#if !defined(_WIN32)
  // Also when its name holds a line end, which the message shows escaped.
  Write("two\nlines.obj", "v 0 0 0\nf 1 1 7\n");
  ExpectLoadError(Write("uses_two_lines.json", Text("{\"file\": \"two\\nlines.obj\"}")), 2,
                  "vertex index 7", PathOf("two\nlines.obj"));
#endif
}

TEST_F(Scene, SyntaxErrorsGiveLineAndColumn) {
  const std::string path =
      Write("scene.json", "{\n  \"format\": \"veltrane-scene\",\n  \"version\": tru\n}");
  try {
    vhost::LoadScene(path, document);
    FAIL() << "loaded";
  } catch (const vhost::ModelError& error) {
    EXPECT_EQ(error.line(), 3);
    EXPECT_EQ(error.column(), 17);  // the line end after "tru"
    EXPECT_EQ(std::string(error.what()).rfind(path + ":3:17: syntax error", 0), 0u) << error.what();
  }
}

TEST_F(Scene, TimeGrowsWithTheEntriesNotTheirSquare) {
  // Four times the entries may take about four times as long, not sixteen: the
  // factor allowed leaves room for a busy machine.
  Write("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const auto scene = [&](const std::string& name, int entries) {
    std::string text = "{\"format\": \"veltrane-scene\", \"version\": 1, \"objects\": [\n";
    for (int i = 0; i < entries; ++i) {
      text += i % 2 == 0 ? R"({"vertices": [], "faces": []})" : R"({"file": "tri.obj"})";
      text += i + 1 < entries ? ",\n" : "\n";
    }
    return Write(name, text + "]}\n");
  };
  // The fastest of a few runs, which other work on the machine can only slow.
  const auto seconds = [](const std::string& path, int32_t slots) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
      vhost::Document document;
      const auto start = std::chrono::steady_clock::now();
      vhost::LoadScene(path, document);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      EXPECT_EQ(document.SlotCount(), slots);
      best = std::min(best, took.count());
    }
    return best;
  };
  constexpr int kFew = 25000;
  const double few = seconds(scene("few.json", kFew), kFew);
  const double many = seconds(scene("many.json", 4 * kFew), 4 * kFew);
  EXPECT_LT(many, 8 * few + 0.05) << few << " s for " << kFew << " entries, " << many
                                  << " s for four times as many";
}

}  // namespace

#if !defined(_WIN32)  // the Windows builds read OBJ and scenes only
TEST_F(Scene, FileEntriesTakeEveryFormatAndRefuseUnknownExtensions) {
  // Two small files of our own: an ASCII STL of two triangles sharing an edge
  // (six corners, four distinct positions) and an ASCII PLY of one quad.
  Write("models/pair.stl",
        "solid pair\n"
        "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 1 1 0\nendloop\n"
        "endfacet\n"
        "facet normal 0 0 -1\nouter loop\nvertex 0 0 0\nvertex 1 1 0\nvertex 0 1 0\nendloop\n"
        "endfacet\n"
        "endsolid pair\n");
  Write("models/quad.ply",
        "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
        "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
        "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n");
  Write("scenes/scene.json", Text(R"({"file": "../models/pair.stl", "visible": false},
{"file": "../models/quad.ply", "name": "quad", "mirror": {"type": "separate"}})"));
  vhost::LoadModel(PathOf("scenes/scene.json"), document);
  ASSERT_EQ(document.SlotCount(), 2);
  const Object& pair = At(document, 0);
  EXPECT_FALSE(pair.visible);
  // Opposite facet normals, yet one vertex per position: STL's normals are the facets'.
  EXPECT_EQ(Count(pair).vertices, 4);
  EXPECT_EQ(Count(pair).triangles, 2);
  EXPECT_EQ(At(document, 1).name, "quad");
  EXPECT_EQ(At(document, 1).mirror.type, 1);
  EXPECT_EQ(Count(At(document, 1)).quads, 1);  // not triangulated

  // The same files on their own: an object per mesh, named node/mesh.
  vhost::Document alone;
  vhost::LoadModel(PathOf("models/quad.ply"), alone);
  ASSERT_EQ(alone.SlotCount(), 1);
  EXPECT_EQ(Count(At(alone, 0)).vertices, 4);
  EXPECT_NE(At(alone, 0).name.find('/'), std::string::npos) << At(alone, 0).name;

  // An extension no reader takes, on its own and named by a scene.
  const std::string unknown = Write("models/notes.txt", "v 0 0 0\np 1\n");
  ExpectLoadError(unknown, 0, "no reader of this host takes \".txt\" files; it reads ");
  ExpectLoadError(unknown, 0, ".glb");
  ExpectLoadError(Write("scenes/bad.json", Text(R"({"file": "../models/notes.txt"})")), 5,
                  "cannot load \"../models/notes.txt\": no reader of this host takes \".txt\"",
                  PathOf("scenes/bad.json"));
}
#endif
