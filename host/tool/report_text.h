// What the reports for CI systems (JUnit, GitHub, Markdown) say alike: how a
// verdict reads without its file's name, where a model sits (folder and file
// name), and text made valid UTF-8 for formats that cannot carry anything else.
// Each report escapes for its own syntax; this unit only phrases.
#pragma once

#include <string>

#include "host/tool/result.h"

namespace vtool {

// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD,
// as the JSON replaces them, so that XML and Markdown stay readable whatever a
// file's name holds.
std::string ValidUtf8(const std::string& text);

// A verdict that is not "within" in one line, without the file's name (the
// report puts that in its own place): the object for a per-object budget, the
// value, the budget and its limit, and always where the limit was set, since a
// reader of a CI report did not type the command line:
//   object "wheel": 70000 vertices, over max-object-vertices 65535 (veltrane.toml:3)
std::string VerdictMessage(const ModelResult& result, const Verdict& verdict);

// Whether the model's row F counted triangles (Triangle ticked), not polygons.
bool TrianglesInF(const ModelResult& result);

// The folder of a model as given ("." when it has none) and its file name;
// standard input is "<stdin>" in ".". Control characters are written \u000a.
struct ModelPlace {
  std::string folder;
  std::string file;
};
ModelPlace PlaceOf(const std::string& path);

}  // namespace vtool
