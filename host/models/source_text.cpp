#include "host/models/source_text.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace vhost::models {
namespace {

std::string Reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

bool IsSeparator(char c) {
#if defined(_WIN32)
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

// A file's status as the system tells it, by path or of a file open; none when
// it cannot be told. Both size questions below go through SizeIfRegular.
#if defined(_WIN32)
using FileStatus = struct _stat64;
std::optional<FileStatus> StatusOf(const std::string& path) {
  FileStatus status{};
  if (_stat64(path.c_str(), &status) != 0) return std::nullopt;
  return status;
}
std::optional<FileStatus> StatusOf(std::FILE* file) {
  FileStatus status{};
  if (_fstat64(_fileno(file), &status) != 0) return std::nullopt;
  return status;
}
bool IsRegular(const FileStatus& status) { return (status.st_mode & _S_IFREG) != 0; }
#else
using FileStatus = struct stat;
std::optional<FileStatus> StatusOf(const std::string& path) {
  FileStatus status{};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return status;
}
std::optional<FileStatus> StatusOf(std::FILE* file) {
  FileStatus status{};
  if (fstat(fileno(file), &status) != 0) return std::nullopt;
  return status;
}
bool IsRegular(const FileStatus& status) { return S_ISREG(status.st_mode); }
#endif

// The one reading of a status as a size: only a regular file has one to go by
// (seeking tells nonsense for others, and a pipe or device may never end), so
// anything else, or a status that cannot be had, is 0.
uint64_t SizeIfRegular(const std::optional<FileStatus>& status) {
  if (!status || !IsRegular(*status) || status->st_size <= 0) return 0;
  return static_cast<uint64_t>(status->st_size);
}

}  // namespace

std::size_t MemorySource::Read(char* into, std::size_t size) {
  const std::size_t n = std::min(size, bytes_.size() - at_);
  if (n > 0) std::memcpy(into, bytes_.data() + at_, n);
  at_ += n;
  atEnd_ = n < size;
  return n;
}

InputFile::InputFile(const std::string& path) : path_(path) {
  errno = 0;
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_)
    throw ModelError(ModelError::Kind::kCannotOpen, path, 0, "cannot open: " + Reason(errno));
}

std::size_t InputFile::Read(char* into, std::size_t size) {
  if (atEnd_ || size == 0) return 0;
  errno = 0;
  const std::size_t got = std::fread(into, 1, size, file_.get());
  if (std::ferror(file_.get()) != 0)
    throw ModelError(ModelError::Kind::kCannotOpen, path_, 0, "cannot read: " + Reason(errno));
  atEnd_ = got < size;
  return got;
}

uint64_t InputFile::RegularSize() const { return SizeIfRegular(StatusOf(file_.get())); }

bool ByteReader::Fill() {
  at_ = end_ = 0;
  if (ended_) return false;
  try {
    end_ = source_.Read(buffer_.get(), kBufferBytes);
    filled_ += end_;
    ended_ = source_.AtEnd();
  } catch (const ModelError&) {
    if (!readErrorsAsEnd_) throw;
    ended_ = true;  // read as the end: see the class
  }
  return end_ > 0;
}

bool ByteReader::Line(std::string& line) {
  line.clear();
  bool any = false;
  for (char c = 0; Get(c);) {
    any = true;
    if (c == '\n') return true;
    line.push_back(c);
  }
  return any;
}

std::size_t ByteReader::Read(char* into, std::size_t size) {
  std::size_t done = 0;
  while (done < size && (at_ < end_ || Fill())) {
    const std::size_t n = std::min(size - done, end_ - at_);
    std::memcpy(into + done, buffer_.get() + at_, n);
    at_ += n;
    done += n;
  }
  return done;
}

std::string ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  InputFile file(path);
  const auto tooLarge = [&] {
    return ModelError(ModelError::Kind::kLimit, path, 0,
                      "larger than " + std::to_string(maxBytes >> 20) +
                          " MiB, the most this host reads of such a file");
  };
  // Read what the size promises in one go, then on to the end: pipes and special
  // files tell no size, and a file may grow meanwhile.
  const uint64_t size = file.RegularSize();
  if (size > maxBytes) throw tooLarge();
  std::string text;
  if (size > 0) {
    text.resize(static_cast<std::size_t>(size));
    text.resize(file.Read(&text[0], text.size()));
  }
  char more[1 << 16];
  while (!file.AtEnd()) {
    const std::size_t got = file.Read(more, sizeof more);
    if (text.size() + got > maxBytes) throw tooLarge();
    text.append(more, got);
  }
  return text;
}

std::optional<ModelError> ReadError(const std::string& path) {
  try {
    char first = 0;
    InputFile(path).Read(&first, 1);
  } catch (const ModelError& error) {
    return error;
  }
  return std::nullopt;
}

ModelError OutOfMemory(const std::string& path) {
  return ModelError(ModelError::Kind::kOutOfMemory, path, 0, "out of memory");
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

uint64_t FileSizeOrZero(const std::string& path) { return SizeIfRegular(StatusOf(path)); }

TextPosition PositionAt(std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  TextPosition position;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++position.line;
      lineStart = i + 1;
    }
  }
  position.column = static_cast<int64_t>(offset - lineStart) + 1;
  return position;
}

std::string DirectoryOf(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return path.substr(0, i == 1 ? 1 : i - 1);
  }
  return {};
}

std::string ResolvePath(const std::string& directory, const std::string& relative) {
  const bool absolute = (!relative.empty() && IsSeparator(relative[0]))
#if defined(_WIN32)
                        || (relative.size() >= 2 && relative[1] == ':')
#endif
      ;
  if (absolute || directory.empty()) return relative;
  if (IsSeparator(directory.back())) return directory + relative;
#if defined(_WIN32)
  // Joined the way the directory is written, so that messages name one path.
  if (directory.find('/') == std::string::npos) return directory + "\\" + relative;
#endif
  return directory + "/" + relative;
}

std::string FileStem(const std::string& path) {
  std::size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  std::string name = path.substr(start);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace vhost::models
