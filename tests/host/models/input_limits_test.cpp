// What loading costs: memory bounded by the geometry and the named limits, not
// by the size of the input (endless pipes and devices included), and running out
// of memory told as a fault of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "host/models/models.h"
#include "tests/host/models/model_files.h"
#include "tests/support/shapes.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using vhost::kMaxObjStatementBytes;
using vhost::kMaxSceneBytes;

class InputLimits : public testing_support::ModelFiles {
 protected:
  // A file of `size` bytes without any written: all NUL, taking no room on disk.
  std::string Sparse(const std::string& name, uint64_t size) const {
    const std::string path = Write(name, "");
    std::filesystem::resize_file(path, size);
    return path;
  }
};

TEST_F(InputLimits, AnObjStatementLongerThanTheLimitIsRefusedAtItsLine) {
  const auto limit = static_cast<std::size_t>(kMaxObjStatementBytes);
  // One of exactly the limit, line end included, is read.
  vhost::Document document;
  vhost::LoadObj(Write("longest.obj", std::string(limit - 1, ' ') + "\nv 0 0 0\np 1\n"), document);
  EXPECT_EQ(document.SlotCount(), 1);

  ExpectLoadError(Write("blank.obj", "v 0 0 0\n" + std::string(limit + 1, ' ') + "\np 1\n"), 2,
                  "line longer than 64 MiB, the most this host reads as one statement");
  // The lines a backslash joins count together.
  std::string continued = "v 0 0 0\n\np 1";
  while (continued.size() < limit + 16) continued += " 1" + std::string(1 << 20, ' ') + "\\\n";
  ExpectLoadError(Write("continued.obj", continued + "\n"), 3, "line longer than 64 MiB");
}

TEST_F(InputLimits, ASceneLargerThanTheLimitIsRefusedBeforeItIsRead) {
  ExpectLoadError(Sparse("huge.json", kMaxSceneBytes + 1), 0,
                  "larger than 256 MiB, the most this host reads of such a file");
}

#if !defined(_WIN32)
// A named pipe whose writer gives `text` and then `filler` without end, or for
// `limit` bytes in all; the reader closing it ends the writing.
class Fifo {
 public:
  Fifo(const std::string& path, std::string text, char filler, uint64_t limit) {
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    // A reader closing early must end the writes with EPIPE, not the tests.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &oldPipe_);
    writer_ = std::thread([path, text = std::move(text), filler, limit] {
      const int fd = open(path.c_str(), O_WRONLY);  // waits for the reader
      if (fd < 0) return;
      std::string block = text;
      uint64_t written = 0;
      while (written < limit) {
        const auto want =
            static_cast<std::size_t>(std::min<uint64_t>(block.size(), limit - written));
        const ssize_t n = write(fd, block.data(), want);
        if (n <= 0) break;
        written += static_cast<uint64_t>(n);
        block.assign(1 << 16, filler);
      }
      close(fd);
    });
  }
  ~Fifo() {
    writer_.join();
    sigaction(SIGPIPE, &oldPipe_, nullptr);
  }

 private:
  std::thread writer_;
  struct sigaction oldPipe_ {};
};

constexpr uint64_t kEndless = UINT64_MAX;

TEST_F(InputLimits, EndlessInputEndsWithOneErrorInBoundedMemory) {
  // Devices: the first chunk tells.
  ExpectLoadError("/dev/zero", 1, "a NUL byte");

  // Pipes tell no size: no progress, and the limits stop them.
  {
    const std::string path = PathOf("blanks.obj");
    Fifo fifo(path, "v 0 0 0\n", ' ', kEndless);
    int calls = 0;
    vhost::Document document;
    try {
      vhost::LoadObj(path, document, [&](uint64_t, uint64_t) { ++calls; });
      ADD_FAILURE() << "loaded";
    } catch (const vhost::ModelError& error) {
      EXPECT_EQ(error.line(), 2);
      EXPECT_NE(error.message().find("line longer than 64 MiB"), std::string::npos) << error.what();
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(document.SlotCount(), 0);
  }
  {
    const std::string path = PathOf("endless.json");
    Fifo fifo(path, "{\"format\": ", ' ', kEndless);
    ExpectLoadError(path, 0, "larger than 256 MiB");
  }
  {
    // Short of the limit, a pipe is read to its end like any file.
    const std::string path = PathOf("piped.obj");
    Fifo fifo(path, "v 0 0 0\np 1\n", '\n', 3u << 20);
    vhost::Document document;
    vhost::LoadModel(path, document);
    EXPECT_EQ(document.SlotCount(), 1);
  }
}
#endif

TEST_F(InputLimits, RunningOutOfMemoryIsAFaultOfTheFileBeingRead) {
  // The progress callback runs inside the loaders where any allocation may fail:
  // its std::bad_alloc stands for one of theirs.
  std::string obj = "o a\nv 0 0 0\np 1\n";
  while (obj.size() < (3u << 20)) obj += "v 1 2 3\np -1\n";
  const std::string objPath = Write("parts.obj", obj);
  const std::string scenePath =
      Write("scene.json",
            R"({"format": "veltrane-scene", "version": 1, "objects": [{"file": "parts.obj"}]})");
  const struct {
    std::string path;
    int failingCall;
    std::string file;  // the one named
  } cases[] = {
      {objPath, 1, objPath},
      {objPath, 2, objPath},
      {scenePath, 1, scenePath},  // reporting the scene's own bytes
      {scenePath, 2, objPath},    // reading the OBJ file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.failingCall));
    vhost::Document document;
    vhost::Object& before = testing_support::Quad(document.AddObject("before"));
    int calls = 0;
    try {
      vhost::LoadModel(c.path, document, [&](uint64_t, uint64_t) {
        if (++calls == c.failingCall) throw std::bad_alloc();
      });
      ADD_FAILURE() << "loaded";
    } catch (const vhost::ModelError& error) {
      EXPECT_EQ(error.file(), c.file);
      EXPECT_EQ(error.line(), 0);
      EXPECT_EQ(std::string(error.what()), c.file + ": out of memory");
    }
    ASSERT_EQ(document.SlotCount(), 1);
    EXPECT_EQ(document.At(0), &before);
  }
}

}  // namespace
