// vhost-load-model: loads model files into stand-in host documents and tells what
// each object holds and how long the load took. No plug-in is involved.
//
// usage: vhost-load-model [--summary] MODEL...
// Exit status 0 when every model loaded, 2 when any could not be.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "host/models/models.h"

namespace {

struct Tally {
  int64_t vertices = 0;
  int64_t faces[6] = {};  // by points: 1, 2, 3, 4, 5 or more; [0] is unused
};

Tally Count(const vhost::Object& object) {
  Tally tally;
  for (int32_t v = 0; v < object.VertexCount(); ++v) tally.vertices += object.VertexRefCount(v) > 0;
  for (int32_t f = 0; f < object.FaceCount(); ++f) {
    const int32_t n = object.FacePointCount(f);
    if (n > 0) ++tally.faces[n < 5 ? n : 5];
  }
  return tally;
}

void Print(const char* label, const Tally& t) {
  std::printf("  %-24s V %-9lld 1: %-8lld 2: %-8lld 3: %-8lld 4: %-8lld 5+: %lld\n", label,
              static_cast<long long>(t.vertices), static_cast<long long>(t.faces[1]),
              static_cast<long long>(t.faces[2]), static_cast<long long>(t.faces[3]),
              static_cast<long long>(t.faces[4]), static_cast<long long>(t.faces[5]));
}

int Load(const std::string& path, bool summary) {
  vhost::Document document;
  const auto start = std::chrono::steady_clock::now();
  try {
    vhost::LoadModel(path, document);
  } catch (const vhost::ModelError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("%s: %d slots, current %d, loaded in %.3f s\n", path.c_str(), document.SlotCount(),
              document.currentIndex, seconds.count());
  Tally all;
  for (int32_t i = 0; i < document.SlotCount(); ++i) {
    const vhost::Object* object = document.At(i);
    if (object == nullptr) {
      if (!summary) std::printf("  [%d] (empty)\n", i);
      continue;
    }
    const Tally t = Count(*object);
    all.vertices += t.vertices;
    for (int k = 1; k <= 5; ++k) all.faces[k] += t.faces[k];
    if (!summary) {
      const std::string label =
          "[" + std::to_string(i) + "] " + object->name + (object->visible ? "" : " (hidden)");
      Print(label.c_str(), t);
    }
  }
  Print("all", all);
  return 0;
}

void Usage(std::FILE* out) { std::fprintf(out, "usage: vhost-load-model [--summary] MODEL...\n"); }

}  // namespace

int main(int argc, char** argv) {
  bool summary = false;
  int status = 0;
  int models = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      Usage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--summary") == 0) {
      summary = true;
      continue;
    }
    if (argv[i][0] == '-') {
      Usage(stderr);
      return 2;
    }
    ++models;
    try {
      if (Load(argv[i], summary) != 0) status = 2;
    } catch (const std::exception& error) {  // out of memory, say
      std::fprintf(stderr, "%s: %s\n", argv[i], error.what());
      status = 2;
    }
  }
  if (models == 0) {
    Usage(stderr);
    return 2;
  }
  return status;
}
