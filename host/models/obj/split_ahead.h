// Reading and splitting an OBJ file's blocks on a second thread, a few blocks
// ahead of the builder. The thread reads blocks up to kSlots ahead and splits
// them there too; the builder splits the one it needs next itself when the
// thread has not begun it, so that both threads stay busy whichever part of the
// work is the larger for a file. Batches come out in file order; a fault comes
// out where it happened, after the batches before it, as it would on one
// thread.
//
// The batches live in the slots here. A slot's batch is the builder's thread's
// from Next until Done, and otherwise that of whichever thread the lock gave it
// to for reading or splitting: no batch is used by two threads at once. The
// ObjBlocks is the caller's and must outlive the SplitAhead; the thread alone
// reads it until dropping the SplitAhead stops the thread and waits for it. A
// read that never returns (a pipe, a device) would hang that drop: only a
// regular file is to be read ahead.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

#include "host/models/obj/batch.h"
#include "host/models/obj/blocks.h"

namespace vhost::models::obj {

class SplitAhead {
 public:
  // Starts the thread; throws std::system_error when it cannot be made.
  explicit SplitAhead(ObjBlocks& blocks);
  SplitAhead(const SplitAhead&) = delete;
  SplitAhead& operator=(const SplitAhead&) = delete;
  ~SplitAhead();

  // The next batch in file order, split, to be handed back with Done; null
  // once the file is through. Rethrows a fault of reading or splitting in its
  // place.
  Batch* Next();

  // Hands back the batch Next gave last, applied.
  void Done();

 private:
  enum class State { kFree, kRead, kSplitting, kSplit };
  struct Slot {
    Batch batch;
    State state = State::kFree;
    std::exception_ptr fault;  // of splitting it
  };
  static constexpr uint64_t kSlots = 4;

  Slot& SlotOf(uint64_t index) { return slots_[index % kSlots]; }
  Slot* Unsplit(uint64_t from);
  bool SplitOne(std::unique_lock<std::mutex>& lock);
  void SplitInto(Slot& slot) noexcept;
  void Run() noexcept;

  ObjBlocks& blocks_;  // the caller's; used by the thread alone until it ends
  Slot slots_[kSlots];
  std::mutex mutex_;  // guards what follows, and the slots' states
  std::condition_variable changed_;
  uint64_t read_ = 0;    // batches read
  uint64_t handed_ = 0;  // batches handed back applied; the next Next gives
  bool ended_ = false;   // the file is through, or reading it failed with fault_
  std::exception_ptr fault_;
  bool stop_ = false;  // the builder wants no more
  std::thread thread_;
};

}  // namespace vhost::models::obj
