#include "host/models/model_file.h"

#include <algorithm>
#include <cctype>

#include "host/models/registry.h"

namespace vhost::models {

void ModelFile::MoveObjectsTo(Document& document) {
  Document staging;
  for (int32_t i = 0; i < ObjectCount(); ++i) AddObjectTo(i, staging);
  document.TakeSlots(staging);
}

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::vector<std::string> SupportedExtensions() {
  std::vector<std::string> extensions;
  for (const Format& format : Formats()) {
    extensions.insert(extensions.end(), format.extensions.begin(), format.extensions.end());
  }
  std::sort(extensions.begin(), extensions.end());
  return extensions;
}

ModelError UnsupportedExtension(const std::string& path) {
  std::string list;
  for (const std::string& extension : SupportedExtensions()) {
    list += (list.empty() ? "" : " ") + extension;
  }
  return ModelError(
      ModelError::Kind::kUnsupported, path, 0,
      "no reader of this host takes \"" + LowerExtension(path) + "\" files; it reads " + list);
}

std::unique_ptr<ModelFile> ReadModelFile(const std::string& path, const ProgressShare& progress) {
  const Format* format = FormatFor(path);
  if (format == nullptr) throw UnsupportedExtension(path);
  return ReadAs(*format, path, progress);
}

}  // namespace vhost::models
