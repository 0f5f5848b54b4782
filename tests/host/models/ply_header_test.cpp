// A PLY header read into what it declares, and the first flaw in it with its
// line: what a PLY reader and the checks before an import both go by.
#include "host/models/ply_header.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vhost::models::ByteReader;
using vhost::models::MemorySource;
using vhost::models::PlyFormat;
using vhost::models::PlyHeader;
using vhost::models::PlyHeaderFlaw;

// The header as one line of text, to compare whole.
std::string Describe(const PlyHeader& header) {
  static const char* const kFormats[] = {"unstated", "ascii", "le", "be", "other"};
  std::string out = kFormats[static_cast<int>(header.format)];
  for (const auto& element : header.elements) {
    out += "; " + element.name + " " + std::to_string(element.count) + "/" +
           std::to_string(element.countDigits) + " @" + std::to_string(element.line);
    for (const auto& p : element.properties) {
      out += p.list ? " [list " + p.countType + " " + p.type + " " + p.name + "]"
                    : " [" + p.type + " " + p.name + "]";
    }
  }
  if (header.flaw) {
    static const char* const kKinds[] = {"long line", "no end", "control", "no signature",
                                         "element",   "twice",  "count"};
    out += "; flaw " + std::string(kKinds[static_cast<int>(header.flaw->kind)]) + " @" +
           std::to_string(header.flaw->line) + " " + header.flaw->element;
  }
  return out;
}

TEST(PlyHeader, DeclarationsAndTheFirstFlawWithItsLine) {
  const std::string mesh =
      "ply\nformat ascii 1.0\ncomment made by hand\nelement vertex 3\nproperty float x\n"
      "property float y\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
  const struct {
    std::string bytes;
    std::string header;
  } cases[] = {
      {mesh,
       "ascii; vertex 3/1 @4 [float x] [float y]; face 1/1 @7 [list uchar int vertex_indices]"},
      {"ply\r\nformat binary_little_endian 1.0\r\nelement v 0\r\nend_header\r\n", "le; v 0/1 @3"},
      {"ply\nformat binary_big_endian 1.0\nend_header\n", "be"},
      {"ply\nformat ascii 1.0\nformat packed 2\nend_header\n", "other"},
      // Free text, a property before any element and a short one declare nothing.
      {"ply\nproperty float x\nhello there\nelement e 1\nproperty float\nproperty list uchar\n"
       "end_header\n",
       "unstated; e 1/1 @4 [list uchar  ]"},
      // Leading zeros are digits of the count as written; 2^64 - 1 is a count.
      {"ply\nelement a 0000000000007\nelement b 18446744073709551615\nend_header\n",
       "unstated; a 7/13 @2; b 18446744073709551615/20 @3"},
      {"", "unstated; flaw no end @1 "},
      {"ply\nend_header", "unstated; flaw no end @2 "},
      {"ply 1\nend_header\n", "unstated; flaw no signature @1 "},
      {"ply\nelement a 1\ncomment \x01\nend_header\n", "unstated; a 1/1 @2; flaw control @3 "},
      {"ply\ncomment \x7f\n", "unstated; flaw control @2 "},
      {"ply\nelement vertex\n", "unstated; flaw element @2 "},
      {"ply\nelement a 1\nelement a 2\n", "unstated; a 1/1 @2; flaw twice @3 a"},
      {"ply\nelement a -1\n", "unstated; flaw count @2 a"},
      {"ply\nelement a 1x\n", "unstated; flaw count @2 a"},
      {"ply\nelement a 18446744073709551616\n", "unstated; flaw count @2 a"},
      {"ply\ncomment " + std::string(1 << 16, 'x') + "\nend_header\n",
       "unstated; flaw long line @2 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 60));
    MemorySource source(c.bytes);
    ByteReader in(source);
    EXPECT_EQ(Describe(vhost::models::ReadPlyHeader(in)), c.header);
  }
}

TEST(PlyHeader, LeavesTheReaderAtTheBody) {
  const std::string body = "end_header\n\x01\x02 binary\n";
  const std::string bytes =
      "ply\nformat binary_little_endian 1.0\nelement a 1\nend_header\n" + body;
  MemorySource source(bytes);
  ByteReader in(source);
  const PlyHeader header = vhost::models::ReadPlyHeader(in);
  EXPECT_FALSE(header.flaw);
  EXPECT_TRUE(header.Binary());
  std::string rest(64, '\0');
  rest.resize(in.Read(rest.data(), rest.size()));
  EXPECT_EQ(rest, body);
}

}  // namespace
