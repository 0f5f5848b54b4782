// The tool's OBJ loader on any bytes: statements known and unknown, indices in
// and out of range, negative and relative ones, overlong lines, NULs, comments
// and line continuations. Every input is either loaded into well-formed objects
// or refused with a ModelError that leaves the document as it was; the reader's
// fast paths give what its general path gives for the same statements, and a
// second thread splitting the file gives what one thread does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/model_support.h"
#include "tests/support/obj_fingerprint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzzing::WriteScratch("model.obj", bytes);
  fuzzing::LoadAndCheck(vhost::LoadObj, path, /*objSlotsOnly=*/true);

  // Fingerprints are text of the whole document: kept to inputs of a size
  // that leaves the fuzzer its speed.
  if (size <= 64 * 1024) {
    using vhost::models::ObjThreads;
    const std::string fast = testing_support::ObjLoadFingerprint(path, ObjThreads::kOne);
    const std::string ahead = testing_support::ObjLoadFingerprint(path, ObjThreads::kTwo);
    if (ahead != fast) {
      fuzzing::ModelFail("splitting on a second thread differs:\n--- one thread\n" + fast +
                         "\n--- two threads\n" + ahead);
    }
    fuzzing::WriteScratch("model.obj", testing_support::WithBlankStatementStarts(bytes));
    const std::string general = testing_support::ObjLoadFingerprint(path, ObjThreads::kOne);
    if (fast != general) {
      fuzzing::ModelFail("the fast and the general path differ:\n--- as written\n" + fast +
                         "\n--- every statement after a blank\n" + general);
    }
  }
  return 0;
}
