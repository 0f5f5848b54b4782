// The main of every test suite: GoogleTest, with one more listener that fails a
// test which leaves the host holding what a plug-in left behind (widgets alive,
// frozen copies live, misbehaviour in the fault log) or which leaks allocations.
//
// The checks run after the test's own tear-down. A fixture that resets the host
// there does not hide anything: the host keeps what a reset discarded for
// TakeDiscarded. A test that provokes misbehaviour on purpose asserts it and
// clears the fault log itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/api/host_state.h"
#include "tests/support/counting_allocator.h"

namespace {

namespace alloc = testing_support::alloc;

class CleanHostListener : public testing::EmptyTestEventListener {
 public:
  void OnTestProgramStart(const testing::UnitTest& /*unit*/) override {
    // What lives for the whole program is made before the first test counts:
    // the host, and the one-time buffers of GoogleTest's scoped traces.
    vhost::State().Reset();
    vhost::State().TakeDiscarded();
    { SCOPED_TRACE("warm-up"); }
  }

  void OnTestStart(const testing::TestInfo& /*test*/) override { liveAtStart_ = alloc::Live(); }

  void OnTestEnd(const testing::TestInfo& test) override {
    // The message goes to a fixed buffer: the counts must not see it.
    char leftovers[2048] = {};
    {
      vhost::HostState& host = vhost::State();
      std::vector<std::string> found = host.Leftovers();
      for (std::string& sentence : host.TakeDiscarded()) found.push_back(std::move(sentence));
      std::size_t used = 0;
      for (const std::string& sentence : found) {
        if (used + 3 >= sizeof leftovers) break;
        used += static_cast<std::size_t>(
            std::snprintf(leftovers + used, sizeof leftovers - used, "\n  %s", sentence.c_str()));
        used = used < sizeof leftovers ? used : sizeof leftovers - 1;
      }
      // Back to a fresh host, holding what a fresh one holds, for the count below
      // and for the next test.
      host.Reset();
      host.TakeDiscarded();
    }
    const int64_t leaked = alloc::Live() - liveAtStart_;
    // A failed or skipped case keeps its failure or skip records: allocations
    // that stay with GoogleTest, not leaks.
    const testing::TestResult* result = test.result();
    const bool keepsRecords = result != nullptr && (result->Failed() || result->Skipped());

    if (leftovers[0] != '\0') ADD_FAILURE() << "the test left behind in the host:" << leftovers;
    if (leaked > 0 && !keepsRecords) {
      ADD_FAILURE() << leaked << " allocation(s) made during the test are still live after it";
    }
  }

 private:
  int64_t liveAtStart_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // GoogleTest owns and deletes the listener.
  testing::UnitTest::GetInstance()->listeners().Append(new CleanHostListener);
  return RUN_ALL_TESTS();
}
