#include "host/models/model_file.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "host/models/assimp_file.h"
#include "host/models/obj_file.h"

namespace vhost::models {
namespace {

class ObjModelFile : public ModelFile {
 public:
  explicit ObjModelFile(ObjFile file) : file_(std::move(file)) {}
  int32_t ObjectCount() const override { return file_.ObjectCount(); }
  const std::string& ObjectName(int32_t index) const override { return file_.ObjectName(index); }
  Object& AddObjectTo(int32_t index, Document& document) override {
    return file_.AddObjectTo(index, document);
  }

 private:
  ObjFile file_;
};

}  // namespace

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

Reader ReaderFor(const std::string& path) {
  const std::string extension = LowerExtension(path);
  // A path without extension (a pipe, /dev/stdin) is read as OBJ, as it always was.
  if (extension.empty() || extension == ".obj") return Reader::kObj;
  if (extension == ".json") return Reader::kScene;
  const std::vector<std::string> assimp = AssimpExtensions();
  return std::binary_search(assimp.begin(), assimp.end(), extension) ? Reader::kAssimp
                                                                     : Reader::kNone;
}

std::vector<std::string> SupportedExtensions() {
  std::vector<std::string> extensions = AssimpExtensions();
  extensions.push_back(".json");
  extensions.push_back(".obj");
  std::sort(extensions.begin(), extensions.end());
  return extensions;
}

ModelError UnsupportedExtension(const std::string& path) {
  std::string list;
  for (const std::string& extension : SupportedExtensions()) {
    list += (list.empty() ? "" : " ") + extension;
  }
  return ModelError(
      path, 0,
      "no reader of this host takes \"" + LowerExtension(path) + "\" files; it reads " + list);
}

std::unique_ptr<ModelFile> ReadModelFile(const std::string& path, const ProgressShare& progress) {
  switch (ReaderFor(path)) {
    case Reader::kObj:
      return std::make_unique<ObjModelFile>(ObjFile::Read(path, progress));
    case Reader::kAssimp:
      return ReadAssimpFile(path, progress);
    case Reader::kScene:
      throw ModelError(path, 0, "is a scene: a scene's entries name model files");
    case Reader::kNone:
      break;
  }
  throw UnsupportedExtension(path);
}

}  // namespace vhost::models
