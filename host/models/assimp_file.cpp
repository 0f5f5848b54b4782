#include "host/models/assimp_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <new>
#include <utility>

#include "host/models/assimp_guards.h"

#if defined(VHOST_HAS_ASSIMP)
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <unistd.h>

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/ProgressHandler.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#endif

namespace vhost::models {

#if defined(VHOST_HAS_ASSIMP)

namespace {

// What the caller's progress callback threw, kept until assimp has given up:
// assimp turns every exception inside ReadFile into an error string.
struct ProgressState {
  ProgressShare share;
  uint64_t size = 0;
  std::exception_ptr failure;
};

// Assimp's progress (a fraction, reading then post-processing) told as bytes of
// the file. The importer owns and deletes the handler; the state is shared so
// that it outlives the handler whoever deletes it first.
class Progress : public Assimp::ProgressHandler {
 public:
  explicit Progress(std::shared_ptr<ProgressState> state) : state_(std::move(state)) {}
  bool Update(float percentage) override {
    if (state_->failure) return false;
    if (percentage < 0) return true;  // "still busy", no fraction
    try {
      const double fraction = std::min(1.0, static_cast<double>(percentage));
      state_->share.Report(static_cast<uint64_t>(fraction * static_cast<double>(state_->size)));
    } catch (...) {
      state_->failure = std::current_exception();
      return false;  // abandons the import
    }
    return true;
  }

 private:
  std::shared_ptr<ProgressState> state_;
};

// While assimp runs, whatever it prints goes to stderr: stdout is the tool's
// report, which must stay valid JSON.
class StdoutToStderr {
 public:
  StdoutToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  ~StdoutToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  StdoutToStderr(const StdoutToStderr&) = delete;
  StdoutToStderr& operator=(const StdoutToStderr&) = delete;

 private:
  int saved_ = -1;
};

// Assimp's importers drop geometry they cannot make sense of (faces with an
// index out of range, vertices left over from a primitive, an element they
// cannot parse, a file cut short) and go on, saying so only in a warning. A
// count of what is left would be wrong, so the check fails closed: while an
// import runs, its warnings and errors are read, and the first that is not known
// to leave the geometry whole fails the file. What is known harmless concerns
// what is not counted (materials, textures, animation, cameras, lights) or
// assimp's own check of the finished scene. Assimp's logger is one per process;
// the tool imports one file at a time on one thread.
class AssimpWarnings {
 public:
  AssimpWarnings() {
    Assimp::DefaultLogger::create(nullptr, Assimp::Logger::NORMAL, 0);  // no stream of its own
    try {
      auto stream = std::make_unique<Stream>(*this);
      if (Assimp::DefaultLogger::get()->attachStream(stream.get(),
                                                     Assimp::Logger::Warn | Assimp::Logger::Err)) {
        static_cast<void>(stream.release());  // the logger's to delete from here
      } else {
        first_ = "assimp's warnings could not be read, so the geometry may be incomplete";
      }
    } catch (...) {
      Assimp::DefaultLogger::kill();  // no destructor runs for a constructor that throws
      throw;
    }
  }
  ~AssimpWarnings() { Assimp::DefaultLogger::kill(); }
  AssimpWarnings(const AssimpWarnings&) = delete;
  AssimpWarnings& operator=(const AssimpWarnings&) = delete;

  // What the first message that says, or may say, that geometry was lost means
  // for the file; empty when none did.
  const std::string& first() const { return first_; }

 private:
  class Stream : public Assimp::LogStream {
   public:
    explicit Stream(AssimpWarnings& owner) : owner_(owner) {}
    void write(const char* message) override {
      if (message != nullptr && owner_.first_.empty()) owner_.Read(message);
    }

   private:
    AssimpWarnings& owner_;
  };

  void Read(std::string message) {
    // "Warn,  T0: text\n" → "text"
    const std::size_t colon = message.find(": ");
    if (colon != std::string::npos && colon < 16) message.erase(0, colon + 2);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == ' ' || message.back() == ':')) {
      message.pop_back();
    }
    std::string lower = message;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Overflows of what is not counted: a material's or a bone's index.
    static constexpr const char* kNotGeometry[] = {"material index overflow",
                                                   "bone index overflow"};
    for (const char* aside : kNotGeometry) {
      if (lower.find(aside) != std::string::npos) return;
    }
    // Said of geometry: never harmless, whatever else the message names.
    static constexpr const char* kLosses[] = {
        "dropped",  "out-of-range",   "out of range", "no data loaded", "skipping this element",
        "overflow", "unexpected eof", "more than"};
    for (const char* loss : kLosses) {
      if (lower.find(loss) != std::string::npos) {
        first_ = "assimp lost geometry: " + message;
        return;
      }
    }
    static constexpr const char* kHarmless[] = {
        "validation warning:",  // assimp's check of the finished scene, as counted
        "material",
        "texture",
        "shading mode",
        "opacity",
        "animation",
        "camera",
        "light",
        "uvs are declared",
        "tangent layer",
        "binormal layer",
        "newer format version",
        "no hierarchy information",
        "md5anim",
        "envl subchunk",
        "vmap/vmad channel",
        "source surface",
        "thumbnail",
    };
    for (const char* harmless : kHarmless) {
      if (lower.find(harmless) != std::string::npos) return;
    }
    first_ = "assimp read past a fault, so the geometry may be incomplete: " + message;
  }

  std::string first_;
};

// Every mesh with vertices and no faces gets a face of one point per vertex.
// The faces become the mesh's, freed with it by assimp.
void GivePointCloudsTheirPoints(aiScene& scene) {
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    aiMesh* mesh = scene.mMeshes[m];
    if (mesh == nullptr || mesh->mNumFaces != 0 || mesh->mFaces != nullptr ||
        mesh->mNumVertices == 0 || mesh->mVertices == nullptr) {
      continue;
    }
    auto faces = std::make_unique<aiFace[]>(mesh->mNumVertices);
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
      faces[v].mNumIndices = 1;
      faces[v].mIndices = new unsigned[1]{v};
    }
    mesh->mFaces = faces.release();
    mesh->mNumFaces = mesh->mNumVertices;
    mesh->mPrimitiveTypes = aiPrimitiveType_POINT;
  }
}

// Whether the file's own data hides the node: assimp's FBX reader keeps a
// Model's "Show" (false hides) among the node's metadata; "Visibility" (0 hides)
// it drops today, but is read too, should it pass it on.
bool HiddenInFile(const aiNode& node) {
  const aiMetadata* meta = node.mMetaData;
  if (meta == nullptr) return false;
  for (unsigned i = 0; i < meta->mNumProperties; ++i) {
    const std::string key = meta->mKeys[i].C_Str();
    if (key != "Visibility" && key != "Show") continue;
    const aiMetadataEntry& entry = meta->mValues[i];
    if (entry.mData == nullptr) continue;
    double value = 1;
    switch (entry.mType) {
      case AI_BOOL:
        value = *static_cast<const bool*>(entry.mData) ? 1 : 0;
        break;
      case AI_INT32:
        value = *static_cast<const int32_t*>(entry.mData);
        break;
      case AI_UINT64:
        value = static_cast<double>(*static_cast<const uint64_t*>(entry.mData));
        break;
      case AI_FLOAT:
        value = *static_cast<const float*>(entry.mData);
        break;
      case AI_DOUBLE:
        value = *static_cast<const double*>(entry.mData);
        break;
      default:
        continue;
    }
    if (value == 0) return true;
  }
  return false;
}

// One object: a mesh as one node of the hierarchy uses it.
struct Instance {
  std::string name;  // "node/mesh"
  unsigned mesh = 0;
  bool visible = true;
};

bool IsGltf(const std::string& extension) { return extension == ".gltf" || extension == ".glb"; }

class AssimpFile : public ModelFile {
 public:
  AssimpFile(std::unique_ptr<Assimp::Importer> importer, const aiScene& scene,
             const std::string& path)
      : importer_(std::move(importer)),
        scene_(scene),
        stem_(FileStem(path)),
        gltf_(IsGltf(LowerExtension(path))) {
    if (scene.mRootNode != nullptr) Collect(*scene.mRootNode, path);
  }

  int32_t ObjectCount() const override { return static_cast<int32_t>(instances_.size()); }
  const std::string& ObjectName(int32_t index) const override {
    return instances_.at(static_cast<std::size_t>(index)).name;
  }

  Object& AddObjectTo(int32_t index, Document& document) override {
    const Instance& instance = instances_.at(static_cast<std::size_t>(index));
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    Object& object = document.AddObject(instance.name);
    object.visible = instance.visible;
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      const aiVector3D& p = mesh.mVertices[v];
      object.AddVertex({p.x, p.y, p.z});
    }
    points_.clear();
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      points_.assign(face.mIndices, face.mIndices + face.mNumIndices);
      object.AddFace(points_);
    }
    return object;
  }

 private:
  // Depth first, in the file's order, without recursion: a hierarchy may be
  // deeper than a stack. A node the file hides hides everything below it.
  void Collect(const aiNode& root, const std::string& path) {
    std::vector<bool> checked(scene_.mNumMeshes, false);
    std::vector<std::pair<const aiNode*, bool>> pending{{&root, true}};
    while (!pending.empty()) {
      const auto [node, parentVisible] = pending.back();
      pending.pop_back();
      const bool visible = parentVisible && !HiddenInFile(*node);
      for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const unsigned index = node->mMeshes[i];
        if (index >= scene_.mNumMeshes || scene_.mMeshes[index] == nullptr) {
          throw ModelError(path, 0,
                           "node \"" + std::string(node->mName.C_Str()) +
                               "\" names a mesh the file does not hold");
        }
        const aiMesh& mesh = *scene_.mMeshes[index];
        if (!checked[index]) CheckLimits(mesh, path);
        checked[index] = true;
        if (instances_.size() >= static_cast<std::size_t>(kMaxElementCount)) {
          throw ModelError(path, 0, "more objects than this host holds in one document");
        }
        instances_.push_back({NodeName(*node) + "/" + MeshName(mesh, index), index, visible});
      }
      for (unsigned i = node->mNumChildren; i-- > 0;) {  // the first child comes off first
        if (node->mChildren[i] != nullptr) pending.emplace_back(node->mChildren[i], visible);
      }
    }
  }

  // A node without a name takes the file's (its name without directory and
  // extension), as OBJ geometry before any object does; a mesh without one its
  // number in the file. Assimp's glTF reader names what the file leaves nameless
  // by its place in the file ("nodes[1]", "meshes[0]"): such a name is no name.
  std::string NodeName(const aiNode& node) const {
    const std::string name = node.mName.C_Str();
    return name.empty() || (gltf_ && IsPlaceName(name, "nodes")) ? stem_ : name;
  }
  std::string MeshName(const aiMesh& mesh, unsigned index) const {
    const std::string name = mesh.mName.C_Str();
    return name.empty() || (gltf_ && IsPlaceName(name, "meshes")) ? "mesh " + std::to_string(index)
                                                                  : name;
  }
  // "array[N]"
  static bool IsPlaceName(const std::string& name, const std::string& array) {
    if (name.size() < array.size() + 3 || name.compare(0, array.size(), array) != 0 ||
        name[array.size()] != '[' || name.back() != ']') {
      return false;
    }
    const std::string digits = name.substr(array.size() + 1, name.size() - array.size() - 2);
    return !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
  }

  // The document model counts and indexes in int32: a mesh past that is refused
  // here, before any object is built, rather than counted wrong.
  static void CheckLimits(const aiMesh& mesh, const std::string& path) {
    uint64_t points = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) points += mesh.mFaces[f].mNumIndices;
    const auto limit = static_cast<uint64_t>(kMaxElementCount);
    const char* what = mesh.mNumVertices > limit ? "vertices"
                       : mesh.mNumFaces > limit  ? "faces"
                       : points > limit          ? "face points"
                                                 : nullptr;
    if (what != nullptr) {
      throw ModelError(path, 0,
                       "mesh \"" + std::string(mesh.mName.C_Str()) + "\" has more than " +
                           std::to_string(limit) + " " + what +
                           ", the most this host holds in one object");
    }
  }

  std::unique_ptr<Assimp::Importer> importer_;  // owns the scene
  const aiScene& scene_;
  std::string stem_;
  bool gltf_ = false;  // names made up by assimp's glTF reader are no names
  std::vector<Instance> instances_;
  std::vector<int32_t> points_;  // one face's points, reused
};

}  // namespace

bool HaveAssimp() { return true; }

std::vector<std::string> AssimpExtensions() {
  std::string list;
  Assimp::Importer().GetExtensionList(list);  // "*.3ds;*.dae;..."
  std::vector<std::string> extensions;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    if (item.rfind("*.", 0) == 0) item.erase(0, 1);
    for (char& c : item) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // ".mesh.xml" and the like: a path's extension is its last dot's, so such a
    // name is reached through its last part (".xml") already.
    if (item.size() > 1 && item[0] == '.' && item != ".obj" &&
        item.find('.', 1) == std::string::npos) {
      extensions.push_back(item);
    }
    start = end + 1;
  }
  std::sort(extensions.begin(), extensions.end());
  extensions.erase(std::unique(extensions.begin(), extensions.end()), extensions.end());
  return extensions;
}

std::unique_ptr<ModelFile> ReadAssimpFile(const std::string& path, const ProgressShare& progress) {
  // Files that assimp's own readers cannot survive are refused before it sees them.
  if (std::string fault = AssimpReaderHazard(path); !fault.empty())
    throw ModelError(path, 0, fault);
  auto importer = std::make_unique<Assimp::Importer>();
  // Skins, animation, cameras and lights do not count; an importer that would
  // make a stand-in mesh of a bare skeleton must not.
  importer->SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
  importer->SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  // A COLLADA node's and geometry's name is what its tool showed the user; its
  // id is an XML reference ("Teapot01-node", "box-lib"), assimp's default.
  importer->SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
  // Joined vertices are those identical in every component. An STL file has no
  // vertex normals, only the facet's normal repeated at each corner: dropped,
  // the corners of neighbouring facets are joined by position.
  unsigned flags = aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure;
  if (LowerExtension(path) == ".stl") {
    importer->SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_NORMALS);
    flags |= aiProcess_RemoveComponent;
  }
  auto state = std::make_shared<ProgressState>();
  state->share = progress;
  state->size = FileSizeOrZero(path);
  importer->SetProgressHandler(new Progress(state));  // the importer's from here

  // Read without post-processing first: a point cloud (a mesh of vertices and
  // no faces, which assimp's validation refuses) gets a 1-point face per
  // vertex, as OBJ's points do; then validation and the joining run on it.
  const aiScene* scene = nullptr;
  std::string lost;
  {
    const StdoutToStderr quiet;
    const AssimpWarnings warnings;
    scene = importer->ReadFile(path, 0);
    if (scene != nullptr && !state->failure) {
      // The importer's scene, which post-processing changes in place too.
      GivePointCloudsTheirPoints(const_cast<aiScene&>(*importer->GetScene()));
      scene = importer->ApplyPostProcessing(flags);
    }
    lost = warnings.first();
  }
  if (state->failure) std::rethrow_exception(state->failure);
  if (scene == nullptr) {
    std::string message = importer->GetErrorString();
    if (message.find("bad_alloc") != std::string::npos) throw OutOfMemory(path);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back()))) {
      message.pop_back();
    }
    throw ModelError(path, 0, message.empty() ? "assimp could not read it" : message);
  }
  if (!lost.empty()) throw ModelError(path, 0, lost);
  // A file assimp reads as a scene without meshes holds no geometry it knew to
  // read: one of cameras, lights or animation only, or one its reader did not
  // recognise at all. Counting nothing for it would pass for a count.
  if (scene->mNumMeshes == 0) {
    throw ModelError(path, 0, "assimp found no geometry in it");
  }
  return std::make_unique<AssimpFile>(std::move(importer), *scene, path);
}

#else  // no assimp in this build

bool HaveAssimp() { return false; }
std::vector<std::string> AssimpExtensions() { return {}; }
std::unique_ptr<ModelFile> ReadAssimpFile(const std::string& path, const ProgressShare&) {
  throw ModelError(path, 0, "this build reads no files through assimp");
}

#endif

}  // namespace vhost::models
