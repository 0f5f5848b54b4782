// Which reader a path goes to, and the texts made from the readers' entries.
#include "host/models/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  const auto has = [](const std::string& extension) {
    const auto all = vhost::SupportedExtensions();
    return std::binary_search(all.begin(), all.end(), extension);
  };
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
      {"mesh.glb", has(".glb") ? "assimp" : nullptr},
      {"mesh.PLY", has(".ply") ? "assimp" : nullptr},
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
