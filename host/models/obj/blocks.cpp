// Reading an OBJ file in blocks of whole statements: where a block may end
// (after a line end no `\` continues), and the faults of the text as such that
// end the file at once. See blocks.h.
#include "host/models/obj/blocks.h"

#include <algorithm>
#include <cstring>

#include "host/models/limits.h"

namespace vhost::models::obj {

bool ObjBlocks::Read(Batch& batch) {
  if (ended_) return false;
  batch.Clear();
  TextBuffer& text = batch.text;
  text.DropFront(text.size());
  if (text.capacity() > 4 * kChunk) text = TextBuffer();  // left by a long statement
  if (!tail_.empty()) {
    std::memcpy(text.Reserve(tail_.size(), kMaxObjStatementBytes), tail_.data(), tail_.size());
    text.Append(tail_.size());
    if (tail_.capacity() > 4 * kChunk) {
      std::string().swap(tail_);
    } else {
      tail_.clear();
    }
  }
  batch.first = first_;
  first_ = false;
  const std::size_t cut = ReadStatements(batch);
  if (batch.fault != Batch::Fault::kNone) {
    ended_ = true;
    return true;
  }
  if (cut == 0) return false;
  tail_.assign(text.data() + cut, text.size() - cut);
  batch.bytes = cut;
  return true;
}

// Reads on until the batch's text holds a whole statement; returns where the
// last whole one ends, or the size of what is left at the end of the file (0
// once nothing is); or marks the batch with a fault of the text.
std::size_t ObjBlocks::ReadStatements(Batch& batch) {
  TextBuffer& text = batch.text;
  std::size_t searched = 0;  // no statement ends in the text up to here
  for (;;) {
    // The text now holds the start of one statement only: it may grow up to
    // the longest statement read, no further.
    const std::size_t old = text.size();
    const auto room = static_cast<std::size_t>(kMaxObjStatementBytes) -
                      std::min(old, static_cast<std::size_t>(kMaxObjStatementBytes));
    if (!file_.AtEnd() && room > 0) {
      const std::size_t want = std::min(kChunk, room);
      char* into = text.Reserve(want, kMaxObjStatementBytes);
      text.Append(file_.Read(into, want));
      // Early, so that a binary file (or an endless device) is refused at once;
      // the statements are then known to hold none.
      const auto* nul =
          static_cast<const char*>(std::memchr(text.data() + old, '\0', text.size() - old));
      if (nul != nullptr) {
        batch.fault = Batch::Fault::kNul;
        batch.faultAt = static_cast<std::size_t>(nul - text.data());
        return 0;
      }
    }
    const std::size_t cut = LastStatementEnd(text, searched);
    if (cut > 0) return cut;
    if (file_.AtEnd()) return text.size();
    if (text.size() >= kMaxObjStatementBytes) {
      batch.fault = Batch::Fault::kLongStatement;
      return 0;
    }
  }
}

// Just past the line end of the last whole statement in `text`; 0 for none,
// and `searched` moved to where the next search may start. A line end counts
// when no `\` comes before it: one that does may be in a comment (which it
// does not continue), but the statement surely ends at the next line end
// without one.
std::size_t ObjBlocks::LastStatementEnd(TextBuffer& text, std::size_t& searched) const {
  const char* data = text.data();
  std::size_t n = text.size();
  if (n > 0 && data[n - 1] == '\r' && !file_.AtEnd()) --n;  // maybe half of a CRLF
  for (std::size_t i = n; i > searched; --i) {
    const char c = data[i - 1];
    if (c != '\n' && c != '\r') continue;
    std::size_t lineEnd = i - 1;
    if (c == '\n' && lineEnd > 0 && data[lineEnd - 1] == '\r') --lineEnd;
    if (lineEnd == 0 || data[lineEnd - 1] != '\\') return i;
    i = lineEnd + 1;
  }
  searched = n;  // a long statement is not searched again as it grows
  return 0;
}

}  // namespace vhost::models::obj
