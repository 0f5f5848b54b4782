// The tool's glTF reader on any bytes: a .glb container or .gltf JSON (the
// JSON may name buffers as data: URIs; a buffer file beside it reads as
// missing), with accessors, views, sparse values, strides, modes and the
// compressions in every combination the bytes make. Every input is either
// loaded into well-formed objects (every face point names one of its object's
// vertices) or refused with a ModelError that names the file and leaves the
// document as it was. The bytes are read from memory, as "model.glb".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/model_support.h"
#include "host/models/gltf/gltf_file.h"
#include "host/models/model_error.h"
#include "host/models/source_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string name = "model.glb";
  fuzzing::LoadAndCheck(
      [&](vhost::Document& document) {
        vhost::models::NamingOutOfMemory(name, [&] {
          const auto noFiles = [&name](const std::string& uri, uint64_t) -> std::string {
            throw vhost::ModelError(name, 0, "buffer \"" + uri + "\": cannot open");
          };
          const auto file = vhost::models::gltf::ReadGltfBytes(name, bytes, noFiles);
          const int32_t first = document.SlotCount();
          const bool loaded = file->ObjectCount() > 0;
          file->MoveObjectsTo(document);
          if (loaded) document.currentIndex = first;
        });
      },
      /*objSlotsOnly=*/false);
  return 0;
}
