// The tool's scene loader on any bytes as the scene file. Beside it lie a few
// OBJ files a scene may name: one with two named objects, one without any `o`
// or `g`, one with a broken line and an empty one, so that entries taking
// geometry from files, picking objects out of them and failing in them are all
// reachable. Every input is either loaded or refused with a ModelError that
// leaves the document as it was. The scene's text is read from memory, as a
// file "scene.json" beside those OBJ files, which its entries read from disk.
#include "host/models/scene/scene_loader.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/model_support.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  fuzzing::WriteScratch("parts.obj",
                        "o Lid\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n"
                        "o Body\nv 0 0 1\nv 1 0 1\nv 0 1 1\nf -3 -2 -1\nl 5 6 7\np 4\n");
  fuzzing::WriteScratch("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  fuzzing::WriteScratch("profile.obj", "v 0 0 0\nv 1 0.5 0\nv 0.5 1 0\nl 1 2 3\n");
  fuzzing::WriteScratch("bad.obj", "v 0 0 0\nf 1 2 9\n");
  fuzzing::WriteScratch("empty.obj", "");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = (fuzzing::ScratchDir() / "scene.json").string();
  const std::string text(reinterpret_cast<const char*>(data), size);
  fuzzing::LoadAndCheck(
      [&](vhost::Document& document) { vhost::models::LoadSceneText(text, path, document); },
      /*objSlotsOnly=*/false);
  return 0;
}
