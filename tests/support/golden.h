// Golden files: text a test compares with a checked-in file. Run a suite with
// VELTRANE_UPDATE_GOLDEN set to rewrite the files from what the code now makes,
// then review the diff before committing it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

// Expects `text` to equal the file at `path` byte for byte; a missing file fails
// and shows the text, so a new golden file can be made from the message too.
inline void ExpectGolden(const std::string& path, const std::string& text) {
  if (std::getenv("VELTRANE_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << "missing golden file " << path << "; the text is:\n" << text;
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(text, golden.str()) << "differs from " << path;
}

}  // namespace testing_support
