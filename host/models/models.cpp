#include "host/models/models.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "host/models/assimp/assimp_file.h"
#include "host/models/model_file.h"
#include "host/models/registry.h"
#include "host/models/source_text.h"

namespace vhost {

void SetImportTimeLimit(std::optional<double> seconds) { models::SetImportTimeLimit(seconds); }

namespace {

// The one loading path: the format's own load, or its file read and every
// object handed over in file order, the first made current.
void LoadAs(const models::Format& format, const std::string& path, Document& document,
            const LoadProgress& progress) {
  models::NamingOutOfMemory(path, [&] {
    if (format.load) {
      format.load(path, document, progress);
      return;
    }
    const std::unique_ptr<models::ModelFile> file = models::ReadAs(
        format, path, models::ProgressShare(&progress, 0, models::FileSizeOrZero(path)));
    const int32_t first = document.SlotCount();
    const bool loaded = file->ObjectCount() > 0;
    file->MoveObjectsTo(document);
    if (loaded) document.currentIndex = first;
  });
}

}  // namespace

void LoadObj(const std::string& path, Document& document, const LoadProgress& progress) {
  // By the OBJ entry whatever the path's extension: the caller says what it is.
  LoadAs(*models::FormatFor(".obj"), path, document, progress);
}

void LoadModel(const std::string& path, Document& document, const LoadProgress& progress) {
  const models::Format* format = models::FormatFor(path);
  if (format == nullptr) throw models::UnsupportedExtension(path);
  LoadAs(*format, path, document, progress);
}

std::vector<std::string> SupportedExtensions() { return models::SupportedExtensions(); }

}  // namespace vhost
