// Joining vertices: only those the same to the bit in every attribute, numbered
// in the order in which each first appears.
#include "host/models/weld.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using vhost::models::VertexAttribute;
using vhost::models::Welded;

// Every join this build has: the one the readers use (the library's where the
// build has it) and our own table; both must give the same answers.
const struct Join {
  const char* name;
  Welded (*join)(std::size_t, const std::vector<VertexAttribute>&);
} kJoins[] = {
    {"WeldIdentical", vhost::models::WeldIdentical},
    {"WeldByTable", vhost::models::WeldByTable},
};

TEST(Weld, JoinsOnlyVerticesTheSameToTheBit) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    std::vector<float> values;  // one float a vertex
    std::vector<uint32_t> remap;
  };
  const Case cases[] = {
      {"equal values join, first seen first numbered", {2, 1, 2, 1, 3}, {0, 1, 0, 1, 2}},
      {"a difference in the last bit keeps them apart",
       {0.5f, std::nextafter(0.5f, 1.0f), 0.5f},
       {0, 1, 0}},
      {"-0 and 0 compare equal as numbers, not as bits", {0.0f, -0.0f, 0.0f}, {0, 1, 0}},
      {"a NaN joins the same NaN", {nan, 1, nan}, {0, 1, 0}},
      {"one vertex, a count that is no multiple of three", {7}, {0}},
      {"no vertices", {}, {}},
  };
  for (const auto& [name, join] : kJoins) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + ": " + c.what);
      const auto welded = join(c.values.size(), {{c.values.data(), sizeof(float), sizeof(float)}});
      EXPECT_EQ(welded.remap, c.remap);
      uint32_t unique = 0;
      for (const uint32_t r : c.remap) unique = std::max(unique, r + 1);
      EXPECT_EQ(welded.unique, unique);
    }
  }
}

// Every attribute takes part: vertices equal in all but one stay apart, also
// past the 16 attributes meshoptimizer compares at once and past its 256 bytes
// a vertex (a mesh with 8 texture coordinate and 8 colour sets has 18).
TEST(Weld, EveryAttributeTakesPartHoweverMany) {
  for (const auto& [name, join] : kJoins) {
    for (const std::size_t count : {1u, 16u, 17u, 40u}) {
      SCOPED_TRACE(std::string(name) + ": " + std::to_string(count));
      // Three vertices of 16-byte attributes, interleaved: vertex 2 copies vertex
      // 0 but for the last attribute; vertex 1 copies vertex 0 whole.
      std::vector<float> data(3 * count * 4, 1.0f);
      data[2 * count * 4 + (count - 1) * 4 + 3] = 2.0f;
      std::vector<VertexAttribute> attributes;
      for (std::size_t a = 0; a < count; ++a) {
        attributes.push_back({&data[a * 4], 4 * sizeof(float), count * 4 * sizeof(float)});
      }
      const auto welded = join(3, attributes);
      EXPECT_EQ(welded.remap, (std::vector<uint32_t>{0, 0, 1}));
      EXPECT_EQ(welded.unique, 2u);
    }
  }
}

#if defined(VHOST_HAS_MESHOPTIMIZER)
// Many vertices drawn from few values, in two attributes of odd sizes and
// strides: the table's collisions give the library's answer.
TEST(Weld, OurTableGivesTheLibrarysAnswerOnManyVertices) {
  constexpr std::size_t kCount = 100000;
  std::vector<uint16_t> a(kCount * 3);  // 6 bytes a vertex, packed
  std::vector<uint8_t> b(kCount * 5);   // 3 bytes of a 5-byte stride
  uint32_t state = 12345;
  const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 24; };
  for (uint16_t& x : a) x = static_cast<uint16_t>(next() % 7);
  for (uint8_t& x : b) x = static_cast<uint8_t>(next() % 3);
  const std::vector<VertexAttribute> attributes{{a.data(), 6, 6}, {b.data(), 3, 5}};
  const Welded library = vhost::models::WeldIdentical(kCount, attributes);
  const Welded own = vhost::models::WeldByTable(kCount, attributes);
  EXPECT_EQ(own.unique, library.unique);
  EXPECT_EQ(own.remap, library.remap);
  EXPECT_GT(own.unique, 1000u);  // many kinds, many of each
  EXPECT_LT(own.unique, kCount);
}
#endif

}  // namespace
