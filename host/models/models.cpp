#include "host/models/models.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "host/models/assimp_file.h"
#include "host/models/model_file.h"
#include "host/models/obj_file.h"
#include "host/models/source_text.h"

namespace vhost {
namespace {

std::string Where(const std::string& file, int64_t line, int64_t column) {
  std::string where = Printable(file);
  if (line > 0) where += ":" + std::to_string(line);
  if (line > 0 && column > 0) where += ":" + std::to_string(column);
  return where;
}

}  // namespace

void SetImportTimeLimit(std::optional<double> seconds) { models::SetImportTimeLimit(seconds); }

std::string Printable(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      printable += escape;
    } else {
      printable += c;
    }
  }
  return printable;
}

ModelError::ModelError(const std::string& file, int64_t line, const std::string& message,
                       int64_t column)
    : std::runtime_error(Where(file, line, column) + ": " + Printable(message)),
      file_(file),
      line_(line),
      column_(line > 0 ? column : 0),
      message_(message) {}

void LoadObj(const std::string& path, Document& document, const LoadProgress& progress) try {
  models::ObjFile file = models::ObjFile::Read(
      path, models::ProgressShare(&progress, 0, models::FileSizeOrZero(path)));
  const int32_t first = document.SlotCount();
  const bool loaded = file.ObjectCount() > 0;
  file.MoveObjectsTo(document);
  if (loaded) document.currentIndex = first;
} catch (const std::bad_alloc&) {
  throw models::OutOfMemory(path);
} catch (const std::length_error&) {  // a size past what a container can hold
  throw models::OutOfMemory(path);
}

void LoadModel(const std::string& path, Document& document, const LoadProgress& progress) try {
  switch (models::ReaderFor(path)) {
    case models::Reader::kScene:
      LoadScene(path, document, progress);
      return;
    case models::Reader::kObj:
      LoadObj(path, document, progress);
      return;
    case models::Reader::kAssimp:
      break;
    case models::Reader::kNone:
      throw models::UnsupportedExtension(path);
  }
  // The reader is known: asking ReadModelFile would look it up again.
  const std::unique_ptr<models::ModelFile> file = models::ReadAssimpFile(
      path, models::ProgressShare(&progress, 0, models::FileSizeOrZero(path)));
  Document staging;
  for (int32_t i = 0; i < file->ObjectCount(); ++i) file->AddObjectTo(i, staging);
  const int32_t first = document.SlotCount();
  const bool loaded = staging.SlotCount() > 0;
  document.TakeSlots(staging);
  if (loaded) document.currentIndex = first;
} catch (const std::bad_alloc&) {
  throw models::OutOfMemory(path);
} catch (const std::length_error&) {
  throw models::OutOfMemory(path);
}

std::vector<std::string> SupportedExtensions() { return models::SupportedExtensions(); }

}  // namespace vhost
