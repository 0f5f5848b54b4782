// The body of a model file read in large blocks, for the readers that scan a
// file once from front to back (PLY, STL): fixed-size records are looked at in
// place, lines of text handed out as views into the block, and the bytes read
// reported as progress once a block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "host/models/source_text.h"

namespace vhost::models {

class BlockInput {
 public:
  // Reads on from where `in` stands, which is `offset` bytes into the file;
  // `in` (whose read errors must be thrown, not read as the end) and
  // `progress` are the caller's and outlive this.
  BlockInput(ByteReader& in, uint64_t offset, const ProgressShare& progress);

  // At least `size` bytes at the cursor, contiguous, valid until the next call
  // of Peek or Line; null when fewer are left (Left() tells how many). Throws
  // std::bad_alloc when a block that large cannot be had.
  const char* Peek(std::size_t size);
  void Skip(std::size_t size) { at_ += size; }
  // The bytes left in the file, up to `most`: fewer only at its end.
  std::size_t Left(std::size_t most);
  // Bytes of the file before the cursor.
  uint64_t Offset() const { return offset_ + at_; }

  // The next line, without its "\n" or "\r\n", valid until the next call of
  // Peek or Line; false at the end. A line that ends the file without a line
  // end is a line. Lines longer than `longest` bytes are refused by the
  // caller: `tooLong` is set and the line cut there.
  bool Line(std::string_view& line, std::size_t longest, bool& tooLong);

 private:
  // Moves what is left to the front and reads until `size` bytes are there or
  // the file ends.
  void Fill(std::size_t size);

  ByteReader& in_;
  const ProgressShare& progress_;
  // Not zeroed when made or grown: only bytes read into it are ever looked at,
  // and a small file's scan should not pay for clearing a block it never fills.
  std::unique_ptr<char[]> block_;
  std::size_t capacity_ = 0;
  std::size_t at_ = 0;   // cursor in block_
  std::size_t end_ = 0;  // bytes of block_ read
  uint64_t offset_ = 0;  // of block_[0] in the file
  bool ended_ = false;
};

}  // namespace vhost::models
