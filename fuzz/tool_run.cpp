// The whole of veltrane-host in-process: the loaders, the plug-in in the
// stand-in host, the per-object pass, budgets and the report, on a model file
// written from the input, with --json. Whatever the input, the run must print
// exactly one JSON document that agrees with its exit status: a model is either
// counted (with counts) or an entry with its error (and no counts).
//
// Input: byte 0 chooses the options (bit 0 per-object rows, 1 Freeze, 2 Triangle
// cleared, 3 All cleared, 4 Update cleared, 5 a scene instead of a model file,
// 6 budgets, 7 a file name that is not UTF-8 and holds a newline); the rest is
// the model file, OBJ unless its start says glTF, PLY or STL (Extension). A
// scene may name the OBJ files written beside it.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/model_support.h"
#include "host/loader/paths.h"
#include "host/tool/run.h"

namespace {

using Json = nlohmann::json;

void Require(bool condition, const std::string& what, const std::string& output) {
  if (!condition) fuzzing::ModelFail(what + "\n--- output:\n" + output);
}

// One count group: null, or exactly six whole numbers from 0 to 2147483647.
bool IsCounts(const Json& counts) {
  if (counts.is_null()) return true;
  if (!counts.is_object() || counts.size() != 6) return false;
  for (const auto& [name, value] : counts.items()) {
    if (!value.is_number_integer() || value.get<int64_t>() < 0 ||
        value.get<int64_t>() > 2147483647) {
      return false;
    }
  }
  return true;
}

// The extension the input is written under: a scene by the flags, else the
// format its start says (binary glTF, glTF JSON, PLY, STL text or a file of a
// binary STL's size), else OBJ.
std::string Extension(uint8_t flags, const std::string& bytes) {
  if ((flags & 0x20) != 0) return ".json";
  if (bytes.rfind("glTF", 0) == 0) return ".glb";
  if (bytes.rfind("{", 0) == 0 && bytes.find("\"asset\"") != std::string::npos) return ".gltf";
  if (bytes.rfind("ply", 0) == 0) return ".ply";
  uint32_t facets = 0;
  if (bytes.size() >= 84) std::memcpy(&facets, bytes.data() + 80, sizeof facets);
  if (bytes.rfind("solid", 0) == 0 || (bytes.size() >= 84 && bytes.size() == 84 + 50ULL * facets)) {
    return ".stl";
  }
  return ".obj";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Each run loads and unloads the plug-in, as the tool does; one extra load held
  // for the whole process keeps the library mapped, so that the fuzzer's coverage
  // counters inside it stay readable between runs.
  if (dlopen(vhost::BesideExecutable(VELTRANE_PLUGIN_FILE).c_str(), RTLD_NOW | RTLD_NODELETE) ==
      nullptr) {
    fuzzing::ModelFail(std::string("cannot load the plug-in: ") + dlerror());
  }
  fuzzing::WriteScratch("parts.obj",
                        "o Lid\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n"
                        "o Body\nv 0 0 1\nv 1 0 1\nv 0 1 1\nf -3 -2 -1\nl 5 6 7\np 4\n");
  fuzzing::WriteScratch("profile.obj", "v 0 0 0\nv 1 0.5 0\nv 0.5 1 0\nl 1 2 3\n");
  fuzzing::WriteScratch("bad.obj", "v 0 0 0\nf 1 2 9\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string name =
      std::string((flags & 0x80) != 0 ? "m\xff\n" : "model") + Extension(flags, bytes);
  vtool::Options options;
  options.models = {fuzzing::WriteScratch(name, bytes)};
  options.plugin = vhost::BesideExecutable(VELTRANE_PLUGIN_FILE);
  options.json = true;
  options.objects = (flags & 0x01) != 0;
  using Kind = vtool::Action::Kind;
  if ((flags & 0x02) != 0) options.actions.push_back({Kind::kTick, "Freeze"});
  if ((flags & 0x04) != 0) options.actions.push_back({Kind::kUntick, "Triangle"});
  if ((flags & 0x08) != 0) options.actions.push_back({Kind::kUntick, "All"});
  if ((flags & 0x10) != 0) options.actions.push_back({Kind::kUntick, "Update"});
  if ((flags & 0x40) != 0) {
    options.budgets.faces = 3;
    options.budgets.triangles = 100;
    options.objectBudgets.vertices = 4;
  }

  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* out = open_memstream(&text, &length);
  std::FILE* err = std::fopen("/dev/null", "w");
  if (out == nullptr || err == nullptr) fuzzing::ModelFail("cannot open the output streams");
  const int status = vtool::Run(options, out, err);
  std::fclose(out);
  std::fclose(err);
  const std::string output(text, length);
  std::free(text);

  Json doc;
  try {
    doc = Json::parse(output);
  } catch (const Json::exception& error) {
    Require(false, std::string("the output is not one JSON document: ") + error.what(), output);
  }
  Require(status >= 0 && status <= 2, "an exit status outside 0 to 2", output);
  Require(doc.value("schema", "") == "veltrane-host/1", "no schema", output);
  Require(doc["exit_status"] == status, "exit_status is not the exit status", output);
  Require(doc["error"].is_null(), "a run-level error: " + doc["error"].dump(), output);
  Require(doc["models"].is_array() && doc["models"].size() == 1, "not one model entry", output);
  const Json& model = doc["models"][0];
  if (model["error"].is_string()) {
    Require(status == 2, "a model error with exit status " + std::to_string(status), output);
    Require(model["current"].is_null() && model["all"].is_null() && model["objects"].is_null(),
            "counts beside an error", output);
    Require(!model["error"].get<std::string>().empty(), "an empty error", output);
  } else {
    Require(model["error"].is_null(), "an error that is not a text", output);
    Require(IsCounts(model["current"]) && IsCounts(model["all"]), "malformed counts", output);
    const bool update = (flags & 0x10) == 0;
    Require(update == model["current"].is_object(), "counts without Update, or none with it",
            output);
    for (const Json& verdict : model["budgets"]) {
      if (verdict["verdict"] == "unchecked") Require(status == 2, "unchecked but not 2", output);
      if (verdict["verdict"] == "over") Require(status >= 1, "over but exit 0", output);
    }
    if (status == 0) {
      for (const Json& verdict : model["budgets"]) {
        Require(verdict["verdict"] == "within", "exit 0 with a budget not within", output);
      }
    }
    if (update && options.objects) {
      Require(model["objects"].is_array(), "no object rows", output);
      for (const Json& row : model["objects"]) {
        Require(row["counts"].is_object() && IsCounts(row["counts"]), "a row without counts",
                output);
      }
    }
  }
  return 0;
}
