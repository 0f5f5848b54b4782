// Wavefront OBJ files into documents: what each statement becomes, how objects
// split and get their own vertex lists, the lines the parser alone would misread,
// and faults reported with file and line while the document stays as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"
#include "tests/support/obj_fingerprint.h"
#include "tests/support/shapes.h"

namespace {

using namespace std::string_literals;
using testing_support::Count;
using vhost::Object;
using vhost::models::ObjThreads;

class ObjLoader : public testing_support::ModelFiles {
 protected:
  // Loads `content` as `name` into a fresh document.
  vhost::Document& Load(const std::string& content, const std::string& name = "model.obj") {
    vhost::LoadObj(Write(name, content), document);
    return document;
  }
  const Object& At(int32_t slot) const {
    const Object* object = document.At(slot);
    if (object == nullptr) throw std::runtime_error("slot " + std::to_string(slot) + " is empty");
    return *object;
  }

  vhost::Document document;
};

TEST_F(ObjLoader, StatementsBecomeFacesOfTheirSize) {
  Load(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
      "f 1 2 3\n"
      "f 1 2 3 4\n"
      "f 1 5 6 3 4 2\n"  // a hexagon stays one face
      "l 1 2 3 4\n"      // 4 points: 3 segments
      "p 5 6 1\n");      // 3 points of their own
  ASSERT_EQ(document.SlotCount(), 1);
  const auto t = Count(At(0));
  EXPECT_EQ(t.triangles, 1);
  EXPECT_EQ(t.quads, 1);
  EXPECT_EQ(t.ngons, 1);
  EXPECT_EQ(t.lines, 3);
  EXPECT_EQ(t.faces, 3 + 3 + 3);  // 1-point faces are faces too
  EXPECT_EQ(t.vertices, 6);
  // Faces first in file order, then segments, then points.
  EXPECT_EQ(At(0).FacePoints(2), (std::vector<int32_t>{0, 4, 5, 2, 3, 1}));
  EXPECT_EQ(At(0).FacePoints(3), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(At(0).FacePoints(5), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(At(0).FacePoints(6), (std::vector<int32_t>{4}));
  EXPECT_EQ(At(0).FacePoints(8), (std::vector<int32_t>{0}));
}

TEST_F(ObjLoader, ObjectsSplitAtOAndGEachWithTheVerticesItUses) {
  Load(
      "v 9 9 9\n"  // used by nobody
      "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
      "f 2 3 4\n"  // before any o/g: named after the file
      "o Body Shell\n"
      "v 5 0 0\nv 6 0 0\nv 5 1 0\nv 6 1 0\n"
      "f 5 6 8 7\n"
      "g left arm\n"  // several group names make one name
      "f 3 6 8\n"     // vertices of two earlier objects
      "o\n"           // nameless: no new object
      "l 2 3\n"
      "o empty\n",  // holds nothing: dropped
      "robot.obj");
  ASSERT_EQ(document.SlotCount(), 3);
  EXPECT_EQ(At(0).name, "robot");
  EXPECT_EQ(At(1).name, "Body Shell");
  EXPECT_EQ(At(2).name, "left arm");

  // Each object holds only what it uses, in file order, positions as written.
  EXPECT_EQ(At(0).VertexCount(), 3);
  EXPECT_EQ(At(1).VertexCount(), 4);
  EXPECT_DOUBLE_EQ(At(1).Position(0).x, 5);
  EXPECT_DOUBLE_EQ(At(1).Position(3).y, 1);
  const Object& arm = At(2);
  ASSERT_EQ(arm.VertexCount(), 4);  // file vertices 2, 3, 6, 8, though first met as 3, 6, 8, 2
  EXPECT_DOUBLE_EQ(arm.Position(0).x, 0);
  EXPECT_DOUBLE_EQ(arm.Position(1).x, 1);
  EXPECT_DOUBLE_EQ(arm.Position(2).x, 6);
  EXPECT_DOUBLE_EQ(arm.Position(3).y, 1);
  EXPECT_EQ(arm.FacePoints(0), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(arm.FacePoints(1), (std::vector<int32_t>{0, 1}));
}

TEST_F(ObjLoader, RelativeIndicesAndTextureAndNormalReferences) {
  Load(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\n"
      "f -3 -2 -1\n"
      "f 1/1 2/2 3/3\n"
      "f 1/1/1 2/2/1 3/3/-1\n"
      "f 1//1 +2//1 3//1\n"
      "v 0 1 0\n"
      "f -4 -3 -2 -1\n");  // counts back from the vertex just defined
  const auto t = Count(At(0));
  EXPECT_EQ(t.triangles, 4);
  EXPECT_EQ(t.quads, 1);
  EXPECT_EQ(t.vertices, 4);
  EXPECT_EQ(At(0).FacePoints(0), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(ObjLoader, PositionsAreTheDoublesNearestToWhatIsWritten) {
  Load(
      "v 0.3 -0.7 123456.789\n"    // no digit-by-digit sums: 0.3 is not 0.30000000000000004
      "v 0e9999 1e-400 -1e-400\n"  // zero written, zero read (not 0 times infinity)
      "v 1e400 -1e+400 +.5e1\n"
      "p 1 2 3\n");
  ASSERT_EQ(document.SlotCount(), 1);
  const Object& o = At(0);
  EXPECT_EQ(o.Position(0).x, 0.3);
  EXPECT_EQ(o.Position(0).y, -0.7);
  EXPECT_EQ(o.Position(0).z, 123456.789);
  EXPECT_EQ(o.Position(1).x, 0.0);
  EXPECT_EQ(o.Position(1).y, 0.0);
  EXPECT_TRUE(std::signbit(o.Position(1).z));
  EXPECT_EQ(o.Position(2).x, HUGE_VAL);
  EXPECT_EQ(o.Position(2).y, -HUGE_VAL);
  EXPECT_EQ(o.Position(2).z, 5.0);
}

// `v` and `f` at the start of a line take a fast path; a blank before them
// sends the same statement through the general one. Each file here must load
// alike both ways, or fail alike, at the same line with the same message.
TEST_F(ObjLoader, FastAndGeneralPathsReadEveryStatementAlike) {
  std::string longFace = "f";  // one past the points the fast path takes (64)
  for (int i = 1; i <= 65; ++i) longFace += " " + std::to_string(i % 3 + 1);
  struct File {
    std::string text;
    bool loads;  // or is refused
  };
  const File files[] = {
      // numbers either side of 15 digits, signs, points, zeros
      {"vt 0 0\nvn 0 0 1\n"
       "v 123456789012345 0.00000000000001 -0\n"
       "v 9007199254740993 1234567890.1234567 +.5\n"
       "v 5. -.25 0.1 1 0.5 0.25 0.125\n"
       "v 0.3 -0.7 123456.789\n"  // not digits times a power of ten
       // rounded twice where arithmetic is wider than a double (x87)
       "v 864.258547591688 5989.55995394304 9848.80418161947\n"
       "v\t1e3 2E-2 3\n"
       "f 1 2 3\nf 1/1 2/1 3/1\nf -1//1 -2//1 -3//1\n",
       true},
      {"vt 0 0\nvn 0 0 1\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
       "f 1/1/1 2/1/1 3/1/1\r\nf 3 2 1\rf 1 2 3 # a comment\nf 1 2 3",
       true},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\n" + longFace + "\n", true},
      // a continued statement, and a comment that a `\` ends
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 \\\n3\n# c \\\nf 1 2 3\n", true},
      // faults the fast path leaves to the general one
      {"v 0 0 0\nv 1 0 0\nf 1 2 3\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 0\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -4\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3/1\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3//\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\n", false},
      {"v 0 0\n", false},
      {"v 1 2 3 4 5 6 7 8\n", false},
      {"v 1 2 3x\n", false},
      {"v 1 2 --3\n", false},
      // a run of fast lines broken by a comment or a blank line (found by the
      // fuzzer: the face after it was once taken for the comment)
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n# c\nf 1 2 9\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n\nf 3 2 1\n  \nf 1 2 9\n", false},
      {"v 0 0 0\n# c\nv 1 0 0\n\nv 0 1 0\nf 1 2 3\n# c\nf 3 2 1\n", true},
      {"vt 1 2 3 4\n", false},
      {"vn 1 2\n", false},
      {"vn 1 2 3e\n", false},
  };
  for (const File& file : files) {
    SCOPED_TRACE(file.text);
    const std::string path = Write("model.obj", file.text);
    const std::string fast = testing_support::ObjLoadFingerprint(path);
    EXPECT_EQ(testing_support::ObjLoadFingerprint(path, ObjThreads::kTwo), fast);
    const std::string general = testing_support::ObjLoadFingerprint(
        Write("model.obj", testing_support::WithBlankStatementStarts(file.text)));
    EXPECT_EQ(fast, general);
    EXPECT_EQ(fast.rfind("fault", 0) != 0, file.loads) << fast;
  }
  // The blank-prefixed copy is itself what it claims to be.
  EXPECT_EQ(testing_support::WithBlankStatementStarts("\xEF\xBB\xBFv 1\r\nf \\\nx\rp"),
            "\xEF\xBB\xBF v 1\r\n f \\\nx\r p");
}

// Several megabytes of every kind of statement, fast and general, in objects
// and continued across lines (so across the blocks the file is read in).
std::string ManyBlocks() {
  std::string text = "# many blocks\nvt 0 0\nvn 0 0 1\n";
  uint32_t state = 12345;  // of a linear congruential generator
  const auto next = [&state](uint32_t below) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % below;
  };
  int vertices = 0;
  while (text.size() < (9u << 20)) {
    const uint32_t kind = next(20);
    const auto index = [&] { return std::to_string(1 + next(static_cast<uint32_t>(vertices))); };
    if (kind < 8 || vertices < 4) {
      text += kind == 0 ? "v 1e1 -2.5 3\n" : kind == 1 ? " v 0.3 0.7 1\r\n" : "v 1.5 -0.25 7\n";
      ++vertices;
    } else if (kind < 14) {
      text += "f " + index() + " " + index() + "/1 " + index() + "//1";
      text += kind == 13 ? " \\\n " + index() + "\n" : "\n";
    } else if (kind == 14) {
      text += "f -1 -2 -3 -4 # a quad\n";
    } else if (kind == 15) {
      text += "l " + index() + " " + index() + " " + index() + "\np " + index() + "\n";
    } else if (kind == 16 && next(200) == 0) {
      text += "o part " + std::to_string(text.size()) + "\n";
    } else if (kind == 17 && next(200) == 0) {
      text += "g a b\ns 1\nusemtl m\n";
    } else {
      text += "# " + std::string(next(100), 'c') + "\n";
    }
  }
  return text;
}

TEST_F(ObjLoader, ASecondThreadSplitsTheFileAsTheBuildingThreadWould) {
  const std::string text = ManyBlocks();
  const std::string whole = testing_support::ObjLoadFingerprint(Write("many.obj", text));
  ASSERT_EQ(whole.rfind("fault", 0), std::string::npos) << whole.substr(0, 200);
  EXPECT_EQ(testing_support::ObjLoadFingerprint(PathOf("many.obj"), ObjThreads::kOne), whole);
  EXPECT_EQ(testing_support::ObjLoadFingerprint(PathOf("many.obj"), ObjThreads::kTwo), whole);

  // Faults in later blocks, alone and with a NUL byte after them in the same
  // block or the next: the one read first is told, at its line.
  const std::size_t at = text.find('\n', (5u << 20) + 12345) + 1;
  const std::string fault = "f 1 2 99999999\n";
  const std::string faulty[] = {
      text.substr(0, at) + fault + text.substr(at),
      text.substr(0, at) + fault + text.substr(at, 1000) + '\0' + text.substr(at + 1000),
      text.substr(0, at) + fault + text.substr(at, 3u << 20) + '\0' + text.substr(at + (3u << 20)),
      text.substr(0, at) + "v " + std::string(65u << 20, '1') + "\n",
  };
  for (const std::string& bytes : faulty) {
    const std::string path = Write("faulty.obj", bytes);
    const std::string one = testing_support::ObjLoadFingerprint(path, ObjThreads::kOne);
    EXPECT_EQ(one.rfind("fault", 0), 0u);
    EXPECT_EQ(testing_support::ObjLoadFingerprint(path, ObjThreads::kTwo), one);
  }
}

TEST_F(ObjLoader, BytesFromMemoryReadAsTheSameBytesFromAFile) {
  // What a memory source is for: a reader's input without a file.
  const std::string many = ManyBlocks();
  const std::string texts[] = {
      "o a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\no b\nv 0 0 1\np 4\n",
      "v 0 0 0\nhello\n",
      many,
      many.substr(0, many.size() / 2) + "f 1 2 99999999\n",
  };
  const auto summary = [](const auto& read) {
    try {
      vhost::models::ObjFile file = read();
      vhost::Document document;
      file.MoveObjectsTo(document);
      std::string out;
      for (int32_t i = 0; i < document.SlotCount(); ++i) {
        const testing_support::Tally counts = Count(*document.At(i));
        out += document.At(i)->name + " " + std::to_string(document.At(i)->VertexCount()) + " " +
               std::to_string(counts.faces) + "\n";
      }
      return out;
    } catch (const vhost::ModelError& error) {
      return std::string("fault ") + error.what();
    }
  };
  for (const std::string& text : texts) {
    const std::string path = Write("source.obj", text);
    const std::string fromFile = summary([&] { return vhost::models::ObjFile::Read(path); });
    for (const ObjThreads threads : {ObjThreads::kOne, ObjThreads::kTwo}) {
      vhost::models::MemorySource memory(text);
      EXPECT_EQ(summary([&] { return vhost::models::ObjFile::Read(memory, path, {}, threads); }),
                fromFile)
          << text.substr(0, 80);
    }
  }
}

TEST_F(ObjLoader, ProgressComesOnTheCallersThreadAndMayStopASecondOne) {
  const std::string path = Write("many.obj", ManyBlocks());
  const auto caller = std::this_thread::get_id();
  int calls = 0;
  const vhost::LoadProgress told = [&](uint64_t, uint64_t) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    if (++calls == 3) throw std::runtime_error("cancelled");
  };
  const vhost::models::ProgressShare share(&told, 0, 1);
  EXPECT_THROW(vhost::models::ObjFile::Read(path, share, ObjThreads::kTwo), std::runtime_error);
  EXPECT_EQ(calls, 3);
}

TEST_F(ObjLoader, LinesTheParserAloneWouldMisread) {
  std::string big = "o big\n";
  std::string face = "f";
  for (int i = 1; i <= 300; ++i) {
    big += "v " + std::to_string(i) + " 0 0\n";
    face += " " + std::to_string(i);
  }
  Load(big + face +
       "\n"
       "g wire\n"      // a group of only lines
       "l    1 2 3\n"  // blanks before the first point
       "p\t \t4 # a trailing comment\n"
       "g dots\r\n"  // CRLF
       "p 5 6\r"     // a lone CR ends a line too
       "p 7\n");
  ASSERT_EQ(document.SlotCount(), 3);
  EXPECT_EQ(At(0).FacePointCount(0), 300);  // the parser alone keeps 8 bits of it
  EXPECT_EQ(At(1).name, "wire");
  EXPECT_EQ(Count(At(1)).lines, 2);
  EXPECT_EQ(Count(At(1)).faces, 3);
  EXPECT_EQ(Count(At(1)).vertices, 4);
  EXPECT_EQ(At(2).name, "dots");
  EXPECT_EQ(Count(At(2)).faces, 3);
}

TEST_F(ObjLoader, CommentsBlankLinesAndIgnoredStatements) {
  Load(
      "\xEF\xBB\xBF# exported by hand\n"
      "mtllib missing.mtl\n"
      "\n   \t\n"
      "v 0 0 0 1\nv 1 0 0 0.5 0.5 0.5\nv 1 1 0\n"
      "usemtl red\ns off\nmg 1\n"
      "f 1 2 3 # one face\n"
      "usemtl blue\n"  // no material splits an object
      "f 3 2 1\n");
  ASSERT_EQ(document.SlotCount(), 1);
  EXPECT_EQ(Count(At(0)).triangles, 2);
}

TEST_F(ObjLoader, AppendsAfterExistingSlotsAndMakesTheFirstNewObjectCurrent) {
  document.AddObject("already there");
  document.currentIndex = 0;
  Load("o a\nv 0 0 0\np 1\no b\np 1\n");
  ASSERT_EQ(document.SlotCount(), 3);
  EXPECT_EQ(document.currentIndex, 1);
  EXPECT_EQ(At(2).name, "b");
  EXPECT_EQ(At(2).document(), &document);

  // A file with no geometry adds nothing and leaves the current object alone.
  document.currentIndex = 2;
  Load("# nothing\nv 1 2 3\n");
  EXPECT_EQ(document.SlotCount(), 3);
  EXPECT_EQ(document.currentIndex, 2);
}

TEST_F(ObjLoader, ReportsProgressRisingToTheFileSize) {
  std::string text;
  while (text.size() < (5u << 20) / 2) text += "v 0.125 0.25 0.5\np -1\n";
  const std::string path = Write("large.obj", text);
  std::vector<uint64_t> done;
  vhost::LoadObj(path, document, [&](uint64_t d, uint64_t total) {
    EXPECT_EQ(total, text.size());
    done.push_back(d);
  });
  ASSERT_GE(done.size(), 2u);
  for (std::size_t i = 1; i < done.size(); ++i) EXPECT_GT(done[i], done[i - 1]);
  EXPECT_EQ(done.back(), text.size());
}

TEST_F(ObjLoader, ProgressThatThrowsAbandonsTheLoad) {
  std::string text = "o one\nv 0 0 0\np 1\n";
  while (text.size() < (3u << 20)) text += "v 1 2 3\np -1\n";
  const std::string path = Write("large.obj", text);
  document.AddObject("before");
  int calls = 0;
  const auto stop = [&](uint64_t, uint64_t) {
    if (++calls == 2) throw std::runtime_error("cancelled");
  };
  EXPECT_THROW(vhost::LoadObj(path, document, stop), std::runtime_error);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(document.SlotCount(), 1);
}

TEST_F(ObjLoader, FaultsNameFileAndLine) {
  const struct {
    std::string text;
    int64_t line;
    std::string message;
  } cases[] = {
      {"v 0 0 0\nv 1 0 0\nf 1 2 3\n", 3, "vertex index 3 in '3' is out of range: 2 defined so far"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 0 1 2\n", 4, "index 0"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf -1 -2 -4\n", 4, "relative vertex index -4"},
      {"v 0 0 0\nf 1 99999999999 1\n", 2, "out of range"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/1 2/1 3/1\n", 4, "texture coordinate index 1"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1//1 2//1 3//1\n", 4, "normal index 1"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/ 2 3\n", 4, "'1/' is not a vertex reference"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1/1 2 3\n", 6, "not a vertex reference"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 x\n", 4, "'x' is not a vertex reference"},
      {"v 0 0 0\nv 1 0 0\nf 1 2\n", 3, "a face (use 'l' for lines) needs at least 3 points"},
      {"v 0 0 0\nl 1\n", 2, "a line needs at least 2 points"},
      {"v 0 0 0\np\n", 2, "a point statement needs at least 1 point"},
      {"v 0 0\n", 1, "a vertex takes 3 to 7 numbers, not 2"},
      {"v 0 0 0\nv 1 2 abc\n", 2, "'abc' is not a number"},
      {"v 1e 0 0\n", 1, "'1e' is not a number"},
      {"v nan 0 0\n", 1, "'nan' is not a number"},
      {"v 0 0 0\nvn 0 1\n", 2, "a normal takes 3 numbers, not 2"},
      {"v 0 0 0\nhello world\n", 2, "unknown statement 'hello'"},
      // A piece of the file is quoted short, its control characters as '?'.
      {"v 0 0 0\nhel\x01lo\n", 2, "unknown statement 'hel?lo'"},
      {"v 0 0 0\n" + std::string(41, 'k') + "\n", 2,
       "unknown statement '" + std::string(40, 'k') + "...'"},
      {"v 0 0 0\ncurv 0 1 1\n", 2, "free-form geometry ('curv') is not supported"},
      {"v 0 0 0\nv 1 0 0\n\0\n"s, 3, "NUL byte"},
      // Lines end at CRLF and at a lone CR, as the parser ends them.
      {"v 0 0 0\r\nv 1 0 0\r\rv\r\n", 4, "a vertex takes"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExpectLoadError(Write("bad" + std::to_string(n++) + ".obj", c.text), c.line, c.message);
  }
}

TEST_F(ObjLoader, FaultsCarryTheirKindAndTheFileAtFault) {
  using Kind = vhost::ModelError::Kind;
  Write("bad.obj", "v 0 0 0\nhello\n");
  Write("inner.json", "{}");
  const auto scene = [](const std::string& file) {
    return "{\"format\": \"veltrane-scene\", \"version\": 1, \"objects\": [{\"file\": \"" + file +
           "\"}]}";
  };
  const struct {
    std::string load;
    std::string text;  // written unless empty
    std::string atFault;
    Kind kind;
  } cases[] = {
      {"none.obj", "", "none.obj", Kind::kCannotOpen},
      {"notes.txt", "text", "notes.txt", Kind::kUnsupported},
      {"bad.obj", "", "bad.obj", Kind::kSyntax},
      // A file the scene cannot have is the scene's fault; one it has, at fault, is its own.
      {"nested.json", scene("inner.json"), "nested.json", Kind::kSyntax},
      {"missing.json", scene("none.obj"), "missing.json", Kind::kSyntax},
      {"picks_bad.json", scene("bad.obj"), "bad.obj", Kind::kSyntax},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.load);
    const std::string path = c.text.empty() ? PathOf(c.load) : Write(c.load, c.text);
    try {
      vhost::Document document;
      vhost::LoadModel(path, document);
      ADD_FAILURE() << "loaded";
    } catch (const vhost::ModelError& error) {
      EXPECT_EQ(error.file(), PathOf(c.atFault)) << error.what();
      EXPECT_EQ(error.kind(), c.kind) << error.what();
    }
  }
}

TEST_F(ObjLoader, FaultsPastTheFirstMegabyteKeepTheirLine) {
  // The check runs in chunks of whole lines: a CRLF that straddles a chunk's end
  // must not count as two lines, and the count must go on across chunks.
  constexpr std::size_t kMegabyte = std::size_t{1} << 20;
  std::string text;
  while (text.size() + 9 <= kMegabyte - 8) text += "v 0 0 0\r\n";
  text += "v 0 0 0" + std::string(kMegabyte - text.size() - 1 - 7, ' ') + "\r\n";
  ASSERT_EQ(text[kMegabyte - 1], '\r');
  int64_t lines = 0;
  for (char c : text) lines += c == '\n';
  text += "v 1 1 1\r\nv 2 2 2\r\nf 1 2 x\r\n";
  ExpectLoadError(Write("large.obj", text), lines + 3, "'x'");
}

TEST_F(ObjLoader, ABackslashEndingALineContinuesItsStatement) {
  Load(
      "v 0 0 0\nv 1 \\\n0 0\n"
      "v 1 1 0\nv 0 1 0\n"
      "f 1 2 \\\r\n3 4\n"  // CRLF
      "f 1\\\r 2\\\n3\n"   // a lone CR; right after a number
      "# a comment is not continued \\\n"
      "p 1\n"
      "l 1 2 \\\n");  // continued onto the end of the file
  ASSERT_EQ(document.SlotCount(), 1);
  const auto t = Count(At(0));
  EXPECT_EQ(t.vertices, 4);
  EXPECT_DOUBLE_EQ(At(0).Position(1).x, 1);
  EXPECT_EQ(t.quads, 1);
  EXPECT_EQ(t.triangles, 1);
  EXPECT_EQ(t.lines, 1);
  EXPECT_EQ(t.faces, 4);

  // A fault in a continued statement is told at the line it starts on; the lines
  // after it keep their numbers; a NUL is told at its own line.
  ExpectLoadError(Write("bad1.obj", "v 0 0 0\nf 1 \\\n 1 \\\r\n 7\n"), 2, "vertex index 7");
  ExpectLoadError(Write("bad2.obj", "v 0 0 \\\n0\nv 1\\\n 1 1\nf 1 2 x\n"), 5, "'x'");
  ExpectLoadError(Write("bad3.obj", "v 0 0 \\\n\\\n0\\\n\0\n"s), 4, "NUL byte");
  ExpectLoadError(Write("bad4.obj", "v 0 0 0\np 1 # \\\n 1\n"), 3, "unknown statement '1'");
}

TEST_F(ObjLoader, AStatementContinuedAcrossTheFirstMegabyte) {
  // The file is read in chunks of a megabyte or so, each ending with a whole
  // statement: the line end of a continued line at a chunk's end is not one.
  constexpr std::size_t kMegabyte = std::size_t{1} << 20;
  for (const std::string lineEnd : {"\n", "\r\n"}) {
    SCOPED_TRACE(lineEnd.size());
    std::string text;
    while (text.size() + 16 <= kMegabyte) text += "v 0 0 0\n";
    int64_t lines = 0;
    for (char c : text) lines += c == '\n';
    text += "v 5 6";
    text += std::string(kMegabyte - 2 - text.size(), ' ') + "\\" + lineEnd;
    ASSERT_EQ(text[kMegabyte - 1], lineEnd[0]);
    text += "7\n";
    document = vhost::Document();
    Load(text + "p -1\n");
    ASSERT_EQ(document.SlotCount(), 1);
    ASSERT_EQ(At(0).VertexCount(), 1);
    EXPECT_DOUBLE_EQ(At(0).Position(0).x, 5);
    EXPECT_DOUBLE_EQ(At(0).Position(0).z, 7);
    ExpectLoadError(Write("bad.obj", text + "f 1 2 x\n"), lines + 3, "'x'");
  }
}

TEST_F(ObjLoader, ControlCharactersInTheFileNameShowEscapedInOneLine) {
  // file() keeps the name as it is, for callers; what() is one printable line.
  const std::string missing = PathOf("no\nsuch\x7f.obj");
  ExpectLoadError(missing, 0, "cannot open");
#if !defined(_WIN32)  // where a file name may hold a line end
  const std::string path = Write("two\nlines.obj", "v 0 0 0\nf 1 1 7\n");
  ExpectLoadError(path, 2, "vertex index 7");
  try {
    vhost::LoadObj(path, document);
  } catch (const vhost::ModelError& error) {
    EXPECT_NE(std::string(error.what()).find("two\\u000alines.obj:2: vertex index 7"),
              std::string::npos)
        << error.what();
  }
#endif
}

TEST_F(ObjLoader, FilesThatCannotBeRead) {
  ExpectLoadError(PathOf("missing.obj"), 0, "cannot open");
  ExpectLoadError(PathOf(""), 0, "cannot");  // a directory
}

}  // namespace
