#include "host/model/documents.h"

#include <algorithm>
#include <stdexcept>

#include "host/core/release.h"

namespace vhost {

// --- Object ----------------------------------------------------------------------

std::vector<int32_t> Object::FacePoints(int32_t index) const {
  const int32_t size = FacePointCount(index);
  if (size <= 0) return {};
  const auto begin = points_.begin() + static_cast<std::ptrdiff_t>(FaceStart(index));
  return std::vector<int32_t>(begin, begin + size);
}

int32_t Object::AddVertex(const Vec3& position) {
  positions_.push_back(position);
  try {
    refCount_.push_back(0);
  } catch (...) {
    positions_.pop_back();  // both lists stay of one length
    throw;
  }
  return VertexCount() - 1;
}

int32_t Object::AddFace(const std::vector<int32_t>& points) {
  if (points.size() > static_cast<std::size_t>(kMaxElementCount)) {
    throw std::length_error("a face of more points than an object can hold");
  }
  return AddFace(points.data(), static_cast<int32_t>(points.size()));
}

int32_t Object::AddFace(const int32_t* points, int32_t count) {
  if (count <= 0) throw std::invalid_argument("a face needs at least one point");
  for (int32_t i = 0; i < count; ++i) {
    const int32_t p = points[i];
    if (p < 0 || p >= VertexCount()) {
      throw std::out_of_range("face point " + std::to_string(p) + " is not a vertex of " + name);
    }
  }
  // Face starts are 32-bit: past that many points in all, they would wrap.
  if (static_cast<int64_t>(points_.size()) > kMaxElementCount - count) {
    throw std::length_error("more face points than an object can hold");
  }
  Spread();
  const auto size = static_cast<std::size_t>(count);
  faceStart_.push_back(static_cast<int32_t>(points_.size()));
  try {
    faceSize_.push_back(count);
    points_.insert(points_.end(), points, points + size);
  } catch (...) {
    // Out of memory part-way: the face lists stay of one length.
    faceSize_.resize(faceStart_.size() - 1);
    faceStart_.pop_back();
    throw;
  }
  for (std::size_t i = 0; i < size; ++i) ++refCount_[static_cast<std::size_t>(points[i])];
  return FaceCount() - 1;
}

namespace {

// Room in `list` for `more` elements past its size, growing it geometrically
// (a caller adding in pieces without Reserve must not copy the list each time).
template <typename T>
void RoomFor(std::vector<T>& list, std::size_t more) {
  const std::size_t needed = list.size() + more;
  if (needed > list.capacity()) list.reserve(std::max(needed, 2 * list.capacity()));
}

}  // namespace

void Object::AddVertices(const Vec3* positions, int32_t count) {
  if (count <= 0) return;
  if (VertexCount() > kMaxElementCount - count) {
    throw std::length_error("more vertices than an object can hold");
  }
  const auto size = static_cast<std::size_t>(count);
  RoomFor(positions_, size);
  RoomFor(refCount_, size);
  positions_.insert(positions_.end(), positions, positions + size);
  refCount_.resize(refCount_.size() + size, 0);
}

void Object::AddFaces(const int32_t* sizes, int32_t count, const int32_t* points) {
  if (count <= 0) return;
  // Face by face, as AddFace checks one: the first fault found is the one
  // AddFace would have thrown for it.
  int64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (sizes[i] <= 0) throw std::invalid_argument("a face needs at least one point");
    for (int64_t j = total; j < total + sizes[i]; ++j) {
      const int32_t p = points[j];
      if (p < 0 || p >= VertexCount()) {
        throw std::out_of_range("face point " + std::to_string(p) + " is not a vertex of " + name);
      }
    }
    total += sizes[i];
    if (static_cast<int64_t>(points_.size()) > kMaxElementCount - total) {
      throw std::length_error("more face points than an object can hold");
    }
  }
  if (FaceCount() > kMaxElementCount - count) {
    throw std::length_error("more faces than an object can hold");
  }
  const auto faces = static_cast<std::size_t>(count);
  const auto added = static_cast<std::size_t>(total);
  Spread();
  RoomFor(faceStart_, faces);
  RoomFor(faceSize_, faces);
  RoomFor(points_, added);
  // Nothing below allocates: the lists change together or not at all.
  auto start = static_cast<int32_t>(points_.size());
  for (std::size_t i = 0; i < faces; ++i) {
    faceStart_.push_back(start);
    start += sizes[i];
  }
  faceSize_.insert(faceSize_.end(), sizes, sizes + faces);
  points_.insert(points_.end(), points, points + added);
  for (std::size_t j = 0; j < added; ++j) ++refCount_[static_cast<std::size_t>(points[j])];
}

void Object::AddFacesOfSize(int32_t size, std::vector<int32_t> points) {
  if (points.empty()) return;
  if (size <= 0) throw std::invalid_argument("a face needs at least one point");
  const std::size_t added = points.size();
  if (added % static_cast<std::size_t>(size) != 0) {
    throw std::invalid_argument("points that are no whole number of faces of " +
                                std::to_string(size));
  }
  // One pass finds whether any point is amiss; only then is the first one
  // looked for, to name it as AddFace would. Four maxima at once: one would
  // wait for the one before at every point (the build does not widen the
  // loop), which took half of this call's time on a 2M-triangle mesh.
  const auto vertices = static_cast<uint32_t>(VertexCount());
  uint32_t most[4] = {0, 0, 0, 0};
  std::size_t at = 0;
  for (; at + 4 <= added; at += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      most[k] = std::max(most[k], static_cast<uint32_t>(points[at + k]));
    }
  }
  for (; at < added; ++at) most[0] = std::max(most[0], static_cast<uint32_t>(points[at]));
  const uint32_t largest = std::max(std::max(most[0], most[1]), std::max(most[2], most[3]));
  if (largest >= vertices) {
    const auto bad = std::find_if(points.begin(), points.end(), [vertices](int32_t p) {
      return static_cast<uint32_t>(p) >= vertices;
    });
    throw std::out_of_range("face point " + std::to_string(*bad) + " is not a vertex of " + name);
  }
  const std::size_t faces = added / static_cast<std::size_t>(size);
  if (static_cast<int64_t>(points_.size()) > kMaxElementCount - static_cast<int64_t>(added)) {
    throw std::length_error("more face points than an object can hold");
  }
  if (FaceCount() > kMaxElementCount - static_cast<int64_t>(faces)) {
    throw std::length_error("more faces than an object can hold");
  }
  const bool uniform = FaceCount() == 0 || uniformSize_ == size;
  if (!uniform) {
    Spread();
    RoomFor(faceStart_, faces);
    RoomFor(faceSize_, faces);
  }
  // Taken whole when the object has no points and no room set aside for them.
  const bool take = points_.empty() && points_.capacity() < added;
  if (!take) RoomFor(points_, added);
  // Nothing below allocates: the lists change together or not at all.
  if (uniform) {
    uniformSize_ = size;
    uniformCount_ += static_cast<int32_t>(faces);
  } else {
    auto start = static_cast<int32_t>(points_.size());
    for (std::size_t i = 0; i < faces; ++i, start += size) faceStart_.push_back(start);
    faceSize_.insert(faceSize_.end(), faces, size);
  }
  for (const int32_t p : points) ++refCount_[static_cast<std::size_t>(p)];
  if (take) {
    points_.swap(points);
  } else {
    points_.insert(points_.end(), points.begin(), points.end());
  }
}

void Object::Spread() {
  if (uniformSize_ == 0) return;
  const auto faces = static_cast<std::size_t>(uniformCount_);
  std::vector<int32_t> starts(faces);
  std::vector<int32_t> sizes(faces, uniformSize_);
  for (std::size_t i = 0; i < faces; ++i) starts[i] = static_cast<int32_t>(i) * uniformSize_;
  faceStart_.swap(starts);
  faceSize_.swap(sizes);
  uniformSize_ = 0;
  uniformCount_ = 0;
}

void Object::Reserve(int64_t vertices, int64_t faces, int64_t points) {
  const auto room = [](int64_t have, int64_t more) {
    if (more < 0 || more > kMaxElementCount - have) {
      throw std::length_error("more elements than an object can hold");
    }
    return static_cast<std::size_t>(have + more);
  };
  const std::size_t vertexRoom = room(VertexCount(), vertices);
  const std::size_t faceRoom = room(FaceCount(), faces);
  const std::size_t pointRoom = room(static_cast<int64_t>(points_.size()), points);
  // reserve() leaves a vector as it was when it throws, and never shrinks one.
  positions_.reserve(vertexRoom);
  refCount_.reserve(vertexRoom);
  if (uniformSize_ == 0) {  // uniform faces need no lists
    faceStart_.reserve(faceRoom);
    faceSize_.reserve(faceRoom);
  }
  points_.reserve(pointRoom);
}

void Object::DeleteFace(int32_t index) {
  for (int32_t p : FacePoints(index)) --refCount_[static_cast<std::size_t>(p)];
  if (index < 0 || index >= FaceCount()) return;
  Spread();
  faceSize_[static_cast<std::size_t>(index)] = 0;
}

void Object::DeleteVertex(int32_t index) {
  for (int32_t f = 0; f < FaceCount(); ++f) {
    const std::vector<int32_t> points = FacePoints(f);
    if (std::find(points.begin(), points.end(), index) != points.end()) DeleteFace(f);
  }
}

void Object::ReplaceGeometry(std::vector<Vec3> positions,
                             const std::vector<std::vector<int32_t>>& faces) {
  positions_ = std::move(positions);
  refCount_.assign(positions_.size(), 0);
  faceStart_.clear();
  faceSize_.clear();
  uniformSize_ = 0;
  uniformCount_ = 0;
  points_.clear();
  for (const auto& face : faces) AddFace(face);
}

void Object::TakeGeometry(Object& other) noexcept {
  positions_.swap(other.positions_);
  refCount_.swap(other.refCount_);
  faceStart_.swap(other.faceStart_);
  faceSize_.swap(other.faceSize_);
  std::swap(uniformSize_, other.uniformSize_);
  std::swap(uniformCount_, other.uniformCount_);
  points_.swap(other.points_);
}

// --- Document --------------------------------------------------------------------

Object& Document::AddObject(std::string name) {
  auto object = std::make_unique<Object>();
  object->name = std::move(name);
  object->document_ = this;
  slots_.push_back(std::move(object));
  return *slots_.back();
}

Object& Document::AddCopy(const Object& original) {
  auto object = std::make_unique<Object>(original);
  object->document_ = this;
  slots_.push_back(std::move(object));
  return *slots_.back();
}

void Document::RemoveObject(int32_t index) {
  if (index >= 0 && index < SlotCount()) slots_[static_cast<std::size_t>(index)].reset();
}

void Document::TakeSlots(Document& other) {
  if (&other == this) return;
  slots_.reserve(slots_.size() + other.slots_.size());  // the only step that can fail
  for (auto& slot : other.slots_) {
    if (slot) slot->document_ = this;
    slots_.push_back(std::move(slot));
  }
  other.slots_.clear();
}

// --- Documents -------------------------------------------------------------------

Document& Documents::Open() {
  open_.push_back(std::make_unique<Document>());
  return *open_.back();
}

void Documents::Close(Document& document) {
  open_.erase(std::remove_if(open_.begin(), open_.end(),
                             [&](const auto& d) { return d.get() == &document; }),
              open_.end());
}

Object* Documents::Clone(const Object& original) {
  if (faults().failClones) return nullptr;
  auto copy = std::make_unique<Object>(original);
  copy->document_ = nullptr;
  clones_.push_back(std::move(copy));
  ++clonesMade;  // only once the copy exists and is the host's
  return clones_.back().get();
}

void Documents::Delete(Object* object) {
  const auto it = std::find_if(clones_.begin(), clones_.end(),
                               [&](const auto& c) { return c.get() == object; });
  if (it == clones_.end()) {
    // The host's own objects, and copies already deleted, are not the plug-in's to delete.
    faultLog().Record("MQObj_Delete",
                      object == nullptr ? "a null object" : "an object that is not a live copy");
    return;
  }
  clones_.erase(it);
}

bool Documents::RecordFreezeFailure(const Object& object, std::string_view reason) noexcept {
  try {
    freezeFailures.push_back({object.name, std::string(reason)});
    return true;
  } catch (...) {
    return false;  // a host out of memory loses the record, not the plug-in's call
  }
}

void Documents::Reset() {
  Release(open_);
  Release(clones_);
  clonesMade = 0;
  Release(freezeFailures);
  wiring_.ResetOwn();
}

}  // namespace vhost
