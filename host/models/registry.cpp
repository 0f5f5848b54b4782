#include "host/models/registry.h"

#include <algorithm>
#include <cstddef>
#include <memory>

namespace vhost::models {

const std::vector<Format>& Formats() {
  // Made once, on first use: a format's entry may ask its library what it reads.
  static const std::vector<Format> formats = RegisteredFormats();
  return formats;
}

namespace {

// What UseReader was told last.
std::string& ReaderInUse() {
  static std::string name;
  return name;
}

bool Takes(const Format& format, const std::string& extension) {
  if (!format.standsInFor.empty() && format.standsInFor == ReaderInUse()) return false;
  return extension.empty()
             ? format.takesNoExtension
             : std::binary_search(format.extensions.begin(), format.extensions.end(), extension);
}

// The first entry from `from` on that takes `extension`; null for none.
const Format* FirstFrom(std::size_t from, const std::string& extension) {
  const std::vector<Format>& formats = Formats();
  for (std::size_t i = from; i < formats.size(); ++i) {
    if (Takes(formats[i], extension)) return &formats[i];
  }
  return nullptr;
}

}  // namespace

const Format* FormatFor(const std::string& path) { return FirstFrom(0, LowerExtension(path)); }

void UseReader(const std::string& name) { ReaderInUse() = name; }

std::unique_ptr<ModelFile> ReadAs(const Format& format, const std::string& path,
                                  const ProgressShare& progress) {
  try {
    return format.read(path, progress);
  } catch (const NotThisReader& declined) {
    // `format` is one of Formats(): the next entries are those after it.
    const std::size_t next = static_cast<std::size_t>(&format - Formats().data()) + 1;
    const Format* other = FirstFrom(next, LowerExtension(path));
    if (other == nullptr) throw ModelError(declined);
    return ReadAs(*other, path, progress);
  }
}

bool WalkTakes(const std::string& path) {
  if (LowerExtension(path).empty()) return false;
  const Format* format = FormatFor(path);
  return format != nullptr && (!format->claims || format->claims(path));
}

namespace {

// The extensions `formats[index]` reads that no earlier entry takes, wrapped at
// 78 columns, each line indented as the entries of the other listings.
std::string UntakenExtensions(const std::vector<Format>& formats, std::size_t index) {
  std::string wrapped;
  std::size_t column = 0;
  for (const std::string& extension : formats[index].extensions) {
    bool taken = false;
    for (std::size_t i = 0; i < index && !taken; ++i) {
      taken =
          std::binary_search(formats[i].extensions.begin(), formats[i].extensions.end(), extension);
    }
    if (taken) continue;
    if (column == 0 || column + 1 + extension.size() > 78) {
      wrapped += std::string(wrapped.empty() ? "" : "\n") + "            " + extension;
      column = 12 + extension.size();
    } else {
      wrapped += " " + extension;
      column += 1 + extension.size();
    }
  }
  return wrapped.empty() ? wrapped : wrapped + "\n";
}

}  // namespace

std::string FormatsText() {
  std::string text = "veltrane-host reads these extensions (in any case):\n";
  const std::vector<Format>& formats = Formats();
  for (std::size_t i = 0; i < formats.size(); ++i) {
    text += formats[i].listing;
    if (formats[i].listsExtensions) text += UntakenExtensions(formats, i);
  }
  for (const Format& format : Formats()) text += format.notes;
  return text;
}

std::string FormatsHelp() {
  std::string text = "Formats: ";
  for (const Format& format : Formats()) text += format.help;
  return text;
}

}  // namespace vhost::models
