// Shared by the model loader harnesses: a private scratch directory for the
// files a load reads, and the checks every load must pass.
//
// The readers take their input from memory (the OBJ reader a ByteSource, the
// scene reader its text, the checks before an assimp import the bytes), so most
// inputs never touch the disk. Files remain where a load reads by path: the
// OBJ files a scene names, an assimp import (made by path in the tool, in a
// child process of its own) and a whole tool run. The directory is made once
// per fuzzing process and removed when it ends.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/models/models.h"

namespace fuzzing {

[[noreturn]] inline void ModelFail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

// The scratch directory of this process, below the system's temporary one.
inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path dir = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "veltrane-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ModelFail("cannot make a scratch directory");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchDir(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return dir;
}

// Writes `bytes` to `name` in the scratch directory and returns its path.
inline std::string WriteScratch(const std::string& name, const std::string& bytes) {
  const std::filesystem::path path = ScratchDir() / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) ModelFail("cannot write " + path.string());
  return path.string();
}

// Loads a model into a document that already holds one object, with `load`
// (called with the document), and checks the all-or-nothing promise: a refused
// model leaves the document exactly as it was; an accepted one appends
// well-formed objects and makes one of them current. Any exception but
// ModelError escapes and stops the run. Returns the number of slots the model
// added.
template <typename Load>
int32_t LoadAndCheck(Load load, bool objSlotsOnly) {
  vhost::Document document;
  vhost::Object& sentinel = document.AddObject("sentinel");
  sentinel.AddVertex({0, 0, 0});
  sentinel.AddFace({0});
  document.currentIndex = 0;
  try {
    load(document);
  } catch (const vhost::ModelError& error) {
    if (document.SlotCount() != 1 || document.At(0) != &sentinel || document.currentIndex != 0 ||
        sentinel.VertexCount() != 1 || sentinel.FaceCount() != 1) {
      ModelFail(std::string("a refused model changed the document: ") + error.what());
    }
    if (error.file().empty() || error.message().empty()) ModelFail("an error without its place");
    return 0;
  }
  if (document.At(0) != &sentinel) ModelFail("a load replaced an existing object");
  const int32_t added = document.SlotCount() - 1;
  bool anyObject = false;
  for (int32_t slot = 1; slot < document.SlotCount(); ++slot)
    anyObject |= document.At(slot) != nullptr;
  // A model of empty slots only makes its first slot current.
  if (added > 0 && (document.currentIndex < 1 || document.currentIndex >= document.SlotCount() ||
                    (anyObject && document.At(document.currentIndex) == nullptr))) {
    ModelFail("the current slot is not one of the model's objects");
  }
  for (int32_t slot = 1; slot < document.SlotCount(); ++slot) {
    const vhost::Object* object = document.At(slot);
    if (object == nullptr) {
      if (objSlotsOnly) ModelFail("an OBJ file gave an empty slot");
      continue;
    }
    if (objSlotsOnly && object->FaceCount() == 0) ModelFail("an object without geometry was kept");
    for (int32_t f = 0; f < object->FaceCount(); ++f) {
      if (object->FacePointCount(f) < 1) ModelFail("a face of no points");
      for (int32_t v : object->FacePoints(f)) {
        if (v < 0 || v >= object->VertexCount()) ModelFail("a face names a missing vertex");
      }
    }
    // An OBJ object lists only the vertices its elements use.
    for (int32_t v = 0; objSlotsOnly && v < object->VertexCount(); ++v) {
      if (object->VertexRefCount(v) == 0) ModelFail("an OBJ object kept an unused vertex");
    }
  }
  return added;
}

// The same for `path`, loaded by `loader`, a loader of models.h.
template <typename Loader>
int32_t LoadAndCheck(Loader loader, const std::string& path, bool objSlotsOnly) {
  return LoadAndCheck(
      [&](vhost::Document& document) { loader(path, document, vhost::LoadProgress{}); },
      objSlotsOnly);
}

}  // namespace fuzzing
