// The batch: one block of an OBJ file on its way through the reader's stages,
// and all that one stage hands the next. blocks.h reads the block's text into
// it, statements.h splits that text into its steps and arrays, builder.h
// applies them. A batch owns everything it holds, its steps point into its own
// text, and one stage at a time has it (split_ahead.h hands it between threads
// under a lock), so nothing in it is shared or copied. A batch is filled, read
// and cleared again: its arrays keep their room from one block to the next,
// and the steps are good until the batch is filled again.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace vhost::models::obj {

constexpr int64_t kMaxCount = INT32_MAX;  // the document model counts in 32 bits

// The bytes read and not yet parsed. Unlike a vector it does not clear the
// room it is about to read into: the file overwrites it at once.
class TextBuffer {
 public:
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }

  // Drops the first `count` bytes; what follows moves to the front.
  void DropFront(std::size_t count) {
    if (count > 0) std::memmove(data_.get(), data_.get() + count, size_ - count);
    size_ -= count;
  }
  // Room for `count` more bytes at the end, which Append then takes; grows by
  // doubling, never past `most` bytes in all (the caller asks for no more).
  char* Reserve(std::size_t count, std::size_t most) {
    if (capacity_ - size_ < count) {
      const std::size_t capacity = std::min(std::max(size_ + count, 2 * capacity_), most);
      std::unique_ptr<char[]> bigger(new char[capacity]);
      if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
      data_ = std::move(bigger);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  void Append(std::size_t count) { size_ += count; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

struct Position {
  double x, y, z;
};

// A step of a batch: one statement for the general path to read, its text in
// the batch's buffer with continued lines joined; or a run of statements the
// fast paths read, each on a line of its own, what they made of them in the
// batch's arrays.
struct Step {
  enum Kind : int32_t { kGeneral, kVertices, kTexcoords, kNormals, kFaces };

  Kind kind;
  int32_t count;  // statements: 1 for kGeneral
  int64_t line;   // the line the first starts on, from 0 at the batch's start
  char* begin;    // the first's text
  char* end;      // kGeneral: the end of its text
};

// A block of the file split into statements: what the splitter hands the
// builder. A batch is filled, read and cleared again: its arrays keep their
// room from one block to the next.
struct Batch {
  TextBuffer text;        // the block's whole statements, then the start of the next
  std::size_t bytes = 0;  // the file bytes its statements span
  bool first = false;     // the file's first block
  int64_t lines = 0;      // the lines its statements span, once split
  // A fault of the text found while reading the block, told when the batches
  // before it are applied (its line depends on them); its statements are none.
  enum class Fault { kNone, kNul, kLongStatement } fault = Fault::kNone;
  std::size_t faultAt = 0;  // kNul: where in the text
  std::vector<Step> steps;
  std::vector<Position> positions;  // of the `v`s read fast, in order
  // For each `f` read fast: how many points it has, its vertex references as
  // written (from 1, or a minus and back from the last), then the largest
  // texture and normal index it names (0 for none).
  std::vector<int32_t> references;

  // Empties it for the next block. Room far past what a block of ordinary
  // lines takes (left by one long statement) is given back.
  void Clear() {
    bytes = 0;
    lines = 0;
    fault = Fault::kNone;
    Empty(steps, std::size_t{1} << 16);
    Empty(positions, std::size_t{1} << 17);
    Empty(references, std::size_t{1} << 20);
  }

 private:
  template <typename T>
  static void Empty(std::vector<T>& list, std::size_t keep) {
    if (list.capacity() > keep) {
      std::vector<T>().swap(list);
    } else {
      list.clear();
    }
  }
};

}  // namespace vhost::models::obj
