// A Wavefront OBJ file read into the objects it holds: the OBJ loader takes all
// of them, a scene copies the ones it picks by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/model/documents.h"
#include "host/models/registry.h"
#include "host/models/source_text.h"

namespace vhost::models {

// Who splits the file into statements while its objects are built: the
// building thread itself, a second thread a few blocks ahead of it, or (kAuto)
// a second thread for a regular file of a few megabytes or more. The file reads
// the same either way; tests compare the two.
enum class ObjThreads { kAuto, kOne, kTwo };

class ObjFile {
 public:
  // Reads and checks the whole file in one pass, building its objects as it
  // goes. Throws ModelError naming the file and, for faults in its text, the
  // line; std::bad_alloc when memory runs out. Progress is told on the
  // caller's thread. kTwo splits a pipe or device on the caller's thread too:
  // a second thread could not be stopped while it waits on one.
  static ObjFile Read(const std::string& path, const ProgressShare& progress = {},
                      ObjThreads threads = ObjThreads::kAuto);
  // Reads the bytes of `source` as the file `path` names in its messages.
  static ObjFile Read(ByteSource& source, const std::string& path,
                      const ProgressShare& progress = {}, ObjThreads threads = ObjThreads::kAuto);

  ObjFile(ObjFile&&) noexcept;
  ObjFile& operator=(ObjFile&&) noexcept;
  ~ObjFile();

  int32_t ObjectCount() const;
  const std::string& ObjectName(int32_t index) const;

  // Copies object `index` into a new slot of `document`; the file keeps its
  // own. Throws std::out_of_range for a bad index; on running out of memory,
  // `document` is unchanged.
  Object& AddObjectTo(int32_t index, Document& document);

  // Moves every object to new slots at the end of `document`, in file order,
  // leaving this file without any (ObjectCount() 0). When memory runs out,
  // neither changes.
  void MoveObjectsTo(Document& document);

 private:
  struct Data;
  explicit ObjFile(std::unique_ptr<Data> data);
  std::unique_ptr<Data> data_;
};

// The OBJ reader's entry in the registry: ".obj", and a path without extension.
Format ObjFormat();

}  // namespace vhost::models
