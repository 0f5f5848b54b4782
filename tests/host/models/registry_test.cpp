// Which reader a path goes to, and the texts made from the readers' entries.
#include "host/models/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/models/models.h"

namespace {

using vhost::models::FormatFor;

// The registry is made on first use and lives as long as the program, as the
// host does: made before the first test, so that no test counts it as a leak.
class MadeOnce : public testing::Environment {
 public:
  void SetUp() override { vhost::models::Formats(); }
};
testing::Environment* const kMadeOnce = testing::AddGlobalTestEnvironment(new MadeOnce);

TEST(Registry, APathGoesToTheFirstFormatTakingItsExtensionInAnyCase) {
  const struct {
    std::string path;
    const char* format;  // null: none
  } cases[] = {
      {"model.obj", "OBJ"},
      {"MODEL.OBJ", "OBJ"},
      {"/dev/stdin", "OBJ"},    // no extension: a pipe, read as OBJ
      {"dir.v2/model", "OBJ"},  // the dot is the folder's
      {"scene.Json", "veltrane-scene"},
      {"notes.txt", nullptr},
      {"archive.", nullptr},
      {"mesh.glb", "glTF"},
      {"mesh.GLTF", "glTF"},
      {"mesh.PLY", "PLY"},  // our own reader's, ahead of assimp
      {"part.Stl", "STL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const vhost::models::Format* format = FormatFor(c.path);
    if (c.format == nullptr) {
      EXPECT_EQ(format, nullptr);
    } else {
      ASSERT_NE(format, nullptr);
      EXPECT_EQ(format->name, c.format);
    }
  }
}

// --reader assimp: the entries that stand in for assimp step aside, and only
// those; a file our reader declines goes on to the next entry that takes it.
TEST(Registry, UsingAssimpSetsAsideOnlyTheReadersThatStandInForIt) {
  const bool assimp = FormatFor("mesh.fbx") != nullptr;
  vhost::models::UseReader("assimp");
  const vhost::models::Format* glb = FormatFor("mesh.glb");
  const vhost::models::Format* obj = FormatFor("mesh.obj");
  vhost::models::UseReader("");
  if (assimp) {
    ASSERT_NE(glb, nullptr);
    EXPECT_EQ(glb->name, "assimp");
  } else {
    EXPECT_EQ(glb, nullptr);
  }
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->name, "OBJ");
  EXPECT_EQ(FormatFor("mesh.glb")->name, "glTF");
}

TEST(Registry, TheFormatsTextNamesEveryExtensionThisBuildReads) {
  const std::string text = vhost::models::FormatsText();
  EXPECT_EQ(text.rfind("veltrane-host reads these extensions (in any case):\n", 0), 0u);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  for (const std::string& extension : vhost::SupportedExtensions()) {
    EXPECT_NE(text.find(" " + extension + (extension == ".obj" || extension == ".json" ? " " : "")),
              std::string::npos)
        << extension;
  }
  EXPECT_EQ(vhost::models::FormatsHelp().rfind("Formats: OBJ and veltrane-scene JSON", 0), 0u);
}

}  // namespace

// A folder walk takes a file a reader takes by its extension and claims by its
// content: only scenes among .json files, only Ogre meshes among .xml ones.
TEST(Registry, AWalkTakesOnlyTheFilesAReaderClaims) {
  const bool assimp = FormatFor("mesh.xml") != nullptr;
  const struct {
    std::string name;
    std::string text;
    bool taken;
  } cases[] = {
      {"a.json", R"({"format": "veltrane-scene", "version": 1, "objects": []})", true},
      {"b.json", R"({"version": 1, "objects": [[1, {"x": [2]}]], "format": "veltrane-scene"})",
       true},
      {"c.json", R"({"objects": [{"format": "veltrane-scene"}], "format": "other"})", false},
      {"d.json", R"({"name": "a package", "version": "1.0.0"})", false},
      {"e.json", R"({"format": {"is": "veltrane-scene"}})", false},
      {"f.json", R"(["veltrane-scene"])", false},
      {"g.json", R"({"format": "veltrane-scene")", true},  // says so before its fault
      {"h.json", "not json", false},
      {"i.json", "", false},
      {"j.obj", "v 0 0 0\n", true},
      {"noext", "v 0 0 0\n", false},  // named, it is read as OBJ; walked, it is nobody's
      {"k.xml", "<?xml version=\"1.0\"?>\n<mesh><submeshes/></mesh>\n", assimp},
      {"l.xml", "<settings/>\n", false},
  };
  // Through the library, not a shell: the Windows suites run where there is none.
  const std::string dir = testing::TempDir() + "veltrane-walk-takes/";
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir + c.name, std::ios::binary) << c.text;
    EXPECT_EQ(vhost::models::WalkTakes(dir + c.name), c.taken);
  }
  std::filesystem::remove_all(dir);
}
