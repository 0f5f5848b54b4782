#include "host/proc/frames.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vhost::proc {

void FrameWriter::Bytes(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    if (used_ == sizeof buffer_) Flush();
    const std::size_t n = std::min(size, sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, p, n);
    used_ += n;
    p += n;
    size -= n;
  }
}

void FrameWriter::Flush() {
  for (std::size_t done = 0; done < used_;) {
    const ssize_t n = write(fd_, buffer_ + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(1);
    done += static_cast<std::size_t>(n);
  }
  used_ = 0;
}

bool FrameReader::Bytes(void* data, std::size_t size) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    if (begin_ == end_ && !Fill()) return false;
    const std::size_t n = std::min(size, end_ - begin_);
    std::memcpy(p, buffer_ + begin_, n);
    begin_ += n;
    p += n;
    size -= n;
  }
  return true;
}

bool FrameReader::Fill() {
  for (;;) {
    if (deadline_ && !Ready()) return false;
    const ssize_t n = read(fd_, buffer_, sizeof buffer_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    begin_ = 0;
    end_ = static_cast<std::size_t>(n);
    return true;
  }
}

// Waits until the pipe has something to read (or has ended) or the deadline
// passes; false for the deadline.
bool FrameReader::Ready() {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - Clock::now()).count();
    if (left <= 0) break;
    pollfd watched{fd_, POLLIN, 0};
    const int n = poll(&watched, 1, static_cast<int>(std::min<int64_t>(left, 1000)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // let read() say what is wrong
  }
  timedOut_ = true;
  return false;
}

}  // namespace vhost::proc
