// Where veltrane-host talks to the person running it: diagnostics on stderr and
// a progress bar for a large file while a person watches. Diagnostics clear a
// bar that is showing first, so that every message starts a line of its own.
#pragma once

#include <cstdio>
#include <string>

#include "host/models/models.h"

namespace vtool {

class Console {
 public:
  // `err` is the caller's, left open; the bar is drawn only when it is a terminal.
  explicit Console(std::FILE* err);

  // One message on a line of its own.
  void Line(const std::string& line);

  // A progress callback for loading `path`: a bar on a terminal for files large
  // enough to need one, else nothing. It refers to this console, which must
  // outlive the load.
  vhost::LoadProgress Bar(const std::string& path);

  // Removes a bar that is showing.
  void ClearBar();

 private:
  std::FILE* err_;
  bool tty_;
  bool barShown_ = false;
};

}  // namespace vtool
