// Our PLY reader on any bytes: headers declaring any elements, properties and
// types, text and binary bodies of either byte order, lists of any size,
// indices in and out of range. Every input is either loaded into well-formed
// objects or refused with a ModelError that leaves the document as it was.
// The bytes are read from memory, as the file "model.ply", by the reader
// LoadModel uses for such a file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/model_support.h"
#include "host/models/ply/ply_file.h"
#include "host/models/source_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // As a load hands a read file over: every object in file order, the first current.
  fuzzing::LoadAndCheck(
      [&](vhost::Document& document) {
        vhost::models::NamingOutOfMemory("model.ply", [&] {
          vhost::models::MemorySource source(bytes);
          const auto file = vhost::models::ReadPlyFile(source, "model.ply");
          const int32_t first = document.SlotCount();
          const bool loaded = file->ObjectCount() > 0;
          if (file->ObjectCount() > 1) fuzzing::ModelFail("a PLY file gave more than one object");
          file->MoveObjectsTo(document);
          if (loaded) document.currentIndex = first;
        });
      },
      /*objSlotsOnly=*/false);
  return 0;
}
