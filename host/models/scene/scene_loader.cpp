// Scene files: JSON read by nlohmann-json, checked whole before anything is
// loaded, then built into a document of its own that is handed over at the end.
// The reading is scene_json.cpp's, the checks scene_checks.cpp's; here the
// objects are made.
#include "host/models/scene/scene_loader.h"

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/models/limits.h"
#include "host/models/model_file.h"
#include "host/models/scene/scene_checks.h"
#include "host/models/scene/scene_json.h"
#include "host/models/scene/scene_sniff.h"
#include "host/models/source_text.h"

namespace vhost {
namespace {

using models::scene::CheckedScene;
using models::scene::Entry;
using models::scene::Fault;
using models::scene::Json;
using models::scene::kMaxSlots;
using models::scene::LineOf;
using models::scene::Node;
using models::scene::Parse;

void ApplySettings(const Entry& entry, Object& object) {
  object.visible = entry.visible;
  object.mirror = entry.mirror;
  object.lathe = entry.lathe;
  object.patch = entry.patch;
}

void BuildInline(const Entry& entry, Document& staging) {
  const Json& vertices = entry.node->at("vertices");
  const Json& faces = entry.node->at("faces");
  Object& object =
      staging.AddObject(entry.name ? *entry.name : "object " + std::to_string(staging.SlotCount()));
  for (const Json& v : vertices) {
    object.AddVertex({v[0].get<double>(), v[1].get<double>(), v[2].get<double>()});
  }
  std::vector<int32_t> points;
  for (const Json& face : faces) {
    points.clear();
    for (const Json& point : face) points.push_back(static_cast<int32_t>(point.get<uint64_t>()));
    object.AddFace(points);
  }
  ApplySettings(entry, object);
}

class SceneLoader {
 public:
  // The scene's text and its path, both the caller's: they outlive the load.
  SceneLoader(const std::string& text, const std::string& path, const LoadProgress& progress)
      : text_(text), path_(path), progress_(progress) {}

  // Running out of memory is told of the OBJ file being read or built from, if
  // any, else of the scene.
  void Load(Document& document) {
    models::NamingOutOfMemory(path_, [&] {
      const Json root = Parse(path_, text_);
      try {
        LoadInto(Node(root, {}), document);
      } catch (const Fault& fault) {
        throw ModelError(path_, LineOf(text_, fault.path), fault.what());
      }
    });
  }

 private:
  void LoadInto(const Node& root, Document& document) {
    // Check every entry before the first file is read.
    CheckedScene scene = models::scene::CheckScene(root, models::DirectoryOf(path_));
    const std::optional<int64_t>& current = scene.current;
    const std::vector<Entry>& entries = scene.entries;
    std::map<std::string, std::size_t>& lastUse = scene.lastUse;

    uint64_t total = text_.size();
    for (const auto& use : lastUse) total += models::FileSizeOrZero(use.first);
    done_ = text_.size();
    total_ = total;
    models::ProgressShare(&progress_, 0, total_).Report(done_);

    Document staging;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const Entry& entry = entries[i];
      if (entry.source == Entry::Source::kNone) {
        staging.AddObject({});
        staging.RemoveObject(staging.SlotCount() - 1);
      } else if (entry.source == Entry::Source::kInline) {
        BuildInline(entry, staging);
      } else {
        BuildFromFile(entry, staging);
        if (lastUse[entry.file] == i) files_.erase(entry.file);
      }
      if (staging.SlotCount() > kMaxSlots - 1) entry.node.Fail("too many objects");
    }

    int32_t chosen = 0;
    if (current) {
      const Node node = root["current"];
      if (*current >= staging.SlotCount()) {
        node.Fail("\"current\" is " + std::to_string(*current) + ", but the scene has " +
                  std::to_string(staging.SlotCount()) + " slots");
      }
      chosen = static_cast<int32_t>(*current);
      if (staging.At(chosen) == nullptr) {
        node.Fail("\"current\" is slot " + std::to_string(chosen) + ", which is empty");
      }
    } else {
      while (chosen < staging.SlotCount() && staging.At(chosen) == nullptr) ++chosen;
      if (chosen == staging.SlotCount()) chosen = 0;
    }

    const int32_t first = document.SlotCount();
    const bool loaded = staging.SlotCount() > 0;
    document.TakeSlots(staging);
    if (loaded) document.currentIndex = first + chosen;
  }

  models::ModelFile& File(const Entry& entry) {
    const auto found = files_.find(entry.file);
    if (found != files_.end()) return *found->second;
    const uint64_t size = models::FileSizeOrZero(entry.file);
    try {
      return models::NamingOutOfMemory(entry.file, [&]() -> models::ModelFile& {
        std::unique_ptr<models::ModelFile> file =
            models::ReadModelFile(entry.file, models::ProgressShare(&progress_, done_, total_));
        done_ += size;
        return *files_.emplace(entry.file, std::move(file)).first->second;
      });
    } catch (const ModelError& error) {
      // A file that cannot be had (it cannot be opened, or no reader takes it)
      // is a fault of the scene's entry; a fault in what the file holds is the
      // file's, whether its reader names a line or not. An error about another
      // file (one the named file refers to) is that file's.
      if (error.file() != entry.file || (error.kind() != ModelError::Kind::kCannotOpen &&
                                         error.kind() != ModelError::Kind::kUnsupported)) {
        throw;
      }
      entry.node["file"].Fail("cannot load " + Quote(entry.written) + ": " + error.message());
    }
  }

  void BuildFromFile(const Entry& entry, Document& staging) {
    models::ModelFile& file = File(entry);
    std::vector<int32_t> picked;
    if (entry.object) {
      for (int32_t i = 0; i < file.ObjectCount() && picked.empty(); ++i) {
        if (file.ObjectName(i) == *entry.object) picked.push_back(i);
      }
      if (picked.empty()) {
        std::string names;
        for (int32_t i = 0; i < file.ObjectCount() && i < 10; ++i) {
          names += (i == 0 ? "" : ", ") + Quote(file.ObjectName(i));
        }
        if (file.ObjectCount() > 10) names += ", ...";
        entry.node["object"].Fail("no object " + Quote(*entry.object) + " in " +
                                  Quote(entry.written) + " (it has " +
                                  (names.empty() ? "none" : names) + ")");
      }
    } else {
      for (int32_t i = 0; i < file.ObjectCount(); ++i) picked.push_back(i);
    }
    if (entry.name && picked.size() != 1) {
      entry.node["name"].Fail("\"name\" is for an entry that gives one object; " +
                              Quote(entry.written) + " gives " + std::to_string(picked.size()));
    }
    for (const int32_t i : picked) {
      models::NamingOutOfMemory(entry.file, [&] {
        Object& object = file.AddObjectTo(i, staging);
        if (entry.name) object.name = *entry.name;
        ApplySettings(entry, object);
      });
    }
  }

  const std::string& text_;
  const std::string& path_;
  const LoadProgress& progress_;
  std::map<std::string, std::unique_ptr<models::ModelFile>> files_;  // read, still to be taken from
  uint64_t done_ = 0;
  uint64_t total_ = 0;
};

}  // namespace

void LoadScene(const std::string& path, Document& document, const LoadProgress& progress) {
  const std::string text =
      models::NamingOutOfMemory(path, [&] { return models::ReadWholeFile(path, kMaxSceneBytes); });
  models::LoadSceneText(text, path, document, progress);
}

}  // namespace vhost

namespace vhost::models {

void LoadSceneText(const std::string& text, const std::string& path, Document& document,
                   const LoadProgress& progress) {
  SceneLoader(text, path, progress).Load(document);
}

Format SceneFormat() {
  Format format;
  format.name = "veltrane-scene";
  format.extensions = {".json"};
  format.read = [](const std::string& path, const ProgressShare&) -> std::unique_ptr<ModelFile> {
    throw ModelError(ModelError::Kind::kUnsupported, path, 0,
                     "is a scene: a scene's entries name model files");
  };
  format.load = LoadScene;
  format.claims = scene::IsSceneFile;
  format.listing = "  .json      veltrane-scene files naming model files of any format below\n";
  format.help = " and veltrane-scene JSON,";
  return format;
}

}  // namespace vhost::models
