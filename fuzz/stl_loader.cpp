// Our STL reader on any bytes: text solids, facets and numbers of any shape,
// and binary files (any file whose size its facet count makes). Every input is
// either loaded into well-formed objects, each holding triangles only, or
// refused with a ModelError that leaves the document as it was. The bytes are
// read from memory, as the file "model.stl", by the reader LoadModel uses for
// such a file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/model_support.h"
#include "host/models/source_text.h"
#include "host/models/stl/stl_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzzing::LoadAndCheck(
      [&](vhost::Document& document) {
        vhost::models::NamingOutOfMemory("model.stl", [&] {
          vhost::models::MemorySource source(bytes);
          const auto file = vhost::models::ReadStlFile(source, "model.stl");
          const int32_t first = document.SlotCount();
          const bool loaded = file->ObjectCount() > 0;
          file->MoveObjectsTo(document);
          if (loaded) document.currentIndex = first;
          for (int32_t slot = first; slot < document.SlotCount(); ++slot) {
            const vhost::Object& object = *document.At(slot);
            if (object.FaceCount() == 0) fuzzing::ModelFail("an STL object without facets");
            for (int32_t f = 0; f < object.FaceCount(); ++f) {
              if (object.FacePointCount(f) != 3) fuzzing::ModelFail("an STL facet not a triangle");
            }
          }
        });
      },
      /*objSlotsOnly=*/false);
  return 0;
}
