// The second thread's loop and the hand-over of batches between it and the
// builder's thread. See split_ahead.h.
#include "host/models/obj/split_ahead.h"

#include "host/models/obj/statements.h"

namespace vhost::models::obj {

SplitAhead::SplitAhead(ObjBlocks& blocks) : blocks_(blocks) {
  thread_ = std::thread([this] { Run(); });
}

SplitAhead::~SplitAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

Batch* SplitAhead::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (handed_ < read_) {
      Slot& slot = SlotOf(handed_);
      if (slot.state == State::kSplit) {
        if (slot.fault) std::rethrow_exception(slot.fault);
        return &slot.batch;
      }
      // Not split yet: split it here if the thread has not begun it, else
      // one after it while the thread finishes.
      if (SplitOne(lock)) continue;
    } else if (ended_) {
      if (fault_) std::rethrow_exception(fault_);
      return nullptr;
    }
    changed_.wait(lock);
  }
}

void SplitAhead::Done() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = SlotOf(handed_++);
    slot.state = State::kFree;
    slot.fault = nullptr;
  }
  changed_.notify_all();
}

// The oldest batch from `from` on that is read and that nobody splits yet,
// marked as being split by the caller, or null; the lock held.
SplitAhead::Slot* SplitAhead::Unsplit(uint64_t from) {
  for (uint64_t i = from; i < read_; ++i) {
    if (SlotOf(i).state == State::kRead) {
      SlotOf(i).state = State::kSplitting;
      return &SlotOf(i);
    }
  }
  return nullptr;
}

// Splits the oldest batch read that nobody splits yet, `lock` let go of
// meanwhile; false when there is none.
bool SplitAhead::SplitOne(std::unique_lock<std::mutex>& lock) {
  Slot* unsplit = Unsplit(handed_);
  if (unsplit == nullptr) return false;
  lock.unlock();
  SplitInto(*unsplit);
  lock.lock();
  return true;
}

// Splits the slot Unsplit gave, the lock not held. A fault (std::bad_alloc)
// stays with the slot, told when its turn comes: a later block must not
// overtake an earlier one's fault.
void SplitAhead::SplitInto(Slot& slot) noexcept {
  std::exception_ptr fault;
  try {
    SplitBatch(slot.batch);
  } catch (...) {
    fault = std::current_exception();
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    slot.fault = fault;
    slot.state = State::kSplit;
  }
  changed_.notify_all();
}

// Reads while a slot is free, else splits the oldest batch read that nobody
// splits yet, else waits.
void SplitAhead::Run() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (!ended_ && read_ - handed_ < kSlots) {
      Slot& slot = SlotOf(read_);
      lock.unlock();
      bool more = false;
      std::exception_ptr fault;
      try {
        more = blocks_.Read(slot.batch);
      } catch (...) {
        fault = std::current_exception();
      }
      lock.lock();
      if (more) {
        slot.state = State::kRead;
        ++read_;
      } else {
        ended_ = true;
        fault_ = fault;
      }
      changed_.notify_all();
      continue;
    }
    if (SplitOne(lock)) continue;
    if (ended_) return;  // all read, and all split or being split
    changed_.wait(lock);
  }
}

}  // namespace vhost::models::obj
