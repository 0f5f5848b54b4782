// The stand-in host's documents: objects with vertices, faces and modifiers.
//
// Handles given to the plug-in are plain pointers: an MQDocument is a Document*,
// an MQObject an Object*. A handle leads straight to its data, so every object
// function the plug-in calls costs O(1).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/export.h"
#include "host/core/faults.h"

namespace vhost {

struct Vec3 {
  double x = 0;
  double y = 0;
  double z = 0;
};

// Mirror modifier. `type`: 0 off, 1 separate (the mirrored half keeps its own
// vertices), 2 connected (vertices lying on a mirror plane are shared by both
// halves). `axis`: bit set of the planes to mirror across, 1 = X (the plane
// x = 0), 2 = Y, 4 = Z; several bits mirror across each plane in turn.
// `distance`: how far from a plane a vertex may lie and still count as on it.
struct MirrorSettings {
  int32_t type = 0;
  int32_t axis = 1;
  double distance = 0;
};

// Lathe modifier. `type`: 0 off, nonzero on. `axis`: 0 = X, 1 = Y, 2 = Z, the
// axis to revolve around. `segments`: steps around the full turn (at least 3).
// Every 2-point face of the object is swept around the axis into quads, or
// triangles where one end lies on the axis; vertices on the axis are shared.
struct LatheSettings {
  int32_t type = 0;
  int32_t axis = 1;
  int32_t segments = 12;
};

// Patch modifier: Catmull–Clark subdivision. `type`: 0 off, nonzero on.
// `segments`: subdivision levels (1 to 4). Every face of 3 or more points
// becomes n quads per level; faces of 1 and 2 points are kept as they are.
struct PatchSettings {
  int32_t type = 0;
  int32_t segments = 1;
};

// Freeze flags: which modifiers MQObj_Freeze applies.
inline constexpr uint32_t kFreezeMirror = 0x1;
inline constexpr uint32_t kFreezeLathe = 0x2;
inline constexpr uint32_t kFreezePatch = 0x4;

// The most vertices, faces or face points an object may have: the document
// model counts and indexes them in int32.
inline constexpr int64_t kMaxElementCount = INT32_MAX;

static_assert(FreezeFaults{}.elementLimit == kMaxElementCount);

class Document;

class VHOST_API Object {
 public:
  std::string name;
  bool visible = true;
  MirrorSettings mirror;
  LatheSettings lathe;
  PatchSettings patch;

  int32_t VertexCount() const { return static_cast<int32_t>(positions_.size()); }
  int32_t FaceCount() const {
    return uniformSize_ != 0 ? uniformCount_ : static_cast<int32_t>(faceSize_.size());
  }
  // Face references to vertex `index`; 0 for an unused vertex or a bad index.
  int32_t VertexRefCount(int32_t index) const {
    return index >= 0 && index < VertexCount() ? refCount_[static_cast<std::size_t>(index)] : 0;
  }
  // Points of face `index`; 0 for a deleted face or a bad index.
  int32_t FacePointCount(int32_t index) const {
    if (index < 0 || index >= FaceCount()) return 0;
    return uniformSize_ != 0 ? uniformSize_ : faceSize_[static_cast<std::size_t>(index)];
  }
  const Vec3& Position(int32_t index) const {
    return positions_.at(static_cast<std::size_t>(index));
  }
  // The vertex indices of a live face, empty for a deleted one.
  std::vector<int32_t> FacePoints(int32_t index) const;

  int32_t AddVertex(const Vec3& position);
  // Adds a face of the given vertices (1 or more, each an existing vertex).
  // Throws std::out_of_range for a bad index and std::invalid_argument for none;
  // the object is then as it was, as it is when memory runs out.
  int32_t AddFace(const std::vector<int32_t>& points);
  // The same for the `count` vertices at `points`, read during the call only: a
  // loader's faces need no vector of their own.
  int32_t AddFace(const int32_t* points, int32_t count);
  // Adds the `count` vertices at `positions`, read during the call only; all or
  // nothing (std::bad_alloc).
  void AddVertices(const Vec3* positions, int32_t count);
  // Adds `count` faces, face i of `sizes[i]` points taken in turn from `points`
  // (read during the call only): AddFace for each, without a call per face. All
  // or nothing, with AddFace's exceptions.
  void AddFaces(const int32_t* sizes, int32_t count, const int32_t* points);
  // Adds faces of `size` points each, taken in turn from `points` (a whole
  // number of faces), with AddFaces's checks and exceptions. An object without
  // faces or room Reserved for them takes the list itself rather than a copy:
  // a reader that built it for this object hands it on, and the faces of a
  // large mesh are never held twice. Faces all of one size are held without
  // lists of sizes and starts.
  void AddFacesOfSize(int32_t size, std::vector<int32_t> points);
  // Makes room for `vertices` more vertices, `faces` more faces and `points`
  // more face points, so that the adds that follow allocate nothing: a loader
  // that knows its counts gets arrays of exactly that size. May be called once
  // per kind (vertices first, then faces), so that a loader can free its own
  // copy of the vertices before the room for the faces is taken. Throws
  // std::length_error past kMaxElementCount of a kind, std::bad_alloc when
  // memory runs out; the object's geometry is unchanged either way.
  void Reserve(int64_t vertices, int64_t faces, int64_t points);
  // Deleted faces stay in the list with 0 points; their vertices lose a reference.
  // May throw std::bad_alloc (the object's faces written out face by face
  // first), leaving the object as it was.
  void DeleteFace(int32_t index);
  // Deletes a vertex's faces, then leaves the vertex unused.
  void DeleteVertex(int32_t index);

  // Applies the modifiers selected by `flags` that are on into this object's
  // own geometry (lathe, then mirror, then patch) and turns them off. Deleted
  // faces are dropped; unused vertices are kept.
  //
  // All or nothing: every step works on new geometry, and the object takes it
  // (and turns the modifiers off) only once every step has succeeded. Answers
  // false when a step failed; the object, geometry and settings, is then
  // exactly as it was, and `reason`, when given, receives why as a short
  // lower-case phrase without the object's name: "out of memory", "it would
  // have more than 2147483647 faces", "the subdivision library refused the
  // mesh: ...". Throws std::bad_alloc only when even the reason cannot be
  // made, with the object unchanged as well.
  bool Freeze(uint32_t flags, std::string* reason = nullptr, const FreezeFaults& faults = {});

  // The document holding this object; null for a copy outside any document.
  Document* document() const { return document_; }

  // Whether this build of the host can apply the patch modifier.
  static bool CanSubdivide();

 private:
  friend class Document;
  friend class Documents;

  void ReplaceGeometry(std::vector<Vec3> positions, const std::vector<std::vector<int32_t>>& faces);
  // The steps of Freeze. Each reads this object's geometry and answers new
  // geometry (an object holding nothing else), leaving this one as it is. They
  // refuse, by throwing, a result with more than `limit` elements of a kind
  // before building any of it.
  Object Lathed(const LatheSettings& settings, int64_t limit) const;
  Object Mirrored(const MirrorSettings& settings, int64_t limit) const;
  Object Patched(const PatchSettings& settings, int64_t limit) const;
  // Takes the geometry of `other` (a step's result); cannot fail.
  void TakeGeometry(Object& other) noexcept;

  // Where face `index` (a face of the object) starts in points_.
  std::size_t FaceStart(int32_t index) const {
    return uniformSize_ != 0
               ? static_cast<std::size_t>(index) * static_cast<std::size_t>(uniformSize_)
               : static_cast<std::size_t>(faceStart_[static_cast<std::size_t>(index)]);
  }
  // Writes out the per-face lists of uniform faces, so that one face can
  // differ; all or nothing (std::bad_alloc).
  void Spread();

  Document* document_ = nullptr;
  std::vector<Vec3> positions_;
  std::vector<int32_t> refCount_;
  // Faces in one flat list of points: face i has faceSize_[i] points starting
  // at faceStart_[i]. While every face has the same number of points and none
  // was deleted (a mesh of triangles as a reader hands it over), uniformSize_
  // is that number, uniformCount_ the faces, and the two lists are empty: face
  // i starts at i × uniformSize_. For a large mesh they would be two fifths of
  // its memory.
  std::vector<int32_t> faceStart_;
  std::vector<int32_t> faceSize_;
  int32_t uniformSize_ = 0;
  int32_t uniformCount_ = 0;
  std::vector<int32_t> points_;
};

class VHOST_API Document {
 public:
  // Object slots; an empty slot holds null.
  int32_t SlotCount() const { return static_cast<int32_t>(slots_.size()); }
  Object* At(int32_t index) const {
    return index >= 0 && index < SlotCount() ? slots_[static_cast<std::size_t>(index)].get()
                                             : nullptr;
  }
  int32_t currentIndex = 0;

  // Appends a new object in a new slot and returns it.
  Object& AddObject(std::string name);
  // Appends a copy of `original` (name, settings and geometry; `original` may
  // belong to any document or none) in a new slot and returns it. When memory
  // runs out, the document is unchanged.
  Object& AddCopy(const Object& original);
  // Empties slot `index`; its object is destroyed.
  void RemoveObject(int32_t index);
  // Moves every slot of `other`, empty ones too, to the end of this document in
  // order; the objects now belong to this document and `other` has no slots left.
  // When memory runs out, neither document changes: a loader fills a document of
  // its own and hands it over only once the whole model has been read.
  void TakeSlots(Document& other);

 private:
  std::vector<std::unique_ptr<Object>> slots_;
};

// A frozen copy the plug-in asked for and did not get. `object`: the name of
// the object to be copied or frozen; `reason`: a short lower-case phrase.
struct FreezeFailure {
  std::string object;
  std::string reason;
};

// Every open document, and the objects the plug-in cloned out of them.
class VHOST_API Documents {
 public:
  Document& Open();
  void Close(Document& document);

  // Takes faults from and records misbehaviour in `wiring`'s switchboard and log.
  explicit Documents(FaultWiring wiring = {}) : wiring_(std::move(wiring)) {}

  // MQObj_Clone: a copy outside any document, owned by the host until deleted;
  // null when the switchboard's `failClones` is set (a host out of memory, for
  // tests). Throws std::bad_alloc when memory runs out, with nothing changed.
  Object* Clone(const Object& original);

  // Why a frozen copy the plug-in asked for could not be made: one entry per failed
  // MQObj_Clone or MQObj_Freeze, oldest first. The host only appends; its reader clears it.
  std::vector<FreezeFailure> freezeFailures;
  // Appends to freezeFailures. Never throws: a record there is no memory for is
  // dropped, and answers false then.
  bool RecordFreezeFailure(const Object& object, std::string_view reason) noexcept;
  // MQObj_Delete: destroys a copy made by Clone. Anything else is refused and
  // recorded in the fault log.
  void Delete(Object* object);

  // Copies made by Clone and not yet deleted.
  int32_t LiveClones() const { return static_cast<int32_t>(clones_.size()); }
  // Clones made since the last Reset.
  int32_t clonesMade = 0;

  // The switchboard and log this part answers to.
  FaultSwitchboard& faults() const { return wiring_.faults(); }
  FaultLog& faultLog() const { return wiring_.log(); }

  // Back to a fresh host: no documents, no clones, no freeze failures. A part
  // made on its own resets its own switchboard and log; the host's are the
  // host's to reset.
  void Reset();

 private:
  FaultWiring wiring_;
  std::vector<std::unique_ptr<Document>> open_;
  std::vector<std::unique_ptr<Object>> clones_;
};

}  // namespace vhost
