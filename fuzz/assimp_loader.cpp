// The tool's assimp path on any bytes, in the formats whose readers take raw
// bytes: byte 0 chooses the extension the rest is written under (PLY, STL ASCII
// or binary, which assimp tells apart by content, and OFF), and the file goes
// to assimp's reader whatever reader LoadModel would take for it (PLY and STL
// have readers of our own, fuzzed by ply_loader and stl_loader). Every input is either
// loaded into well-formed objects (every face point names one of its object's
// vertices) or refused with a ModelError that leaves the document as it was;
// any other exception, a crash, a sanitizer report or a leak is a finding.
//
// The checks made before an import read the bytes from memory: an input they
// refuse is done without a file, and its error must name the file and say
// why. Only an input they pass is written out, for the import: the tool
// imports by path in a child process (which reads the file itself, and takes
// its size for progress and its time limit), so an import from memory would
// go a way no user's file goes. The import runs the checks once more, on the
// file; they must agree.
//
// A request for more memory than a machine has fails with std::bad_alloc, as
// in the tool's import child, not with the sanitizer's report (bounded_new.cpp):
// assimp asks for 80 GB on a few bytes of some PLY files, which the tool
// survives as the file's "out of memory" error.
//
// Assimp is the system's library, built without the sanitizers: a fault inside
// it shows as a crash or a report at the boundary (memcpy, free), not at the
// access itself. Leaks inside it are suppressed for this harness (see
// assimp_loader.lsan.supp for the one it has), so the logger the loader installs
// for each load, an assimp object, is checked here to be gone afterwards.
#include <array>
#include <assimp/DefaultLogger.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/model_support.h"
#include "host/models/assimp/assimp_file.h"
#include "host/models/assimp/assimp_guards.h"

namespace {

constexpr std::array<const char*, 3> kNames = {"model.ply", "model.stl", "model.off"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string name = kNames[data[0] % kNames.size()];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (const std::optional<vhost::ModelError> hazard =
          vhost::models::AssimpReaderHazard(bytes, name)) {
    if (hazard->file() != name || hazard->message().empty()) {
      fuzzing::ModelFail("a refusal without its place");
    }
    return 0;
  }
  const std::string path = fuzzing::WriteScratch(name, std::string(bytes));
  if (vhost::models::AssimpReaderHazard(path)) {
    fuzzing::ModelFail("the checks refuse the file but passed its bytes");
  }
  fuzzing::LoadAndCheck(
      [&](vhost::Document& document) {
        vhost::models::NamingOutOfMemory(path, [&] {
          const auto file = vhost::models::ReadAssimpFile(path, {});
          const int32_t first = document.SlotCount();
          const bool loaded = file->ObjectCount() > 0;
          file->MoveObjectsTo(document);
          if (loaded) document.currentIndex = first;
        });
      },
      /*objSlotsOnly=*/false);
  if (!Assimp::DefaultLogger::isNullLogger()) fuzzing::ModelFail("a load left its logger behind");
  return 0;
}
