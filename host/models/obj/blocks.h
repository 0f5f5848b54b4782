// Reading an OBJ file in blocks of whole statements, one into each batch: the
// only stage that touches the file. It knows nothing of lines: a batch counts
// its own when split, so that batches can be split in any order. The ByteSource
// is the caller's and must outlive the ObjBlocks; what a block holds belongs to
// its batch. Only one thread at a time may call Read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/models/obj/batch.h"
#include "host/models/source_text.h"

namespace vhost::models::obj {

class ObjBlocks {
 public:
  explicit ObjBlocks(ByteSource& file) : file_(file) {}

  // The size of the file when it is a regular one, else 0.
  uint64_t RegularSize() const { return file_.RegularSize(); }

  // Reads the next block into `batch`, not split yet; false, the batch empty,
  // once the file is through. A fault of the text as such (a NUL byte, a
  // statement past the longest this host reads) ends the file with a batch of
  // that fault; one of reading throws ModelError.
  bool Read(Batch& batch);

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  std::size_t ReadStatements(Batch& batch);
  std::size_t LastStatementEnd(TextBuffer& text, std::size_t& searched) const;

  ByteSource& file_;    // the caller's; outlives this
  std::string tail_;    // the start of the next statement, read with the last block
  bool first_ = true;   // no block read yet
  bool ended_ = false;  // a fault of the text ended the file
};

}  // namespace vhost::models::obj
