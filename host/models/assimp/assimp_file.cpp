#include "host/models/assimp/assimp_file.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <utility>

#include "host/models/assimp/assimp_guards.h"
#include "host/models/weld.h"

#if defined(VHOST_HAS_ASSIMP)
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <unistd.h>

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/ProgressHandler.hpp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <system_error>

#include "host/proc/child_process.h"
#include "host/proc/frames.h"
#endif

namespace vhost::models {

namespace {

// What SetImportTimeLimit was told last; none: the limit follows the file's size.
std::optional<double> g_fixedTimeLimit;

// "12", "0.5": the limit as a user would have written it.
[[maybe_unused]] std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

}  // namespace

void SetImportTimeLimit(std::optional<double> seconds) { g_fixedTimeLimit = seconds; }

double ImportTimeLimitFor(uint64_t bytes) {
  if (g_fixedTimeLimit) return *g_fixedTimeLimit;
  // Whole seconds, so that the message names the limit as a person would.
  return std::ceil(kImportSecondsAtLeast +
                   kImportSecondsPerMiB * static_cast<double>(bytes) / (1 << 20));
}

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

// What makes a vertex of a mesh the vertex it is, as the weld compares it:
// position, normal, each texture coordinate set (its own number of
// components) and each colour set. Tangents and bitangents are left out: they
// are derived from the rest, and exporters write them per corner with
// differences in the last bits that no user made. Bone weights belong to the
// skin, which does not count. Borrows the mesh.
std::vector<VertexAttribute> IdentityAttributes(const aiMesh& mesh) {
  std::vector<VertexAttribute> list;
  const auto add = [&list](const void* data, std::size_t size, std::size_t stride) {
    if (data != nullptr) list.push_back({data, size, stride});
  };
  add(mesh.mVertices, sizeof(aiVector3D), sizeof(aiVector3D));
  add(mesh.mNormals, sizeof(aiVector3D), sizeof(aiVector3D));
  for (unsigned set = 0; set < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set) {
    const unsigned declared = mesh.mNumUVComponents[set];
    const unsigned components = declared == 0 ? 3 : std::min(declared, 3u);
    add(mesh.mTextureCoords[set], components * sizeof(ai_real), sizeof(aiVector3D));
  }
  for (unsigned set = 0; set < AI_MAX_NUMBER_OF_COLOR_SETS; ++set) {
    add(mesh.mColors[set], sizeof(aiColor4D), sizeof(aiColor4D));
  }
  return list;
}

// One object: a mesh as one node of the hierarchy uses it.
struct Instance {
  std::string name;  // "node/mesh"
  unsigned mesh = 0;
  bool visible = true;
};

bool IsGltf(const std::string& extension) { return extension == ".gltf" || extension == ".glb"; }

// A file assimp read, as plain arrays: what the tool keeps of assimp's scene,
// and what crosses from the process that imports it to the tool.
struct ImportedMesh {
  std::vector<ai_real> positions;  // x, y, z of each vertex, as assimp holds them
  std::vector<int32_t> sizes;      // points of each face
  std::vector<int32_t> points;     // each face's, in turn
};
struct Imported {
  std::vector<Instance> instances;  // `mesh` indexes `meshes`
  std::vector<ImportedMesh> meshes;
};

class ImportedFile : public ModelFile {
 public:
  explicit ImportedFile(Imported imported) : imported_(std::move(imported)) {}

  int32_t ObjectCount() const override { return static_cast<int32_t>(imported_.instances.size()); }
  const std::string& ObjectName(int32_t index) const override {
    return imported_.instances.at(static_cast<std::size_t>(index)).name;
  }

  Object& AddObjectTo(int32_t index, Document& document) override {
    const Instance& instance = imported_.instances.at(static_cast<std::size_t>(index));
    const ImportedMesh& mesh = imported_.meshes.at(instance.mesh);
    Object& object = document.AddObject(instance.name);
    object.visible = instance.visible;
    const std::size_t vertices = mesh.positions.size() / 3;
    object.Reserve(static_cast<int64_t>(vertices), static_cast<int64_t>(mesh.sizes.size()),
                   static_cast<int64_t>(mesh.points.size()));
    HandOverVertices(
        object, vertices,
        [&mesh](std::size_t v) {
          const ai_real* p = &mesh.positions[3 * v];
          return Vec3{p[0], p[1], p[2]};
        },
        [](std::size_t) {});
    object.AddFaces(mesh.sizes.data(), static_cast<int32_t>(mesh.sizes.size()), mesh.points.data());
    return object;
  }

 private:
  Imported imported_;
};

// Walks assimp's scene into the objects it holds (Instance) and copies the
// meshes they use.
class SceneWalk {
 public:
  SceneWalk(const aiScene& scene, const std::string& path)
      : scene_(scene), stem_(FileStem(path)), gltf_(IsGltf(LowerExtension(path))) {
    if (scene.mRootNode != nullptr) Collect(*scene.mRootNode, path);
  }

  // The instances and, once each, the meshes they use, in the order first used.
  Imported Take() {
    Imported imported;
    std::vector<int64_t> copied(scene_.mNumMeshes, -1);  // its index in `imported`
    for (Instance& instance : instances_) {
      int64_t& at = copied[instance.mesh];
      if (at < 0) {
        at = static_cast<int64_t>(imported.meshes.size());
        imported.meshes.push_back(Copy(*scene_.mMeshes[instance.mesh]));
      }
      instance.mesh = static_cast<unsigned>(at);
    }
    imported.instances = std::move(instances_);
    return imported;
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
          throw ModelError(ModelError::Kind::kLimit, path, 0,
                           "more objects than this host holds in one document");
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
      throw ModelError(ModelError::Kind::kLimit, path, 0,
                       "mesh \"" + std::string(mesh.mName.C_Str()) + "\" has more than " +
                           std::to_string(limit) + " " + what +
                           ", the most this host holds in one object");
    }
  }

  // Limits were checked when the mesh was first met: its counts fit int32.
  // Vertices are joined here, exactly (see weld.h), and only positions cross.
  static ImportedMesh Copy(const aiMesh& mesh) {
    const Welded welded = WeldIdentical(mesh.mNumVertices, IdentityAttributes(mesh));
    ImportedMesh copy;
    copy.positions.reserve(3 * static_cast<std::size_t>(welded.unique));
    for (unsigned v = 0, next = 0; v < mesh.mNumVertices; ++v) {
      if (welded.remap[v] != next) continue;  // a later copy of a vertex kept already
      const aiVector3D& p = mesh.mVertices[v];
      copy.positions.insert(copy.positions.end(), {p.x, p.y, p.z});
      ++next;
    }
    copy.sizes.reserve(mesh.mNumFaces);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      copy.sizes.push_back(static_cast<int32_t>(face.mNumIndices));
      for (unsigned i = 0; i < face.mNumIndices; ++i) {
        // Validation has checked every index against the vertex count.
        copy.points.push_back(static_cast<int32_t>(welded.remap[face.mIndices[i]]));
      }
    }
    return copy;
  }

  const aiScene& scene_;  // the caller's; outlives this
  std::string stem_;
  bool gltf_ = false;  // names made up by assimp's glTF reader are no names
  std::vector<Instance> instances_;
};

}  // namespace

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

namespace {

// Imports `path` in this process: every check but the guards against readers
// that cannot survive the file.
Imported ImportHere(const std::string& path, const ProgressShare& progress) {
  auto importer = std::make_unique<Assimp::Importer>();
  // Skins, animation, cameras and lights do not count; an importer that would
  // make a stand-in mesh of a bare skeleton must not.
  importer->SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
  importer->SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  // A COLLADA node's and geometry's name is what its tool showed the user; its
  // id is an XML reference ("Teapot01-node", "box-lib"), assimp's default.
  importer->SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
  // Vertices are joined after the import, exactly (assimp's own join merges
  // vertices within a tolerance). An STL file has no vertex normals, only the
  // facet's normal repeated at each corner: dropped, the corners of
  // neighbouring facets are joined by position.
  unsigned flags = aiProcess_ValidateDataStructure;
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
    // Assimp tells a file it cannot open or read in words of its own, kept as
    // they are; the kind says what it is, so that a scene naming the file
    // takes the fault as its own.
    const std::optional<ModelError> unreadable = ReadError(path);
    throw ModelError(unreadable ? unreadable->kind() : ModelError::Kind::kSyntax, path, 0,
                     message.empty() ? "assimp could not read it" : message);
  }
  if (!lost.empty()) throw ModelError(ModelError::Kind::kGeometryLost, path, 0, lost);
  // A file assimp reads as a scene without meshes holds no geometry it knew to
  // read: one of cameras, lights or animation only, or one its reader did not
  // recognise at all. Counting nothing for it would pass for a count.
  if (scene->mNumMeshes == 0) {
    throw ModelError(path, 0, "assimp found no geometry in it");
  }
  return SceneWalk(*scene, path).Take();
}

#if !defined(VHOST_ASSIMP_IN_PROCESS)

// --- Importing in a child process ---------------------------------------------
//
// Some of assimp's readers crash or abort on a damaged file (a COB file cut
// short throws through a destructor and ends the process). The tool must
// still say which file failed and write its report, so each import runs in a
// child process made for it, which sends back progress and then the file as
// plain arrays, or the fault. A child that dies without sending either is
// reported as the file's fault. The parent never runs assimp itself.

// Messages from the child, each a tag byte and its payload.
constexpr char kProgressTag = 'p';  // u64: bytes of the file through
constexpr char kFileTag = 'f';      // the Imported file
constexpr char kFaultTag = 'e';     // i64 line, u8 kind, string: a ModelError's
constexpr char kOutOfMemoryTag = 'm';

void Send(proc::FrameWriter& out, const Imported& imported) {
  out.Value(kFileTag);
  out.Value<uint64_t>(imported.instances.size());
  for (const Instance& instance : imported.instances) {
    out.String(instance.name);
    out.Value<uint32_t>(instance.mesh);
    out.Value<uint8_t>(instance.visible ? 1 : 0);
  }
  out.Value<uint64_t>(imported.meshes.size());
  for (const ImportedMesh& mesh : imported.meshes) {
    out.Array(mesh.positions);
    out.Array(mesh.sizes);
    out.Array(mesh.points);
  }
}

bool Receive(proc::FrameReader& in, Imported& imported) {
  const auto limit = static_cast<uint64_t>(kMaxElementCount);
  uint64_t count = 0;
  if (!in.Value(count) || count > limit) return false;
  imported.instances.resize(static_cast<std::size_t>(count));
  for (Instance& instance : imported.instances) {
    uint32_t mesh = 0;
    uint8_t visible = 0;
    if (!in.String(instance.name) || !in.Value(mesh) || !in.Value(visible)) return false;
    instance.mesh = mesh;
    instance.visible = visible != 0;
  }
  if (!in.Value(count) || count > limit) return false;
  imported.meshes.resize(static_cast<std::size_t>(count));
  for (ImportedMesh& mesh : imported.meshes) {
    if (!in.Array(mesh.positions, 3 * limit) || !in.Array(mesh.sizes, limit) ||
        !in.Array(mesh.points, limit)) {
      return false;
    }
  }
  for (const Instance& instance : imported.instances) {
    if (instance.mesh >= imported.meshes.size()) return false;
  }
  return true;
}

// The child's side: imports, sends, and ends without running anything of the
// parent's (no destructors, no exit handlers, no stdio buffers flushed).
[[noreturn]] void ImportAsChild(const std::string& path, int fd, uint64_t size) {
  // What assimp or the runtime print on the way down (an abort's message) is
  // not the tool's to show: the parent reports the failure.
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDERR_FILENO);
  proc::FrameWriter out(fd);
  try {
    const LoadProgress toParent = [&out](uint64_t done, uint64_t) {
      out.Value(kProgressTag);
      out.Value<uint64_t>(done);
      out.Flush();
    };
    Send(out, ImportHere(path, ProgressShare(&toParent, 0, size)));
  } catch (const ModelError& error) {
    out.Value(kFaultTag);
    out.Value<int64_t>(error.line());
    out.Value<uint8_t>(static_cast<uint8_t>(error.kind()));
    out.String(error.message().substr(0, proc::FrameReader::kMaxString));
  } catch (const std::bad_alloc&) {
    out.Value(kOutOfMemoryTag);
  } catch (const std::exception& error) {
    out.Value(kFaultTag);
    out.Value<int64_t>(0);
    out.Value<uint8_t>(static_cast<uint8_t>(ModelError::Kind::kSyntax));
    out.String(std::string(error.what()).substr(0, proc::FrameReader::kMaxString));
  } catch (...) {
    // Nothing sent: reported as ending without a result.
  }
  out.Flush();
  _exit(0);
}

Imported ImportInChild(const std::string& path, const ProgressShare& progress) {
  const uint64_t size = FileSizeOrZero(path);
  std::optional<proc::ChildProcess> started;
  try {
    started.emplace(proc::ChildProcess::Start(
        [&path, size](int writeEnd) { ImportAsChild(path, writeEnd, size); }));
  } catch (const std::system_error& error) {
    throw ModelError(ModelError::Kind::kReaderCrashed, path, 0,
                     "cannot start assimp's import: " + error.code().message());
  }
  proc::ChildProcess& child = *started;
  const double limit = ImportTimeLimitFor(size);
  std::optional<proc::FrameReader::Clock::time_point> deadline;
  if (limit > 0) {
    deadline = proc::FrameReader::Clock::now() +
               std::chrono::duration_cast<proc::FrameReader::Clock::duration>(
                   std::chrono::duration<double>(limit));
  }
  proc::FrameReader reader(child.ReadEnd(), deadline);
  Imported imported;
  bool received = false;
  std::string fault;
  int64_t faultLine = 0;
  uint8_t faultKind = 0;
  bool outOfMemory = false;
  for (char tag = 0; !received && fault.empty() && !outOfMemory && reader.Value(tag);) {
    if (tag == kProgressTag) {
      uint64_t done = 0;
      if (!reader.Value(done)) break;
      progress.Report(done);  // what it throws ends the child (ChildProcess's destructor)
    } else if (tag == kFileTag) {
      if (!Receive(reader, imported)) break;
      received = true;
    } else if (tag == kFaultTag) {
      if (!reader.Value(faultLine) || !reader.Value(faultKind) ||
          faultKind > static_cast<uint8_t>(ModelError::Kind::kTimedOut) || !reader.String(fault)) {
        break;
      }
      if (fault.empty()) fault = "assimp could not read it";
    } else if (tag == kOutOfMemoryTag) {
      outOfMemory = true;
    } else {
      break;
    }
  }
  if (reader.TimedOut()) {
    // A reader caught in a loop never ends by itself: the child is killed
    // (ChildProcess's destructor) and the run goes on with the next file.
    throw ModelError(ModelError::Kind::kTimedOut, path, 0,
                     "assimp's importer did not finish in " + SecondsText(limit) +
                         " s (--import-timeout sets the limit)");
  }
  const proc::ChildEnd end = child.Wait();
  if (outOfMemory) throw OutOfMemory(path);
  if (!fault.empty()) {
    throw ModelError(static_cast<ModelError::Kind>(faultKind), path, faultLine, fault);
  }
  if (received && end.exited && end.code == 0) return imported;
  if (end.signalled) {
    throw ModelError(ModelError::Kind::kReaderCrashed, path, 0,
                     "assimp's importer crashed on it (" + proc::SignalName(end.signal) + ")");
  }
  throw ModelError(ModelError::Kind::kReaderCrashed, path, 0,
                   "assimp's importer ended without a result");
}

#endif  // !VHOST_ASSIMP_IN_PROCESS

}  // namespace

std::unique_ptr<ModelFile> ReadAssimpFile(const std::string& path, const ProgressShare& progress) {
  // Files that assimp's own readers cannot survive are refused before it sees them.
  if (std::optional<ModelError> fault = AssimpReaderHazard(path)) throw *fault;
#if defined(VHOST_ASSIMP_IN_PROCESS)
  return std::make_unique<ImportedFile>(ImportHere(path, progress));
#else
  return std::make_unique<ImportedFile>(ImportInChild(path, progress));
#endif
}

#else  // no assimp in this build

std::vector<std::string> AssimpExtensions() { return {}; }
std::unique_ptr<ModelFile> ReadAssimpFile(const std::string& path, const ProgressShare&) {
  throw ModelError(ModelError::Kind::kUnsupported, path, 0,
                   "this build reads no files through assimp");
}

#endif

namespace {

// For a folder walk: ".xml" is assimp's for Ogre's XML meshes only, whose
// root element is <mesh>; a folder's other XML files (settings, manifests,
// documentation) are not models.
bool ClaimsForAWalk(const std::string& path) {
  if (LowerExtension(path) != ".xml") return true;
  std::string head(1024, '\0');
  try {
    InputFile file(path);
    head.resize(ByteReader(file).Read(head.data(), head.size()));
  } catch (const ModelError&) {
    return true;  // unreadable: counting it says why
  }
  return head.find("<mesh") != std::string::npos;
}

}  // namespace

Format AssimpFormat() {
  Format format;
  format.name = "assimp";
  format.extensions = AssimpExtensions();  // asked of assimp once, here
  format.read = ReadAssimpFile;
  format.claims = ClaimsForAWalk;
  format.help =
      " on Linux also every other format the\n"
      "assimp library imports (FBX, COLLADA, 3DS, OFF, glTF 1.0, ...): --formats lists\n"
      "them and says what counts in each; --reader assimp reads glTF, PLY and STL\n"
      "through it too, to compare.\n";
  if (format.extensions.empty()) {
    format.notes = "This build reads no other formats: assimp is part of the Linux builds only.\n";
    return format;
  }
  // Its extensions that an earlier entry does not take, listed by the registry.
  format.listing = "  through assimp:\n";
  format.listsExtensions = true;
  format.notes =
      "What counts in assimp's formats:\n"
      "  objects   one per mesh instance in the file's node hierarchy (a mesh used by\n"
      "            three nodes is three objects; a mesh assimp splits by glTF\n"
      "            primitive or by material is one per part), named \"node/mesh\";\n"
      "            an FBX node shown false hides its objects\n"
      "  faces     as stored, not triangulated; points and lines count as faces of 1\n"
      "            and 2 points; a point cloud's vertices as points\n"
      "  vertices  each mesh's, after joining those identical to the bit in position,\n"
      "            normal, texture coordinates and colours: glTF and other formats that\n"
      "            split a corner at a UV or normal seam count the copies as stored;\n"
      "            an STL file's facet corners are joined\n"
      "  ignored   materials, animation, skins, cameras and lights\n"
      "Not counted (exit 2): a file assimp refuses, reads without meshes, or warns of\n"
      "anything but what is ignored (it drops geometry it cannot read with only a\n"
      "warning); PLY and OFF files with faults its readers hang or crash on; PLY\n"
      "edge and tristrips, COLLADA trifans (assimp does not read them as stored); an\n"
      "import that does not finish in time (--import-timeout).\n";
  return format;
}

}  // namespace vhost::models
