// A model file's bytes for a reader that wants them all at once (glTF): mapped
// from the system's file cache where it can be, so that a large file is
// neither copied nor given fresh pages of its own; read whole otherwise (pipes,
// small files, Windows).
//
// A mapped file that another process shrinks while it is read would stop the
// tool with SIGBUS on the first page past its new end. Such a page is instead
// replaced by zeros, and the read is refused afterwards as a file that changed
// while it was read: a reader must ask ChangedWhileRead before it trusts what
// it made, and before it reports an error found in those bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vhost::models {

class FileBytes {
 public:
  // Throws ModelError(path, 0, ...) when the file cannot be opened or read, or
  // passes `maxBytes`. Borrows `path` for the object's life.
  FileBytes(const std::string& path, uint64_t maxBytes);
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // Valid as long as this object.
  std::string_view View() const { return view_; }

  // Throws ModelError(path, 0, "it changed while it was read") when a page of
  // the mapping lay past the file's end when it was read.
  void ThrowIfChanged() const;

 private:
  struct Mapping;
  const std::string& path_;
  std::string read_;  // the bytes, when not mapped
  std::unique_ptr<Mapping> mapping_;
  std::string_view view_;
};

}  // namespace vhost::models
