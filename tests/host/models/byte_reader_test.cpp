// The buffered reading the pre-import checks do: lines as std::getline splits
// them, and blocks that cross the reader's buffer whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/models/source_text.h"

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

}  // namespace
