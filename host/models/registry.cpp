#include "host/models/registry.h"

#include <algorithm>

namespace vhost::models {

const std::vector<Format>& Formats() {
  // Made once, on first use: a format's entry may ask its library what it reads.
  static const std::vector<Format> formats = RegisteredFormats();
  return formats;
}

const Format* FormatFor(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const Format& format : Formats()) {
    if (extension.empty()
            ? format.takesNoExtension
            : std::binary_search(format.extensions.begin(), format.extensions.end(), extension)) {
      return &format;
    }
  }
  return nullptr;
}

bool WalkTakes(const std::string& path) {
  if (LowerExtension(path).empty()) return false;
  const Format* format = FormatFor(path);
  return format != nullptr && (!format->claims || format->claims(path));
}

std::string FormatsText() {
  std::string text = "veltrane-host reads these extensions (in any case):\n";
  for (const Format& format : Formats()) text += format.listing;
  for (const Format& format : Formats()) text += format.notes;
  return text;
}

std::string FormatsHelp() {
  std::string text = "Formats: ";
  for (const Format& format : Formats()) text += format.help;
  return text;
}

}  // namespace vhost::models
