// Where the tool finds the plug-in it ships with, in the trees it runs from: a
// build tree and the Windows zip (beside it), an installed prefix (bin/ and
// lib/veltrane/), and the trees that hold both, neither, or a folder by the name.
#include "host/loader/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Tree {
  const char* name;
  std::vector<const char*> files;    // below the prefix, '/'-separated
  std::vector<const char*> folders;  // likewise
  const char* found;                 // the answer, below the prefix
};

TEST(FindShippedFile, BesideFirstThenLibVeltrane) {
  const Tree trees[] = {
      {"build tree", {"bin/Veltrane.so"}, {}, "bin/Veltrane.so"},
      {"installed", {"lib/veltrane/Veltrane.so"}, {}, "bin/../lib/veltrane/Veltrane.so"},
      {"both: beside wins", {"bin/Veltrane.so", "lib/veltrane/Veltrane.so"}, {}, "bin/Veltrane.so"},
      {"neither: the error names beside", {}, {"lib/veltrane"}, "bin/Veltrane.so"},
      {"a folder by the name is not it",
       {},
       {"bin/Veltrane.so", "lib/veltrane/Veltrane.so"},
       "bin/Veltrane.so"},
      {"a folder beside, the file installed",
       {"lib/veltrane/Veltrane.so"},
       {"bin/Veltrane.so"},
       "bin/../lib/veltrane/Veltrane.so"},
      {"another lib folder is not looked in",
       {"lib/Veltrane.so", "lib/other/Veltrane.so"},
       {},
       "bin/Veltrane.so"},
  };
  const fs::path root = fs::path(::testing::TempDir()) / "veltrane-shipped-file";
  int index = 0;
  for (const Tree& tree : trees) {
    SCOPED_TRACE(tree.name);
    const fs::path prefix = root / std::to_string(index++);
    fs::remove_all(prefix);
    fs::create_directories(prefix / "bin");
    for (const char* folder : tree.folders) fs::create_directories(prefix / fs::path(folder));
    for (const char* file : tree.files) {
      fs::create_directories((prefix / fs::path(file)).parent_path());
      std::ofstream(prefix / fs::path(file)) << "not a library";
    }
    const std::string found = vhost::FindShippedFile((prefix / "bin").string(), "Veltrane.so");
    EXPECT_EQ(fs::path(found).lexically_normal(),
              (prefix / fs::path(tree.found)).lexically_normal())
        << found;
  }
  fs::remove_all(root);
}

}  // namespace
