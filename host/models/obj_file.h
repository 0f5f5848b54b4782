// A Wavefront OBJ file read into memory, from which objects are made on demand:
// the OBJ loader makes all of them, a scene may pick one by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/models/source_text.h"

namespace vhost::models {

class ObjFile {
 public:
  // Reads and checks the whole file. Throws ModelError naming the file and, for
  // faults in its text, the line.
  static ObjFile Read(const std::string& path, const ProgressShare& progress = {});

  ObjFile(ObjFile&&) noexcept;
  ObjFile& operator=(ObjFile&&) noexcept;
  ~ObjFile();

  int32_t ObjectCount() const;
  const std::string& ObjectName(int32_t index) const;

  // Makes object `index` in a new slot of `document`, with its own vertex list.
  // Throws on running out of memory, leaving a part-built object behind: build
  // into a document of your own and hand it over when done.
  Object& AddObjectTo(int32_t index, Document& document);

 private:
  struct Data;
  explicit ObjFile(std::unique_ptr<Data> data);
  std::unique_ptr<Data> data_;
};

}  // namespace vhost::models
