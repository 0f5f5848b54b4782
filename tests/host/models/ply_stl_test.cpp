// Our PLY and STL readers: every encoding of each file kind counted alike, and
// every fault of each encoding refused by place with the document untouched.
// The files are written here; their counts are worked out from what is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"
#include "tests/support/shapes.h"

namespace {

// --- Writing PLY ---------------------------------------------------------------

enum class Encoding { kAscii, kLittle, kBig };
const char* FormatName(Encoding e) {
  return e == Encoding::kAscii    ? "ascii"
         : e == Encoding::kLittle ? "binary_little_endian"
                                  : "binary_big_endian";
}

// An element: its name, its property lines ("float x", "list uchar int
// vertex_indices") and its records, each the values in property order with a
// list's size before its items.
struct Element {
  std::string name;
  std::vector<std::string> properties;
  std::vector<std::vector<double>> records;
};

template <typename T>
void Put(std::string& out, double value, bool big) {
  const T typed = static_cast<T>(value);
  char bytes[sizeof(T)];
  std::memcpy(bytes, &typed, sizeof(T));
  if (big) std::reverse(bytes, bytes + sizeof(T));
  out.append(bytes, sizeof(T));
}

void PutTyped(std::string& out, const std::string& type, double value, bool big) {
  if (type == "char") Put<int8_t>(out, value, big);
  if (type == "uchar") Put<uint8_t>(out, value, big);
  if (type == "short") Put<int16_t>(out, value, big);
  if (type == "ushort") Put<uint16_t>(out, value, big);
  if (type == "int") Put<int32_t>(out, value, big);
  if (type == "uint") Put<uint32_t>(out, value, big);
  if (type == "float") Put<float>(out, value, big);
  if (type == "double") Put<double>(out, value, big);
}

std::string Words(const std::string& line, std::size_t i) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : line + " ") {
    if (c != ' ') {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return i < words.size() ? words[i] : "";
}

std::string Ply(Encoding encoding, const std::vector<Element>& elements) {
  std::string text = "ply\nformat " + std::string(FormatName(encoding)) + " 1.0\ncomment test\n";
  for (const Element& e : elements) {
    text += "element " + e.name + " " + std::to_string(e.records.size()) + "\n";
    for (const std::string& p : e.properties) text += "property " + p + "\n";
  }
  text += "end_header\n";
  const bool big = encoding == Encoding::kBig;
  for (const Element& e : elements) {
    // Each property's types: a list's size and item types, else its type twice.
    std::vector<std::array<std::string, 2>> types;
    std::vector<bool> lists;
    for (const std::string& p : e.properties) {
      lists.push_back(Words(p, 0) == "list");
      types.push_back(lists.back() ? std::array<std::string, 2>{Words(p, 1), Words(p, 2)}
                                   : std::array<std::string, 2>{Words(p, 0), Words(p, 0)});
    }
    for (const std::vector<double>& record : e.records) {
      std::size_t at = 0;
      std::string line;
      for (std::size_t k = 0; k < e.properties.size(); ++k) {
        const bool list = lists[k];
        // A list's size, then its items (none for a negative size).
        const double first = record.at(at);
        const std::size_t values = list ? 1 + static_cast<std::size_t>(std::max(0.0, first)) : 1;
        for (std::size_t i = 0; i < values; ++i, ++at) {
          const std::string& type = types[k][i == 0 ? 0 : 1];
          if (encoding == Encoding::kAscii) {
            char number[64];
            std::snprintf(number, sizeof number, "%.17g ", record.at(at));
            line += number;
          } else {
            PutTyped(text, type, record.at(at), big);
          }
        }
      }
      if (encoding == Encoding::kAscii) text += line + "\n";
    }
  }
  return text;
}

const std::vector<std::string> kXyz = {"float x", "float y", "float z"};
const std::vector<std::vector<double>> kCubeVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                        {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
const std::vector<std::vector<double>> kCubeFaces = {{4, 0, 3, 2, 1}, {4, 4, 5, 6, 7},
                                                     {4, 0, 1, 5, 4}, {4, 1, 2, 6, 5},
                                                     {4, 2, 3, 7, 6}, {4, 3, 0, 4, 7}};
Element CubeVertices() { return {"vertex", kXyz, kCubeVertices}; }
Element CubeFaces(const std::string& list = "list uchar int vertex_indices") {
  return {"face", {list}, kCubeFaces};
}

class PlyStl : public testing_support::ModelFiles {
 protected:
  // Loads `path` into a document of one object and tallies it.
  testing_support::Tally Load(const std::string& path, std::string* name = nullptr) {
    vhost::Document document;
    vhost::LoadModel(path, document);
    EXPECT_EQ(document.SlotCount(), 1) << path;
    if (document.SlotCount() < 1) return {};
    if (name != nullptr) *name = document.At(0)->name;
    return testing_support::Count(*document.At(0));
  }
};

struct Expected {
  int32_t vertices, points, lines, triangles, quads, ngons;
};
void ExpectTally(const testing_support::Tally& t, const Expected& e, const std::string& what) {
  EXPECT_EQ(t.vertices, e.vertices) << what;
  EXPECT_EQ(t.faces - t.lines - t.triangles - t.quads - t.ngons, e.points) << what;
  EXPECT_EQ(t.lines, e.lines) << what;
  EXPECT_EQ(t.triangles, e.triangles) << what;
  EXPECT_EQ(t.quads, e.quads) << what;
  EXPECT_EQ(t.ngons, e.ngons) << what;
}

const Encoding kEncodings[] = {Encoding::kAscii, Encoding::kLittle, Encoding::kBig};

TEST_F(PlyStl, EveryPlyEncodingCountsEachKindOfFileAlike) {
  // Vertices that differ only in a property that is no part of a vertex
  // (quality) join; one that differs in its normal, uv or colour stays apart.
  const std::vector<std::string> attributes = {
      "float x", "float y", "float z",   "float nx",    "float ny",   "float nz",
      "float u", "float v", "uchar red", "uchar green", "uchar blue", "float quality"};
  std::vector<std::vector<double>> attributed;
  for (const auto& p : kCubeVertices) {
    attributed.push_back({p[0], p[1], p[2], 0, 0, 1, 0.5, 0.5, 10, 20, 30, 1});
  }
  attributed.push_back({0, 0, 0, 0, 0, 1, 0.5, 0.5, 10, 20, 30, 99});  // 8 = 0
  attributed.push_back({1, 0, 0, 1, 0, 0, 0.5, 0.5, 10, 20, 30, 1});   // normal
  attributed.push_back({1, 1, 0, 0, 0, 1, 0.25, 0.5, 10, 20, 30, 1});  // uv
  attributed.push_back({0, 1, 0, 0, 0, 1, 0.5, 0.5, 11, 20, 30, 1});   // colour
  std::vector<std::vector<double>> attributedFaces = kCubeFaces;
  attributedFaces.push_back({3, 8, 9, 10});
  attributedFaces.push_back({3, 11, 9, 10});

  std::vector<std::vector<double>> doubled = kCubeVertices;
  doubled.insert(doubled.end(), kCubeVertices.begin(), kCubeVertices.end());
  std::vector<std::vector<double>> doubledFaces = kCubeFaces;
  for (auto f : kCubeFaces) {
    for (std::size_t i = 1; i < f.size(); ++i) f[i] += 8;
    doubledFaces.push_back(f);
  }
  std::vector<std::vector<double>> cloud = kCubeVertices;
  cloud.push_back({0, 0, 0});  // a point of its own, on a joined vertex

  std::vector<std::vector<double>> withExtras;  // double positions, a flag and a list between
  for (std::size_t i = 0; i < kCubeVertices.size(); ++i) {
    const auto& p = kCubeVertices[i];
    withExtras.push_back({p[0] + 1e-12, static_cast<double>(i), p[1], p[2], 2, 7, 8});
  }

  struct Case {
    const char* name;
    std::vector<Element> elements;
    Expected expected;
  };
  const std::vector<Case> cases = {
      {"cube", {CubeVertices(), CubeFaces()}, {8, 0, 0, 0, 6, 0}},
      {"vertex_index, ushort",
       {CubeVertices(), CubeFaces("list ushort uint vertex_index")},
       {8, 0, 0, 0, 6, 0}},
      {"faces of 1 to 7 points",
       {CubeVertices(),
        {"face",
         {"list int ushort vertex_indices"},
         {{1, 0},
          {2, 1, 2},
          {3, 0, 1, 2},
          {4, 0, 1, 2, 3},
          {5, 0, 1, 2, 3, 4},
          {7, 0, 1, 2, 3, 4, 5, 6}}}},
       {7, 1, 1, 1, 1, 2}},
      {"attributes",
       {{"vertex", attributes, attributed},
        {"face", {"list uchar uint vertex_indices"}, attributedFaces}},
       {11, 0, 0, 2, 6, 0}},
      {"stored twice",
       {{"vertex", kXyz, doubled}, {"face", {"list uchar int vertex_indices"}, doubledFaces}},
       {8, 0, 0, 0, 12, 0}},
      {"point cloud", {{"vertex", kXyz, cloud}}, {8, 9, 0, 0, 0, 0}},
      {"double positions and extra properties",
       {{"vertex",
         {"double x", "uchar flags", "double y", "double z", "list uchar short extra"},
         withExtras},
        CubeFaces()},
       {8, 0, 0, 0, 6, 0}},
      {"other elements around",
       {{"camera", {"float view", "list uchar float k"}, {{1, 2, 3, 4}}},
        CubeVertices(),
        CubeFaces(),
        {"material", {"uchar ambient_red"}, {{1}}}},
       {8, 0, 0, 0, 6, 0}},
      {"faces before vertices", {CubeFaces(), CubeVertices()}, {8, 0, 0, 0, 6, 0}},
      // Read as stored: an edge is a 2-point face, a strip n-2 triangles, -1
      // starting the next.
      {"edges",
       {CubeVertices(), {"edge", {"int vertex1", "int vertex2"}, {{0, 1}, {1, 2}, {2, 3}}}},
       {4, 0, 3, 0, 0, 0}},
      {"strips",
       {CubeVertices(),
        {"tristrips", {"list int int vertex_indices"}, {{10, 0, 1, 3, 2, -1, 4, 5, 7, 6, 5}}}},
       {8, 0, 0, 5, 0, 0}},
  };
  for (const Case& c : cases) {
    for (const Encoding encoding : kEncodings) {
      const std::string what = std::string(c.name) + ", " + FormatName(encoding);
      std::string name;
      ExpectTally(Load(Write("model.ply", Ply(encoding, c.elements)), &name), c.expected, what);
      EXPECT_EQ(name, "model/mesh 0") << what;
    }
  }
}

TEST_F(PlyStl, EveryPlyFaultIsRefusedByItsElementAndPlace) {
  const std::string cube = Ply(Encoding::kAscii, {CubeVertices(), CubeFaces()});
  const std::size_t body = cube.find("end_header\n") + 11;
  struct Case {
    const char* name;
    Encoding encoding;
    std::vector<Element> elements;
    int64_t line;  // of a text body
    const char* message;
  };
  const Element pastFaces = {
      "face", {"list uchar int vertex_indices"}, {{3, 0, 1, 2}, {3, 0, 1, 8}}};
  const Element negativeIndex = {"face", {"list uchar int vertex_indices"}, {{3, 0, -1, 2}}};
  const Element negativeSize = {"face", {"list int int vertex_indices"}, {{3, 0, 1, 2}, {-1}}};
  const Element noFaces = {"face", {"list uchar int vertex_indices"}, {{0}}};
  std::vector<Case> cases;
  for (const Encoding e : kEncodings) {
    const bool text = e == Encoding::kAscii;
    cases.push_back({"index past",
                     e,
                     {CubeVertices(), pastFaces},
                     text ? 20 : 0,
                     "element face 2: index 8 past the 8 vertices"});
    cases.push_back({"negative index",
                     e,
                     {CubeVertices(), negativeIndex},
                     text ? 19 : 0,
                     "element face 1: index -1 past the 8 vertices"});
    cases.push_back({"no points",
                     e,
                     {CubeVertices(), noFaces},
                     text ? 19 : 0,
                     "element face 1: a face of no points"});
    if (!text) {
      cases.push_back({"negative size",
                       e,
                       {CubeVertices(), negativeSize},
                       0,
                       "element face 2: a list of negative size (-1)"});
    }
  }
  for (const Case& c : cases) {
    ExpectLoadError(Write("fault.ply", Ply(c.encoding, c.elements)), c.line, c.message);
  }
  // Bodies that do not hold what the header declares, in each encoding.
  for (const Encoding e : kEncodings) {
    const bool text = e == Encoding::kAscii;
    const std::string whole = Ply(e, {CubeVertices(), CubeFaces()});
    const std::size_t start = whole.find("end_header\n") + 11;
    ExpectLoadError(Write("short.ply", whole.substr(0, whole.size() - 3)), text ? 24 : 0,
                    text ? "element face 6: fewer values" : "element face 6: the file ends");
    ExpectLoadError(Write("cut.ply", whole.substr(0, start + 20)), text ? 13 : 0,
                    text ? "element vertex 4: the file ends" : "element vertex 2: the file ends");
    ExpectLoadError(Write("long.ply", whole + (text ? "3 0 1 2\n" : "xyz")), text ? 25 : 0,
                    text ? "text after the last record" : "3 bytes after the last record");
  }
  // Text that is no number of its property's type, or too many of them.
  const auto edit = [&](const std::string& from, const std::string& to) {
    std::string text = cube;
    text.replace(text.find(from, body), from.size(), to);
    return text;
  };
  ExpectLoadError(Write("garbage.ply", edit("1 0 0", "1 zero 0")), 12,
                  "element vertex 2: \"zero\" is no float value of property \"y\"");
  ExpectLoadError(Write("extra.ply", edit("1 0 0", "1 0 0 5")), 12,
                  "element vertex 2: more values on the line");
  ExpectLoadError(Write("big.ply", edit("4 0 3 2 1", "4 0 3 2 1e3")), 19,
                  "element face 1: \"1e3\" is no int value");
  ExpectLoadError(Write("size.ply", edit("4 0 3 2 1", "300 0 3 2 1")), 19,
                  "element face 1: \"300\" is no list size");
  // Headers that lie or declare what no reader can read.
  const auto header = [&](const std::string& from, const std::string& to) {
    std::string text = cube;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  ExpectLoadError(Write("format.ply", header("format ascii", "format utf8")), 10,
                  "the format is none of");
  ExpectLoadError(Write("type.ply", header("float x", "real x")), 5,
                  "property \"x\" of element \"vertex\": \"real\" is no PLY type");
  ExpectLoadError(Write("signature.ply", header("ply\n", "plx\n")), 1, "no PLY header");
  ExpectLoadError(Write("novertex.ply", header("element vertex", "element point")), 10,
                  "the header declares no vertex element");
  ExpectLoadError(Write("nolist.ply", header("vertex_indices", "corners")), 8,
                  "element \"face\" has no vertex_indices list");
}

// --- STL -----------------------------------------------------------------------

using Facet = std::array<std::array<float, 3>, 3>;
const std::vector<Facet> kTetra = {{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
                                   {{{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
                                   {{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}},
                                   {{{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}}};

std::string StlText(const std::vector<std::pair<std::string, std::vector<Facet>>>& solids,
                    const std::string& lineEnd = "\n") {
  std::string text;
  for (const auto& [name, facets] : solids) {
    text += "solid" + (name.empty() ? "" : " " + name) + lineEnd;
    for (const Facet& f : facets) {
      text += "  facet normal 0 0 1" + lineEnd + "    outer loop" + lineEnd;
      for (const auto& v : f) {
        char corner[96];
        std::snprintf(corner, sizeof corner, "      vertex %.9g %.9g %.9g", v[0], v[1], v[2]);
        text += corner + lineEnd;
      }
      text += "    endloop" + lineEnd + "  endfacet" + lineEnd;
    }
    text += "endsolid" + (name.empty() ? "" : " " + name) + lineEnd;
  }
  return text;
}

// Binary faces of one uchar-sized list of int or uint indices, in this
// machine's byte order, are read many at a time from the scan's block; every
// other layout a record at a time. Both count alike across the ends of what is
// taken at once (64 KiB) and of the scan's block (1 MiB), and a fault is named
// by its record as the record-at-a-time reading names it.
TEST_F(PlyStl, FacesReadManyAtATimeCountAndFailAsOneAtATime) {
  // 13 bytes a triangle, 12 a vertex: 1.5 MB, the faces starting 0.7 MB in.
  constexpr int kTriangles = 60000;
  std::vector<std::vector<double>> vertices;
  std::vector<std::vector<double>> strip;
  for (int i = 0; i < kTriangles + 2; ++i) vertices.push_back({double(i), double(i % 2), 0});
  for (int i = 0; i < kTriangles; ++i)
    strip.push_back({3, double(i), double(i + 1), double(i + 2)});
  std::vector<std::vector<double>> past = strip;
  past[50000][2] = kTriangles + 2;
  std::vector<std::vector<double>> none = strip;
  none[40000] = {0};
  for (const char* list : {"list uchar int vertex_indices", "list uchar uint vertex_indices",
                           "list ushort int vertex_indices"}) {
    for (const Encoding e : {Encoding::kLittle, Encoding::kBig}) {
      const std::string what = std::string(list) + ", " + FormatName(e);
      SCOPED_TRACE(what);
      const auto file = [&](const std::vector<std::vector<double>>& faces) {
        return Ply(e, {{"vertex", kXyz, vertices}, {"face", {list}, faces}});
      };
      ExpectTally(Load(Write("strip.ply", file(strip))), {kTriangles + 2, 0, 0, kTriangles, 0, 0},
                  what);
      ExpectLoadError(Write("past.ply", file(past)), 0,
                      "element face 50001: index 60002 past the 60002 vertices");
      ExpectLoadError(Write("none.ply", file(none)), 0, "element face 40001: a face of no points");
      const std::string whole = file(strip);
      ExpectLoadError(Write("cut.ply", whole.substr(0, whole.size() - 5)), 0,
                      "element face 60000: the file ends");
    }
  }
  // A uint index past 2^31 is named by its value, not as a negative number.
  ExpectLoadError(
      Write("large.ply", Ply(Encoding::kLittle, {CubeVertices(),
                                                 {"face",
                                                  {"list uchar uint vertex_indices"},
                                                  {{3, 0, 1, 2}, {3, 0, 1, 4294967295.0}}}})),
      0, "element face 2: index 4294967295 past the 8 vertices");
}

std::string StlBinary(const std::vector<Facet>& facets, const std::string& header = "binary",
                      const std::vector<uint16_t>& attributes = {}) {
  std::string bytes = header;
  bytes.resize(80, ' ');
  const auto count = static_cast<uint32_t>(facets.size());
  bytes.append(reinterpret_cast<const char*>(&count), 4);
  for (std::size_t i = 0; i < facets.size(); ++i) {
    const float normal[3] = {0, 0, 1};
    bytes.append(reinterpret_cast<const char*>(normal), 12);
    for (const auto& v : facets[i]) bytes.append(reinterpret_cast<const char*>(v.data()), 12);
    const uint16_t attribute = i < attributes.size() ? attributes[i] : 0;
    bytes.append(reinterpret_cast<const char*>(&attribute), 2);
  }
  return bytes;
}

TEST_F(PlyStl, StlFilesOfEachEncodingJoinCornersByPosition) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* object;
    int32_t vertices;
  };
  const std::vector<Case> cases = {
      {"text", StlText({{"tetra", kTetra}}), "tetra/tetra", 4},
      {"text, CRLF", StlText({{"tetra", kTetra}}, "\r\n"), "tetra/tetra", 4},
      {"text, nameless", StlText({{"", kTetra}}), "model/mesh 0", 4},
      {"binary", StlBinary(kTetra), "model/mesh 0", 4},
      {"binary, header starting with solid", StlBinary(kTetra, "solid but binary"), "model/mesh 0",
       4},
      // Facets of two colours: the corners they share are two vertices each.
      {"binary, coloured", StlBinary(kTetra, "binary", {0x8000, 0x8000, 0x8001, 0x8001}),
       "model/mesh 0", 8},
      {"binary, some coloured", StlBinary(kTetra, "binary", {0x8000, 0, 0, 0}), "model/mesh 0", 7},
      // A colour first met after plain corners were joined by position alone.
      {"binary, coloured last", StlBinary(kTetra, "binary", {0, 0, 0, 0x8000}), "model/mesh 0", 7},
      {"binary, coloured between", StlBinary(kTetra, "binary", {0, 0x8001, 0x8001, 0}),
       "model/mesh 0", 8},
  };
  for (const Case& c : cases) {
    std::string name;
    ExpectTally(Load(Write("model.stl", c.bytes), &name), {c.vertices, 0, 0, 4, 0, 0}, c.name);
    EXPECT_EQ(name, c.object) << c.name;
  }
  // Solids are objects of their own; an empty one is none.
  vhost::Document document;
  vhost::LoadModel(Write("solids.stl", StlText({{"a", kTetra}, {"empty", {}}, {"", {kTetra[0]}}})),
                   document);
  ASSERT_EQ(document.SlotCount(), 2);
  EXPECT_EQ(document.At(0)->name, "a/a");
  EXPECT_EQ(document.At(1)->name, "solids/mesh 2");
  EXPECT_EQ(testing_support::Count(*document.At(1)).triangles, 1);
}

TEST_F(PlyStl, EveryStlFaultIsRefusedByPlace) {
  const std::string text = StlText({{"t", kTetra}});
  const auto edit = [&](const std::string& from, const std::string& to) {
    std::string edited = text;
    edited.replace(edited.find(from), from.size(), to);
    return edited;
  };
  struct Case {
    const char* name;
    std::string bytes;
    int64_t line;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"garbage number", edit("vertex 1 0 0", "vertex 1 O 0"), 5, "\"O\" is no number"},
      {"four corners", edit("endloop", "vertex 1 1 1\n endloop"), 7,
       "a facet of more than 3 corners"},
      {"two corners", edit("      vertex 0 1 0\n", ""), 6, "a facet of fewer than 3 corners"},
      {"no endsolid", text.substr(0, text.rfind("endsolid")), 1, "has no \"endsolid\""},
      {"garbage after", text + "junk\n", 31, "\"junk\" where a solid should start"},
      {"no outer loop", edit("outer loop", "outer"), 4, "\"vertex\" where \"loop\" should follow"},
      {"binary cut short", StlBinary(kTetra).substr(0, 84 + 50 * 3 + 10), 0,
       "its count of 4 facets makes 284 bytes, not the 244"},
      {"binary with bytes over", StlBinary(kTetra) + "xx", 0, "makes 284 bytes, not the 286"},
      {"neither", std::string("PK\3\4 a zip file"), 0, "too short for binary"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectLoadError(Write("fault.stl", c.bytes), c.line, c.message);
  }
}

TEST_F(PlyStl, ProgressReachesTheFilesSize) {
  std::vector<Facet> many;
  for (int i = 0; i < 40000; ++i) {
    many.push_back({{{static_cast<float>(i), 0, 0}, {static_cast<float>(i), 1, 0}, {0, 0, 1}}});
  }
  const std::string path = Write("many.stl", StlBinary(many));
  uint64_t last = 0;
  uint64_t total = 0;
  int calls = 0;
  vhost::Document document;
  vhost::LoadModel(path, document, [&](uint64_t done, uint64_t of) {
    EXPECT_GE(done, last);
    last = done;
    total = of;
    ++calls;
  });
  EXPECT_GE(calls, 2);
  EXPECT_EQ(last, total);
  EXPECT_EQ(total, 84u + 50u * 40000u);
  EXPECT_EQ(testing_support::Count(*document.At(0)).vertices, 80001);
}

}  // namespace
