// The tool's OBJ loader on any bytes: statements known and unknown, indices in
// and out of range, negative and relative ones, overlong lines, NULs, comments
// and line continuations. Every input is either loaded into well-formed objects
// or refused with a ModelError that leaves the document as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/model_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path =
      fuzzing::WriteScratch("model.obj", std::string(reinterpret_cast<const char*>(data), size));
  fuzzing::LoadAndCheck(vhost::LoadObj, path, /*objSlotsOnly=*/true);
  return 0;
}
