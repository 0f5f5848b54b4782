// The buffered reading the pre-import checks do: lines as std::getline splits
// them, and blocks that cross the reader's buffer whole. A file's bytes read
// at once, mapped or not, and a mapped file cut short while it is read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/models/file_bytes.h"
#include "host/models/model_error.h"
#include "host/models/source_text.h"
#include "tests/host/models/model_files.h"

namespace {

using vhost::models::ByteReader;
using vhost::models::MemorySource;

TEST(ByteReader, LinesSplitAsGetlineSplitsThem) {
  const struct {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\nb", {"a", "b"}},
      {"\n\n", {"", ""}},
      {"x\r\ny\n", {"x\r", "y"}},
      {std::string(70000, 'k') + "\nz", {std::string(70000, 'k'), "z"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 10));
    MemorySource source(c.bytes);
    ByteReader reader(source);
    std::vector<std::string> lines;
    for (std::string line; reader.Line(line);) lines.push_back(line);
    EXPECT_EQ(lines, c.lines);
    char c2 = 0;
    EXPECT_FALSE(reader.Get(c2));
  }
}

TEST(ByteReader, BlocksAcrossTheBufferArriveWhole) {
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  MemorySource source(bytes);
  ByteReader reader(source);
  char first = 0;
  ASSERT_TRUE(reader.Get(first));
  std::string rest(bytes.size(), '\0');
  rest.resize(reader.Read(rest.data(), rest.size()));
  EXPECT_EQ(first + rest, bytes);
  EXPECT_EQ(reader.Read(rest.data(), 1), 0u);
}

using FileBytesTest = testing_support::ModelFiles;

// Small files are read, large ones mapped: either way the same bytes, and no
// change to report.
TEST_F(FileBytesTest, GivesTheFilesBytesWhateverItsSize) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{3} << 20}) {
    SCOPED_TRACE(size);
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    const std::string path = Write("bytes", content);
    const vhost::models::FileBytes bytes(path, uint64_t{1} << 30);
    EXPECT_TRUE(bytes.View() == content);
    EXPECT_NO_THROW(bytes.ThrowIfChanged());
  }
  EXPECT_THROW(vhost::models::FileBytes(PathOf("missing"), 100), vhost::ModelError);
  EXPECT_THROW(vhost::models::FileBytes(Write("big", std::string(2 << 20, 'x')), 1 << 20),
               vhost::ModelError);
}

#if !defined(_WIN32)
// Another process cuts the file short while it is mapped: its pages past the
// new end read as zeros instead of stopping the tool with SIGBUS, and the read
// is refused as a file that changed.
TEST_F(FileBytesTest, AFileCutShortWhileMappedIsAnErrorNotACrash) {
  const std::string path = Write("cut", std::string(4 << 20, 'x'));
  const vhost::models::FileBytes bytes(path, uint64_t{1} << 30);
  ASSERT_EQ(bytes.View().size(), std::size_t{4} << 20);
  std::filesystem::resize_file(path, 1 << 20);
  EXPECT_EQ(bytes.View()[(1 << 20) - 1], 'x');
  EXPECT_EQ(bytes.View()[(3 << 20) + 5], '\0');
  try {
    bytes.ThrowIfChanged();
    ADD_FAILURE() << "no change reported";
  } catch (const vhost::ModelError& error) {
    EXPECT_NE(std::string(error.what()).find("changed while it was read"), std::string::npos);
  }
}
#endif

}  // namespace
