// PLY files through assimp: a header that never ends is refused at once (assimp's
// own reader would read past the end of such a file forever), as is one that
// declares an element twice (on which assimp corrupts its heap), and the headers
// that do end, however their last line is spelled, still load.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace {

const std::string kHeaderStart =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\n";
const std::string kBody = "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";

class AssimpPly : public testing_support::ModelFiles {
 protected:
  void SetUp() override {
    const auto extensions = vhost::SupportedExtensions();
    if (std::find(extensions.begin(), extensions.end(), ".ply") == extensions.end()) {
      GTEST_SKIP() << "this build reads no PLY files";
    }
    ModelFiles::SetUp();
  }
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
      vhost::LoadModel(path, document);
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

TEST_F(AssimpPly, AnElementDeclaredTwiceIsRefusedBeforeAssimpReadsIt) {
  const std::string path =
      Write("twice.ply", kHeaderStart + "element vertex 2\nproperty float x\nend_header\n" + kBody);
  EXPECT_TRUE(RefusedInTime(path, "declares element \"vertex\" twice"));
}
#endif

TEST_F(AssimpPly, AHeaderThatEndsLoads) {
  for (const std::string& end : {std::string("end_header\n"), std::string("end_header\r\n"),
                                 std::string("  end_header \n")}) {
    vhost::Document document;
    vhost::LoadModel(Write("closed.ply", kHeaderStart + end + kBody), document);
    ASSERT_EQ(document.SlotCount(), 1);
    EXPECT_EQ(document.At(0)->VertexCount(), 3);
    EXPECT_EQ(document.At(0)->FaceCount(), 1);
    EXPECT_EQ(document.At(0)->FacePointCount(0), 3);
  }
}

}  // namespace
