// Files assimp's own readers cannot survive, refused before assimp sees them.
// PLY: a header that never ends (assimp's reader would read past the end of such
// a file forever), one that declares an element twice (on which assimp corrupts
// its heap); the headers that do end, however their last line is spelled, still
// load. OFF: lines assimp's two passes over the faces read differently (it then
// writes past its arrays) and faces it would drop; well-formed files still load.
#include "host/models/assimp/assimp_guards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "host/models/assimp/assimp_file.h"
#include "host/models/models.h"
#include "tests/host/models/model_files.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <thread>
#endif

namespace {

const std::string kHeaderStart =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\n";
const std::string kBody = "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";

// Model files of one extension, skipped in a build that reads none.
// Loads `path` through assimp whatever reader its extension has (PLY has one
// of our own now, which a user gets back with --reader assimp): the checks
// before an import are what these suites are about. All or nothing, as a load.
void LoadThroughAssimp(const std::string& path, vhost::Document& document) {
  vhost::models::NamingOutOfMemory(path, [&] {
    const auto file = vhost::models::ReadAssimpFile(path, {});
    const int32_t first = document.SlotCount();
    const bool loaded = file->ObjectCount() > 0;
    file->MoveObjectsTo(document);
    if (loaded) document.currentIndex = first;
  });
}

class ReaderOf : public testing_support::ModelFiles {
 protected:
  explicit ReaderOf(std::string extension) : extension_(std::move(extension)) {}
  void LoadInto(const std::string& path, vhost::Document& document) const override {
    LoadThroughAssimp(path, document);
  }
  void SetUp() override {
    const auto extensions = vhost::SupportedExtensions();
    if (std::find(extensions.begin(), extensions.end(), extension_) == extensions.end()) {
      GTEST_SKIP() << "this build reads no " << extension_ << " files";
    }
    ModelFiles::SetUp();
  }

 private:
  std::string extension_;
};

class AssimpPly : public ReaderOf {
 protected:
  AssimpPly() : ReaderOf(".ply") {}
};

#if !defined(_WIN32)
// Loads `path` in a child process, so that a load that never returns fails the
// test instead of hanging it: true when the child saw a ModelError holding
// `message` within the time a small file takes many times over.
bool RefusedInTime(const std::string& path, const std::string& message) {
  const pid_t child = fork();
  if (child == 0) {
    int code = 1;
    try {
      vhost::Document document;
      LoadThroughAssimp(path, document);
    } catch (const vhost::ModelError& error) {
      code = std::string(error.what()).find(message) != std::string::npos ? 0 : 2;
    } catch (...) {
      code = 3;
    }
    _exit(code);
  }
  if (child < 0) return false;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << path << ": still loading after 20 s";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(AssimpPly, AHeaderWithoutItsEndIsRefusedNotReadForever) {
  const std::string message = "the PLY header has no end_header line";
  // No end at all; the word only inside a comment, glued to more letters, or
  // ending the file without a line end (assimp reads none of these as the end).
  for (const std::string& last :
       {std::string(), std::string("comment end_header\n"), std::string("end_headers\n"),
        std::string("xend_header\n"), std::string("end_header")}) {
    const std::string path = Write("open.ply", kHeaderStart + last + (last.empty() ? kBody : ""));
    EXPECT_TRUE(RefusedInTime(path, message)) << "header ending with \"" << last << "\"";
  }
}

TEST_F(AssimpPly, AControlCharacterInTheHeaderIsRefused) {
  // What the fuzzer found: a vertical tab glued to end_header, past which assimp
  // read on forever.
  const std::string path = Write("tab.ply", kHeaderStart + "end_header\v" + kBody);
  EXPECT_TRUE(RefusedInTime(path, "a control character in line 9 of the PLY header"));
}

TEST_F(AssimpPly, AnElementDeclaredTwiceIsRefusedBeforeAssimpReadsIt) {
  const std::string path =
      Write("twice.ply", kHeaderStart + "element vertex 2\nproperty float x\nend_header\n" + kBody);
  EXPECT_TRUE(RefusedInTime(path, "declares element \"vertex\" twice"));
}
#endif

TEST_F(AssimpPly, AHeaderDeclaringMoreElementsThanTheFileHoldsIsRefused) {
  // assimp would make room for a billion vertices before reading the first.
  std::string header = kHeaderStart;
  header.replace(header.find("element vertex 3"), 16, "element vertex 1000000000");
  ExpectLoadError(Write("huge.ply", header + "end_header\n" + kBody), 0,
                  "the PLY header declares more elements than a file of ");
  // A count past 32 bits, which assimp would wrap around, and one that is no number.
  for (const char* count : {"4444444444444444444444", "4294967296", "-3", "x"}) {
    header = kHeaderStart;
    header.replace(header.find("element vertex 3"), 16, std::string("element vertex ") + count);
    ExpectLoadError(Write("count.ply", header + "end_header\n" + kBody), 0,
                    "the PLY header's element \"vertex\" has no count assimp reads");
  }
}

TEST_F(AssimpPly, ABodyShortOfItsRecordsIsRefused) {
  // assimp would count the records it never read: 2 faces where the file holds 1.
  ExpectLoadError(Write("short.ply", kHeaderStart + "end_header\n0 0 0\n1 0 0\n0 1 0\n"), 0,
                  "the PLY body holds 3 of the 4 records its header declares");
  const std::string binary =
      "ply\nformat binary_little_endian 1.0\nelement vertex 2\nproperty float x\n"
      "property float y\nproperty float z\nend_header\n";
  ExpectLoadError(Write("short_binary.ply", binary + std::string(23, '\0')), 0,
                  "the PLY body ends before the records its header declares");
  vhost::Document whole;
  LoadInto(Write("whole_binary.ply", binary + std::string(24, '\0')), whole);
  ASSERT_EQ(whole.SlotCount(), 1);
  EXPECT_EQ(whole.At(0)->FaceCount(), 2);  // a point cloud: a point per vertex

  // An ASCII record short of what its element declares: assimp would make
  // room for a list of billions (found by the fuzzer), or read on into the
  // next record.
  const std::string head = kHeaderStart + "end_header\n0 0 0\n1 0 0\n0 1 0\n";
  ExpectLoadError(Write("huge_list.ply", head + "4333333333333 0 1 2\n"), 0,
                  "record 1 of the PLY element \"face\" is not what the header declares");
  ExpectLoadError(Write("long_list.ply", head + "4 0 1 2\n"), 0,
                  "record 1 of the PLY element \"face\" is not what the header declares");
  ExpectLoadError(Write("no_count.ply", head + "x 0 1 2\n"), 0,
                  "record 1 of the PLY element \"face\" is not what the header declares");
  ExpectLoadError(
      Write("short_vertex.ply", kHeaderStart + "end_header\n0 0 0\n1 0\n0 1 0\n3 0 1 2\n"), 0,
      "record 2 of the PLY element \"vertex\" is not what the header declares");
  vhost::Document spaced;
  LoadInto(Write("spaced.ply", head + "  3\t0 1 2  \r\n"), spaced);
  ASSERT_EQ(spaced.SlotCount(), 1);
  EXPECT_EQ(spaced.At(0)->FaceCount(), 1);
}

#if !defined(_WIN32)
TEST_F(AssimpPly, TheChecksGoByContentWhateverTheExtension) {
  // assimp hands a file its reader for the extension declines to the reader
  // that knows its signature: a PLY header without its end, named .gltf, would
  // reach assimp's PLY reader all the same, and an OFF file named .xml its OFF reader.
  EXPECT_TRUE(RefusedInTime(Write("open.gltf", kHeaderStart + kBody),
                            "the PLY header has no end_header line"));
  EXPECT_TRUE(RefusedInTime(Write("faces.xml", "OFF\n1 4\n0.1 0.2 0.3\n0.2 0.3.0 4\n"),
                            "an OFF face without its point count in line 4"));
}
#endif

TEST_F(AssimpPly, AHeaderThatEndsLoads) {
  for (const std::string& end : {std::string("end_header\n"), std::string("end_header\r\n"),
                                 std::string("  end_header \n")}) {
    vhost::Document document;
    LoadInto(Write("closed.ply", kHeaderStart + end + kBody), document);
    ASSERT_EQ(document.SlotCount(), 1);
    EXPECT_EQ(document.At(0)->VertexCount(), 3);
    EXPECT_EQ(document.At(0)->FaceCount(), 1);
    EXPECT_EQ(document.At(0)->FacePointCount(0), 3);
  }
}

class AssimpOff : public ReaderOf {
 protected:
  AssimpOff() : ReaderOf(".off") {}
};

const std::string kOffHead = "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n";

#if !defined(_WIN32)
TEST_F(AssimpOff, LinesAssimpWouldMisreadAndFacesItWouldDropAreRefused) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      // What the fuzzer found: header of 1 vertex and 4 faces, then lines that are
      // no faces (assimp crashes on it).
      {"OFF\n1 4\n0.1 0.2 0.3\n0.2 0.3.0 4\n0.3 0.4 0.5\n0\n\"\r20\n4\n",
       "an OFF face without its point count in line 4"},
      {kOffHead + "3 0 1 2\n", "ends before its last face"},
      {kOffHead + "3 0 1 2\n0\n", "an OFF face of 0 points in line 8"},
      {kOffHead + "3 0 1 2\n10 0 1 2 3 0 1 2 3 0 1\n", "an OFF face of 10 points in line 8"},
      {kOffHead + "3 0 1 2\n4 0 1 2\n", "an OFF face short of its points in line 8"},
      {kOffHead + "3 0 1 2\n3 0 1 4\n", "an OFF face point that is no vertex in line 8"},
      {"OFF\n4 2 0\n0 0 0\n1 0\n", "an OFF vertex that does not start with 3 numbers in line 4"},
      {"OFF\n4 2 0\n0 0 0\n1 0 x\n", "an OFF vertex that does not start with 3 numbers in line 4"},
      {"OFF\n4 -2\n", "OFF counts that are not 2 or 3 whole numbers in line 2"},
      {"PLY\n4 2\n", "no OFF header in line 1"},
      {kOffHead + "3 0 1 2\r3 0 2 3\n", "a control character in line 7"},
      // assimp would read the comment as a face and drop it, counting 3 vertices and 1 face.
      {kOffHead + "3 0 1 2\n# the other half\n3 0 2 3\n",
       "an OFF file that holds a comment among its vertices or faces, in line 8"},
      {"OFF\n4 2 0\n0 0 0\n# next\n1 0 0\n", "comment among its vertices or faces, in line 4"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(RefusedInTime(Write("bad.off", c.text), c.message)) << c.text;
  }
}
#endif

TEST_F(AssimpPly, RefusalsCarryTheirKindAndTheLineTheyName) {
  using Kind = vhost::ModelError::Kind;
  const struct {
    std::string name;
    std::string text;
    Kind kind;
    int64_t line;
    std::string message;
  } cases[] = {
      {"element.ply", kHeaderStart + "element face\nend_header\n" + kBody, Kind::kSyntax, 9,
       "line 9 of the PLY header is no \"element NAME COUNT\""},
      {"first.ply", "ply x\n" + kBody, Kind::kSyntax, 1, "no PLY header in line 1"},
      {"edges.ply", kHeaderStart + "element edge 1\nproperty int a\nend_header\n" + kBody,
       Kind::kGeometryLost, 0, "the PLY element \"edge\""},
      {"big.off", kOffHead + "3 0 1 2\n10 0 1 2 3 0 1 2 3 0 1\n", Kind::kGeometryLost, 8,
       "an OFF face of 10 points in line 8"},
      {"short.off", kOffHead + "3 0 1 2\n4 0 1 2\n", Kind::kSyntax, 8,
       "an OFF face short of its points in line 8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.text);
    ExpectLoadError(path, c.line, c.message, {}, true);
    try {
      vhost::Document document;
      LoadInto(path, document);
    } catch (const vhost::ModelError& error) {
      EXPECT_EQ(error.kind(), c.kind);
      EXPECT_EQ(std::string(error.what()), path + ": " + error.message());
    }
  }
}

// A scene reads the files it names by the readers their extensions name: the
// PLY file by our own reader.
class PlyInAScene : public testing_support::ModelFiles {};

TEST_F(PlyInAScene, AFaultInAFileAScenePicksIsThatFilesNotTheScenes) {
  const std::string ply = Write("parts/bad.ply", kHeaderStart + "element face\nend_header\n");
  const std::string scene = Write("scene.json",
                                  "{\"format\": \"veltrane-scene\", \"version\": 1,\n"
                                  " \"objects\": [{\"file\": \"parts/bad.ply\"}]}\n");
  ExpectLoadError(scene, 9, "an element line that is not \"element NAME COUNT\"", ply);
  // Whereas a file that cannot be had is the fault of the entry naming it.
  const std::string missing = Write("missing.json",
                                    "{\"format\": \"veltrane-scene\", \"version\": 1,\n"
                                    " \"objects\": [{\"file\": \"parts/none.ply\"}]}\n");
  ExpectLoadError(missing, 2, "cannot load \"parts/none.ply\": cannot open");
  // So is a folder: the checks read it as no bytes, but it cannot be had.
  std::filesystem::create_directories(PathOf("parts/dir.ply"));
  const std::string folder = Write("folder.json",
                                   "{\"format\": \"veltrane-scene\", \"version\": 1,\n"
                                   " \"objects\": [{\"file\": \"parts/dir.ply\"}]}\n");
  ExpectLoadError(folder, 2, "cannot load \"parts/dir.ply\": cannot read");
}

TEST_F(AssimpOff, WellFormedFilesLoadWithCommentsBlankLinesAndCrLf) {
  vhost::Document document;
  LoadInto(Write("square.off",
                 "# a square in two triangles\r\nOFF\r\n\r\n4 2 0\r\n"
                 "0 0 0\r\n1 0 0 # a remark\r\n\r\n1 1 0\r\n0 1 0\r\n"
                 "3 0 1 2\r\n\r\n3 0 2 3 255 0 0\r\n"),
           document);
  ASSERT_EQ(document.SlotCount(), 1);
  EXPECT_EQ(document.At(0)->VertexCount(), 4);
  EXPECT_EQ(document.At(0)->FaceCount(), 2);
  // The counts may share the header's line, as assimp reads them too.
  vhost::Document shared;
  LoadInto(Write("line.off", "OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), shared);
  ASSERT_EQ(shared.SlotCount(), 1);
  EXPECT_EQ(shared.At(0)->FaceCount(), 1);
}

#if !defined(_WIN32)
TEST_F(AssimpPly, TheChecksReadTheSameFromMemoryAsFromTheFile) {
  // A .zae archive holding `dae`, as its bytes.
  const auto zae = [&](const std::string& dae) {
    const std::string path = PathOf("made.zae");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    if (archive == nullptr) return std::string();
    zip_source_t* source = zip_source_buffer(archive, dae.data(), dae.size(), 0);
    EXPECT_GE(zip_file_add(archive, "model.dae", source, ZIP_FL_OVERWRITE), 0);
    EXPECT_EQ(zip_close(archive), 0);
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::string huge = kHeaderStart;
  huge.replace(huge.find("element vertex 3"), 16, "element vertex 1000000");
  const std::string fan = "<COLLADA><trifans count=\"1\"/></COLLADA>";
  const struct {
    std::string name;
    std::string bytes;
    std::string message;  // empty for none
  } cases[] = {
      {"good.ply", kHeaderStart + "end_header\n" + kBody, ""},
      {"open.ply", kHeaderStart + kBody, "no end_header"},
      {"edges.ply", kHeaderStart + "element edge 1\nend_header\n" + kBody, "\"edge\""},
      // The file's size, told by the source, bounds the counts.
      {"huge.ply", huge + "end_header\n" + kBody, "than a file of"},
      {"tab.stl", kHeaderStart + "end_header\v" + kBody, "in line 9 of the PLY header"},
      // A PLY file named .off passes the PLY check, and then fails the OFF one.
      {"ply.off", kHeaderStart + "end_header\n" + kBody, "no OFF header in line 1"},
      {"faces.xml", "OFF\n1 4\n0.1 0.2 0.3\n0.2 0.3.0 4\n", "in line 4"},
      {"square.off", kOffHead + "3 0 1 2\n3 0 2 3\n", ""},
      {"fan.dae", fan, "<trifans>"},
      {"fan.xml", "<?xml?>" + fan, "<trifans>"},
      {"plain.dae", "<COLLADA><triangles/></COLLADA>", ""},
      {"fan.zae", zae(fan), "<trifans>"},
      {"plain.zae", zae("<COLLADA/>"), ""},
      {"none.zae", "not a zip", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.bytes);
    const std::optional<vhost::ModelError> fromFile = vhost::models::AssimpReaderHazard(path);
    const std::optional<vhost::ModelError> fromMemory =
        vhost::models::AssimpReaderHazard(c.bytes, path);
    ASSERT_EQ(fromMemory.has_value(), !c.message.empty());
    ASSERT_EQ(fromFile.has_value(), fromMemory.has_value());
    if (!fromMemory) continue;
    EXPECT_NE(fromMemory->message().find(c.message), std::string::npos) << fromMemory->what();
    EXPECT_STREQ(fromMemory->what(), fromFile->what());
    EXPECT_EQ(fromMemory->kind(), fromFile->kind());
    EXPECT_EQ(fromMemory->line(), fromFile->line());
  }
}
#endif

}  // namespace
