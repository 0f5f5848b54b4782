#include "host/models/block_input.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vhost::models {
namespace {

// Large enough that a read and a progress report per block cost nothing
// against the scan, small enough to stay in the caches' reach.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

}  // namespace

BlockInput::BlockInput(ByteReader& in, uint64_t offset, const ProgressShare& progress)
    : in_(in),
      progress_(progress),
      block_(new char[kBlockBytes]),
      capacity_(kBlockBytes),
      offset_(offset) {}

void BlockInput::Fill(std::size_t size) {
  const std::size_t kept = end_ - at_;
  if (at_ > 0 && kept > 0) std::memmove(block_.get(), block_.get() + at_, kept);
  offset_ += at_;
  at_ = 0;
  end_ = kept;
  if (size > capacity_) {
    const std::size_t grown = std::max(size, 2 * capacity_);
    std::unique_ptr<char[]> larger(new char[grown]);
    std::memcpy(larger.get(), block_.get(), end_);
    block_ = std::move(larger);
    capacity_ = grown;
  }
  while (end_ < size && !ended_) {
    const std::size_t got = in_.Read(block_.get() + end_, capacity_ - end_);
    if (got == 0) ended_ = true;
    end_ += got;
  }
  progress_.Report(offset_ + end_);
}

const char* BlockInput::Peek(std::size_t size) {
  if (end_ - at_ < size) Fill(size);
  return end_ - at_ >= size ? block_.get() + at_ : nullptr;
}

std::size_t BlockInput::Left(std::size_t most) {
  if (end_ - at_ < most) Fill(most);
  return std::min(most, end_ - at_);
}

bool BlockInput::Line(std::string_view& line, std::size_t longest, bool& tooLong) {
  tooLong = false;
  std::size_t searched = 0;  // bytes past the cursor known to hold no line end
  for (;;) {
    const char* start = block_.get() + at_;
    const std::size_t have = end_ - at_;
    const auto* found =
        static_cast<const char*>(std::memchr(start + searched, '\n', have - searched));
    if (found != nullptr || ended_ || have > longest) {
      std::size_t length = found != nullptr ? static_cast<std::size_t>(found - start) : have;
      if (length > longest) {
        tooLong = true;
        length = longest;
        found = nullptr;
      }
      if (found == nullptr && length == 0 && !tooLong) return false;
      at_ += length + (found != nullptr ? 1 : 0);
      if (length > 0 && start[length - 1] == '\r') --length;
      line = std::string_view(start, length);
      return true;
    }
    searched = have;
    Fill(have + std::min(longest + 1 - have, kBlockBytes));
  }
}

}  // namespace vhost::models
