// The model formats this host reads, each an entry that its reader's own
// folder makes (obj/, scene/, gltf/, ..., assimp/) and registers with one line of
// CMakeLists.txt, which lists them for RegisteredFormats. A path goes to the
// first entry that takes its extension; everything that lists the formats (the
// supported extensions, the tool's --formats and help text) is made from the
// entries, so that a new format is its folder plus that one line.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/model/documents.h"
#include "host/models/model_error.h"
#include "host/models/model_file.h"

namespace vhost::models {

struct Format {
  std::string name;  // "OBJ": for people, never matched
  // Lower-case with the dot, sorted. A format without any reads nothing in
  // this build, but still speaks in the tool's texts (assimp on Windows).
  std::vector<std::string> extensions;
  bool takesNoExtension = false;  // also a path without extension: a pipe, /dev/stdin
  // Whether a file with one of `extensions`, met in a folder walk, is of this
  // format, by its content; null: every such file is. (A folder holds .json
  // files of every kind; only the scenes among them are models.)
  std::function<bool(const std::string& path)> claims;
  // The entry whose files this one reads in its place (our own glTF reader
  // stands in for assimp's): when the tool is told to use that reader
  // (UseReader), this entry steps aside. Empty: none.
  std::string standsInFor;

  // Reads and checks a whole file into the objects it holds. Throws
  // ModelError naming the file; std::bad_alloc and std::length_error when memory
  // runs out. A format whose files hold no objects to pick (a scene) says why.
  std::function<std::unique_ptr<ModelFile>(const std::string& path, const ProgressShare& progress)>
      read;
  // Loads a file into `document` itself, all or nothing, for a format whose
  // loading is more than reading its objects (a scene's slots and current
  // object); null: read, then every object in file order, the first current.
  std::function<void(const std::string& path, Document& document, const LoadProgress& progress)>
      load;

  // What --formats says of it: `listing` among the extensions, `notes` after
  // them, each of whole lines. `help` is its words in the tool's help. An entry
  // that `listsExtensions` has its extensions that no earlier entry takes
  // listed below its `listing`, wrapped (assimp's many).
  std::string listing;
  bool listsExtensions = false;
  std::string notes;
  std::string help;
};

// What a reader throws when it finds, by its content, that a file is not one it
// reads after all (a glTF 1.0 file for the glTF 2.0 reader): the next entry that
// takes the extension reads it, and only when none does is the file refused,
// with this error.
class NotThisReader : public ModelError {
 public:
  using ModelError::ModelError;
};

// Every format of this build, in the order a path is matched against them.
const std::vector<Format>& Formats();

// The entries the format folders registered, newly made, in that order
// (registered_formats.cpp, made by the build). Formats() keeps one copy.
std::vector<Format> RegisteredFormats();

// The format that reads `path`, by its extension in any case; null for none.
const Format* FormatFor(const std::string& path);

// Makes the entries that stand in for the entry named `name` step aside for
// every later path ("assimp": --reader assimp); empty: every entry reads what
// it takes. Process-wide, as the tool's options are: set once before loading.
void UseReader(const std::string& name);

// Reads `path` with `format`, or with the entries after it that take its
// extension when one says NotThisReader. Throws as Format::read does.
std::unique_ptr<ModelFile> ReadAs(const Format& format, const std::string& path,
                                  const ProgressShare& progress);

// Whether a folder walk takes the regular file `path`: a format takes its
// extension (a path without one is not taken, though a named one is read as
// OBJ) and claims its content.
bool WalkTakes(const std::string& path);

// What --formats prints: the extensions this build reads and what counts in each.
std::string FormatsText();

// The tool help's paragraph on formats, ending with a line end.
std::string FormatsHelp();

}  // namespace vhost::models
