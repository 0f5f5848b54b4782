// Report files a run writes beside its stdout: replaced whole, so that a reader
// (a CI step, a person) sees the old file or the new one and never a torn one,
// or appended to, for a file another program owns (GitHub's step summary).
#pragma once

#include <string>

namespace vtool {

// Writes `content` to a temporary file in `path`'s folder and renames it over
// `path`. Answers an empty string on success, else the reason, naming `path`; a
// failure leaves an existing file at `path` as it was and no temporary file.
// An existing file keeps its permissions; a new one gets the usual ones (0666
// less the umask). (Not ReplaceFile: <windows.h> makes that name a macro.)
std::string ReplaceWhole(const std::string& path, const std::string& content);

// Appends `content` to `path`, creating it when missing. Answers an empty string
// on success, else the reason, naming `path`.
std::string AppendToFile(const std::string& path, const std::string& content);

}  // namespace vtool
