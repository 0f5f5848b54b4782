// What loading a model can go wrong with, and how it tells progress: the part
// of the public interface (models.h) that every reader and the low-level file
// reading beneath them share, so that they need not include the loaders.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vhost {

// `text` with its control characters written as JSON escapes them (\u000a), so
// that a name or a message holding a line end still reads as one line.
std::string Printable(const std::string& text);

// How a message shows a piece of a file's text: between `mark`s, at most
// `most` bytes of it and "..." for the rest, its control characters escaped as
// Printable does or, with `controlsAsQuestionMarks`, each shown as '?'.
struct Quoting {
  char mark = '"';
  std::size_t most = std::string::npos;
  bool controlsAsQuestionMarks = false;
};
// The one way a message quotes text from a file: a name, a key, a statement.
std::string Quote(std::string_view text, const Quoting& how = {});

// Why a model could not be loaded, and where: what() reads "file:line: message",
// "file:line:column: message", or "file: message" for faults that lie on no line
// of the file (it cannot be opened, say). Running out of memory is "file: out of
// memory", naming the file being read or built from when it happened. what() is
// always one line of printable text: control characters in the file's name or
// the message show there escaped as \u000a and the like, while file() and
// message() keep them as they are.
class ModelError : public std::runtime_error {
 public:
  // What kind of fault it is, for callers that treat them apart (a report, a
  // scene deciding whether the fault is its own or the named file's).
  enum class Kind {
    kCannotOpen,     // the file cannot be opened or read (missing, no permission)
    kSyntax,         // its content is not what its format allows
    kLimit,          // past a limit of this host (statement length, counts, file size)
    kOutOfMemory,    // memory ran out while reading or building it
    kUnsupported,    // no reader of this host takes it
    kReaderCrashed,  // the reader it went to died on it or could not be started
    kGeometryLost,   // its reader would not hand over its geometry as stored
    kTimedOut,       // its reader did not finish within the time limit
  };

  // A fault of kind kSyntax.
  ModelError(const std::string& file, int64_t line, const std::string& message, int64_t column = 0);
  ModelError(Kind kind, const std::string& file, int64_t line, const std::string& message,
             int64_t column = 0);
  // A fault on `line` whose message names the line itself ("no PLY header in
  // line 1"): line() tells it, what() does not repeat it.
  static ModelError LineInMessage(Kind kind, const std::string& file, int64_t line,
                                  const std::string& message);

  Kind kind() const noexcept { return kind_; }
  const std::string& file() const noexcept { return file_; }
  int64_t line() const noexcept { return line_; }      // from 1; 0 for none
  int64_t column() const noexcept { return column_; }  // from 1; 0 for none
  const std::string& message() const noexcept { return message_; }

 private:
  ModelError(Kind kind, const std::string& file, int64_t line, const std::string& message,
             int64_t column, bool lineInText);

  Kind kind_;
  std::string file_;
  int64_t line_;
  int64_t column_;
  std::string message_;
};

// The kind's name as a report spells it: "cannot-open", "syntax", "limit",
// "out-of-memory", "unsupported", "reader-crashed", "geometry-lost", "timed-out".
const char* KindName(ModelError::Kind kind);

// Told how far loading has come: `done` of `total` bytes of the model's files
// (a scene and the OBJ files it names), rising to `total`. Called about once per
// megabyte, on the loading thread, and not at all when the sizes cannot be told
// (a pipe, say). An exception it throws abandons the load, which then leaves the
// document unchanged, and reaches the caller.
using LoadProgress = std::function<void(uint64_t done, uint64_t total)>;

}  // namespace vhost
