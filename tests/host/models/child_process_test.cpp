// The child process and framed messages an isolated import runs on: a child's
// messages arrive whole, a child that dies or sends a broken or oversized frame
// is told apart from one that finished, and a silent child is stopped at the
// reader's deadline, killed and reaped when its handle goes.
#include "host/proc/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "host/proc/frames.h"

namespace {

using vhost::proc::ChildEnd;
using vhost::proc::ChildProcess;
using vhost::proc::FrameReader;
using vhost::proc::FrameWriter;

TEST(ChildProcess, MessagesArriveWholeAcrossBufferSizes) {
  // Larger than a pipe's and both buffers, so writes and reads split.
  std::vector<int32_t> sent(300000);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<int32_t>(i * 7);
  ChildProcess child = ChildProcess::Start([&sent](int fd) {
    FrameWriter out(fd);
    out.Value<char>('a');
    out.String("name\nwith a line end");
    out.Array(sent);
    out.Flush();
  });
  FrameReader in(child.ReadEnd(), std::nullopt);
  char tag = 0;
  std::string text;
  std::vector<int32_t> received;
  ASSERT_TRUE(in.Value(tag));
  ASSERT_TRUE(in.String(text));
  ASSERT_TRUE(in.Array(received, sent.size()));
  EXPECT_EQ(tag, 'a');
  EXPECT_EQ(text, "name\nwith a line end");
  EXPECT_EQ(received, sent);
  EXPECT_FALSE(in.Value(tag));  // the pipe ends with the child
  const ChildEnd end = child.Wait();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.code, 0);
  EXPECT_FALSE(in.TimedOut());
}

TEST(ChildProcess, BrokenFramesAndDeathsAreToldApart) {
  struct Case {
    const char* name;
    void (*job)(int fd);
    bool exited;
    int signal;
  };
  const Case cases[] = {
      {"array past its bound",
       [](int fd) {
         FrameWriter out(fd);
         out.Array(std::vector<int32_t>(11));
         out.Flush();
       },
       true, 0},
      {"string past its bound",
       [](int fd) {
         FrameWriter out(fd);
         out.Value<uint64_t>(FrameReader::kMaxString + 1);
         out.Flush();
       },
       true, 0},
      {"cut mid-message",
       [](int fd) {
         FrameWriter out(fd);
         out.Value<uint64_t>(8);
         out.Value<int32_t>(1);
         out.Flush();
       },
       true, 0},
      // SIGKILL: a sanitizer's handler would turn a SIGSEGV into an exit.
      {"killed by a signal", [](int) { kill(getpid(), SIGKILL); }, false, SIGKILL},
      {"a job that throws", [](int) { throw 1; }, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChildProcess child = ChildProcess::Start(c.job);
    FrameReader in(child.ReadEnd(), std::nullopt);
    std::vector<int32_t> values;
    EXPECT_FALSE(in.Array(values, 10));
    const ChildEnd end = child.Wait();
    EXPECT_EQ(end.exited, c.exited);
    EXPECT_EQ(end.signalled, !c.exited);
    if (!c.exited) {
      EXPECT_EQ(end.signal, c.signal);
    }
  }
  EXPECT_EQ(vhost::proc::SignalName(SIGKILL), "Killed");
}

TEST(ChildProcess, ASilentChildIsStoppedAtTheDeadline) {
  const auto start = FrameReader::Clock::now();
  {
    ChildProcess child = ChildProcess::Start([](int) { pause(); });
    FrameReader in(child.ReadEnd(), start + std::chrono::milliseconds(200));
    char tag = 0;
    EXPECT_FALSE(in.Value(tag));
    EXPECT_TRUE(in.TimedOut());
  }  // killed and reaped here, or the test would hang
  EXPECT_LT(FrameReader::Clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
