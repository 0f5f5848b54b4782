// What both loaders need of their input files: reading them in pieces or whole,
// naming a position in them, resolving paths, reporting progress.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/models/model_error.h"

namespace vhost::models {

// The bytes a reader reads, from their start: a file, or memory, so that tests
// and fuzzers can hand a reader its input without a file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `into` and returns how many: fewer only at
  // the end (0 once there). Throws ModelError when they cannot be read.
  virtual std::size_t Read(char* into, std::size_t size) = 0;
  virtual bool AtEnd() const = 0;
  // How many bytes there are when they are sure to end and to answer every
  // read at once (a regular file, memory), else 0.
  virtual uint64_t RegularSize() const = 0;
};

// Bytes held by the caller, who keeps them alive while they are read.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* into, std::size_t size) override;
  bool AtEnd() const override { return atEnd_; }
  uint64_t RegularSize() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool atEnd_ = false;
};

// A file open for reading from its start, closed when this is dropped. Errors
// are ModelError(path, 0, ...) naming the system's reason.
class InputFile : public ByteSource {
 public:
  // Throws when `path` cannot be opened.
  explicit InputFile(const std::string& path);

  // Blocks on a pipe until its writer gives `size` bytes or closes it.
  std::size_t Read(char* into, std::size_t size) override;
  bool AtEnd() const override { return atEnd_; }
  // The size of the open file if it is a regular one, else 0: only a regular
  // file is sure to end and to answer every read at once.
  uint64_t RegularSize() const override;

 private:
  struct Close {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  const std::string& path_;  // the caller's; outlives this
  std::unique_ptr<std::FILE, Close> file_;
  bool atEnd_ = false;
};

// The words of a line of text, split at blanks and tabs: how the text formats
// the checks read (PLY headers and records, OFF) separate their values.
std::vector<std::string_view> Words(std::string_view line);

// A ByteSource read a byte, a line or a block at a time, through a buffer of
// its own. Bytes that cannot be read read as the end: for checks that leave a
// file they cannot read to its reader to refuse; a reader that must tell a
// file cut short from one it cannot read asks for the source's ModelError
// instead (`readErrorsAsEnd` false). Borrows the source.
class ByteReader {
 public:
  explicit ByteReader(ByteSource& source, bool readErrorsAsEnd = true)
      : source_(source), readErrorsAsEnd_(readErrorsAsEnd) {}
  // The next byte; false at the end.
  bool Get(char& c) {
    if (at_ == end_ && !Fill()) return false;
    c = buffer_[at_++];
    return true;
  }
  // The next line without its "\n", as std::getline reads it: false only when
  // nothing at all was left.
  bool Line(std::string& line);
  // Up to `size` bytes into `into`; fewer only at the end.
  std::size_t Read(char* into, std::size_t size);
  // Bytes handed out so far, by any of the above.
  uint64_t Consumed() const { return filled_ - (end_ - at_); }

 private:
  bool Fill();

  ByteSource& source_;
  bool readErrorsAsEnd_ = true;
  std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kBufferBytes);
  std::size_t at_ = 0;
  std::size_t end_ = 0;
  uint64_t filled_ = 0;  // bytes read from the source
  bool ended_ = false;
  static constexpr std::size_t kBufferBytes = 1 << 16;
};

// The whole content of `path`, refused once it passes `maxBytes` (while it is
// read, so that an endless pipe stops there too). Throws ModelError(path, 0,
// ...) when the file cannot be opened or read, naming the system's reason.
std::string ReadWholeFile(const std::string& path, uint64_t maxBytes);

// Why `path` cannot be opened or read (a folder, say), as the error reading it
// would be; none when its first byte can be read, or it has none.
std::optional<ModelError> ReadError(const std::string& path);

// ModelError(path, 0, "out of memory"): what running out of memory while
// loading `path` is reported as.
ModelError OutOfMemory(const std::string& path);

// Runs `work` and returns what it returns, telling running out of memory in it
// (std::bad_alloc, or std::length_error for a size past what a container can
// hold) as OutOfMemory(path): the one place where that is decided.
template <typename Work>
decltype(auto) NamingOutOfMemory(const std::string& path, Work&& work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    throw OutOfMemory(path);
  } catch (const std::length_error&) {
    throw OutOfMemory(path);
  }
}

// The size of `path` in bytes, as InputFile::RegularSize tells it of the file
// open (the same reading of the same status, without opening it: a FIFO would
// block the open); 0 when it cannot be told (reading it will fail with the
// reason) or the file is no regular one.
uint64_t FileSizeOrZero(const std::string& path);

// Whether all of `s` is a decimal number: [sign] digits [. digits] [e [sign]
// digits], with digits on at least one side of the point and 1 to
// `maxExponentDigits` digits of exponent. Inline: the OBJ reader asks it of
// every coordinate.
inline bool IsDecimalNumber(std::string_view s, std::size_t maxExponentDigits) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && digit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && digit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent = 0;
    while (i < s.size() && digit(s[i])) ++i, ++exponent;
    if (exponent == 0 || exponent > maxExponentDigits) return false;
  }
  return i == s.size();
}

struct TextPosition {
  int64_t line = 1;    // from 1
  int64_t column = 1;  // from 1, in bytes
};
// The position of byte `offset` of `text`; past the end, the position after it.
TextPosition PositionAt(std::string_view text, std::size_t offset);

// `path` up to its last directory separator, without it; empty when it has none.
std::string DirectoryOf(const std::string& path);
// `relative` taken from `directory`; absolute paths are returned as they are.
std::string ResolvePath(const std::string& directory, const std::string& relative);
// The file name of `path` without its directory and last extension.
std::string FileStem(const std::string& path);

// One file's share of a load's progress: its bytes count from `offset` of `total`.
class ProgressShare {
 public:
  ProgressShare() = default;
  ProgressShare(const LoadProgress* callback, uint64_t offset, uint64_t total)
      : callback_(callback != nullptr && *callback ? callback : nullptr),
        offset_(offset),
        total_(total) {}
  // `done` bytes of this share are through. Nothing is told while the total is
  // unknown (0), and never more than the total, should a file have grown.
  void Report(uint64_t done) const {
    if (callback_ != nullptr && total_ > 0) (*callback_)(std::min(offset_ + done, total_), total_);
  }

 private:
  const LoadProgress* callback_ = nullptr;  // the caller's; outlives the load
  uint64_t offset_ = 0;
  uint64_t total_ = 0;
};

}  // namespace vhost::models
