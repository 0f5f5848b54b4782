// The tool's OBJ loader on any bytes: statements known and unknown, indices in
// and out of range, negative and relative ones, overlong lines, NULs, comments
// and line continuations. Every input is either loaded into well-formed objects
// or refused with a ModelError that leaves the document as it was; the reader's
// fast paths give what its general path gives for the same statements, and a
// second thread splitting the file gives what one thread does. The bytes are
// read from memory, as the file "model.obj", by the reader LoadObj uses.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/model_support.h"
#include "host/models/obj/obj_file.h"
#include "host/models/source_text.h"
#include "tests/support/obj_fingerprint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // As LoadObj hands a read file over: every object in file order, the first current.
  fuzzing::LoadAndCheck(
      [&](vhost::Document& document) {
        vhost::models::NamingOutOfMemory("model.obj", [&] {
          vhost::models::MemorySource source(bytes);
          vhost::models::ObjFile file = vhost::models::ObjFile::Read(source, "model.obj");
          const int32_t first = document.SlotCount();
          const bool loaded = file.ObjectCount() > 0;
          file.MoveObjectsTo(document);
          if (loaded) document.currentIndex = first;
        });
      },
      /*objSlotsOnly=*/true);

  // Fingerprints are text of the whole document: kept to inputs of a size
  // that leaves the fuzzer its speed.
  if (size <= 64 * 1024) {
    using vhost::models::ObjThreads;
    const std::string fast = testing_support::ObjBytesFingerprint(bytes, ObjThreads::kOne);
    const std::string ahead = testing_support::ObjBytesFingerprint(bytes, ObjThreads::kTwo);
    if (ahead != fast) {
      fuzzing::ModelFail("splitting on a second thread differs:\n--- one thread\n" + fast +
                         "\n--- two threads\n" + ahead);
    }
    const std::string general = testing_support::ObjBytesFingerprint(
        testing_support::WithBlankStatementStarts(bytes), ObjThreads::kOne);
    if (fast != general) {
      fuzzing::ModelFail("the fast and the general path differ:\n--- as written\n" + fast +
                         "\n--- every statement after a blank\n" + general);
    }
  }
  return 0;
}
