// Joining vertices: only those the same to the bit in every attribute, numbered
// in the order in which each first appears.
#include "host/models/weld.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "host/models/exact_join.h"

namespace {

using vhost::models::VertexAttribute;
using vhost::models::Welded;

// Every join this build has: ours, which the readers use, and the library's
// where the build has it; both must give the same answers.
const struct Join {
  const char* name;
  Welded (*join)(std::size_t, const std::vector<VertexAttribute>&);
} kJoins[] = {
    {"WeldIdentical", vhost::models::WeldIdentical},
#if defined(VHOST_HAS_MESHOPTIMIZER)
    {"WeldByLibrary", vhost::models::WeldByLibrary},
#endif
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

// Many vertices drawn from few values, in the shapes the join lays out apart
// (positions alone, 12 bytes in a wider stride) and two attributes of odd sizes
// and strides: the table's collisions give the same answer as a plain map.
TEST(Weld, ManyVerticesJoinAsAMapOfTheirBytesWould) {
  constexpr std::size_t kCount = 100000;
  uint32_t state = 12345;
  const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 24; };
  std::vector<uint16_t> a(kCount * 3);  // 6 bytes a vertex, packed
  std::vector<uint8_t> b(kCount * 5);   // 3 bytes of a 5-byte stride
  std::vector<float> p(kCount * 4);     // 12 bytes of a 16-byte stride
  for (uint16_t& x : a) x = static_cast<uint16_t>(next() % 7);
  for (uint8_t& x : b) x = static_cast<uint8_t>(next() % 3);
  for (float& x : p) x = static_cast<float>(next() % 5);
  const struct {
    const char* what;
    std::vector<VertexAttribute> attributes;
  } shapes[] = {
      {"two attributes", {{a.data(), 6, 6}, {b.data(), 3, 5}}},
      {"positions alone", {{p.data(), 12, 16}}},
  };
  for (const auto& [name, join] : kJoins) {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(std::string(name) + ": " + shape.what);
      std::map<std::string, uint32_t> numbers;
      std::vector<uint32_t> expected;
      for (std::size_t v = 0; v < kCount; ++v) {
        std::string key;
        for (const VertexAttribute& at : shape.attributes) {
          key.append(static_cast<const char*>(at.data) + v * at.stride, at.size);
        }
        expected.push_back(
            numbers.emplace(key, static_cast<uint32_t>(numbers.size())).first->second);
      }
      const Welded welded = join(kCount, shape.attributes);
      EXPECT_EQ(welded.unique, numbers.size());
      EXPECT_EQ(welded.remap, expected);
      EXPECT_GT(welded.unique, 100u);  // many kinds, many of each
    }
  }
}

// The scanning join asked for room past what memory could hold refuses at
// once, as memory that runs out does: never a size that wraps (a 32-bit
// build's would) into a small table, or into a doubling without end.
TEST(ExactJoin, RoomPastWhatMemoryHoldsIsRefused) {
  const std::size_t most = std::numeric_limits<std::size_t>::max();
  for (const std::size_t keyBytes : {std::size_t{12}, std::size_t{28}}) {
    SCOPED_TRACE(keyBytes);
    vhost::models::ExactJoin join(keyBytes);
    EXPECT_THROW(join.Reserve(most / 2), std::bad_alloc);  // the table's size
    EXPECT_THROW(join.Reserve(most / 4), std::bad_alloc);  // the keys' bytes
    join.Reserve(16);
    const std::vector<unsigned char> key(keyBytes, 7);
    bool added = false;
    EXPECT_EQ(join.Join(key.data(), added), 0);
    EXPECT_TRUE(added);
    EXPECT_EQ(join.Join(key.data(), added), 0);
    EXPECT_FALSE(added);
  }
}

}  // namespace
