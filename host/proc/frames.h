// Framed messages over a pipe, from a child process to its parent: each message
// a tag byte its sender and receiver agree on, then values in the machine's own
// layout (both ends are the same program), strings and arrays with their
// length first. The reader bounds every length, so a child that goes wrong
// cannot make its parent allocate without limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vhost::proc {

// Buffered writes to a pipe, for the child. A write that fails (the parent
// gone) ends the process at once with _exit(1): nobody is left to tell. Borrows
// the descriptor.
class FrameWriter {
 public:
  explicit FrameWriter(int fd) : fd_(fd) {}
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  void Bytes(const void* data, std::size_t size);
  template <typename T>
  void Value(T value) {
    Bytes(&value, sizeof value);
  }
  void String(const std::string& text) {
    Value<uint64_t>(text.size());
    Bytes(text.data(), text.size());
  }
  template <typename T>
  void Array(const std::vector<T>& values) {
    Value<uint64_t>(values.size());
    Bytes(values.data(), values.size() * sizeof(T));
  }
  // Sends what is buffered; a message is only sure to arrive once flushed.
  void Flush();

 private:
  int fd_;
  std::size_t used_ = 0;
  char buffer_[1 << 16];
};

// Buffered reads from a pipe, for the parent. Each read answers false at the
// end of the pipe before it is whole (the child ended mid-message), for a
// length past its bound, or once the deadline has passed (TimedOut() then
// says so). Borrows the descriptor.
class FrameReader {
 public:
  using Clock = std::chrono::steady_clock;
  // The longest string Read accepts.
  static constexpr uint64_t kMaxString = uint64_t{1} << 20;

  // `deadline`: when reading gives up; none waits on.
  FrameReader(int fd, std::optional<Clock::time_point> deadline) : fd_(fd), deadline_(deadline) {}
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  bool TimedOut() const { return timedOut_; }
  // Bytes read from the pipe and not yet handed out: a message that arrived
  // with the one before it waits here, where poll() on the pipe cannot see it.
  std::size_t Buffered() const { return end_ - begin_; }
  bool Bytes(void* data, std::size_t size);
  template <typename T>
  bool Value(T& value) {
    return Bytes(&value, sizeof value);
  }
  bool String(std::string& text) {
    uint64_t size = 0;
    if (!Value(size) || size > kMaxString) return false;
    text.resize(static_cast<std::size_t>(size));
    return Bytes(text.data(), text.size());
  }
  // An array of at most `most` elements; more is a broken message.
  template <typename T>
  bool Array(std::vector<T>& values, uint64_t most) {
    uint64_t size = 0;
    if (!Value(size) || size > most) return false;
    values.resize(static_cast<std::size_t>(size));
    return Bytes(values.data(), values.size() * sizeof(T));
  }

 private:
  bool Fill();
  bool Ready();

  int fd_;
  std::optional<Clock::time_point> deadline_;
  bool timedOut_ = false;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  char buffer_[1 << 16];
};

}  // namespace vhost::proc
