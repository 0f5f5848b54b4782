#include "host/model/documents.h"

#include <algorithm>
#include <stdexcept>

#include "host/core/release.h"

namespace vhost {

// --- Object ----------------------------------------------------------------------

std::vector<int32_t> Object::FacePoints(int32_t index) const {
  const int32_t size = FacePointCount(index);
  if (size <= 0) return {};
  const auto begin = points_.begin() + faceStart_[static_cast<std::size_t>(index)];
  return std::vector<int32_t>(begin, begin + size);
}

int32_t Object::AddVertex(const Vec3& position) {
  positions_.push_back(position);
  refCount_.push_back(0);
  return VertexCount() - 1;
}

int32_t Object::AddFace(const std::vector<int32_t>& points) {
  if (points.empty()) throw std::invalid_argument("a face needs at least one point");
  for (int32_t p : points) {
    if (p < 0 || p >= VertexCount()) {
      throw std::out_of_range("face point " + std::to_string(p) + " is not a vertex of " + name);
    }
  }
  faceStart_.push_back(static_cast<int32_t>(points_.size()));
  faceSize_.push_back(static_cast<int32_t>(points.size()));
  points_.insert(points_.end(), points.begin(), points.end());
  for (int32_t p : points) ++refCount_[static_cast<std::size_t>(p)];
  return FaceCount() - 1;
}

void Object::DeleteFace(int32_t index) {
  for (int32_t p : FacePoints(index)) --refCount_[static_cast<std::size_t>(p)];
  if (index >= 0 && index < FaceCount()) faceSize_[static_cast<std::size_t>(index)] = 0;
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
  points_.clear();
  for (const auto& face : faces) AddFace(face);
}

void Object::TakeGeometry(Object& other) noexcept {
  positions_.swap(other.positions_);
  refCount_.swap(other.refCount_);
  faceStart_.swap(other.faceStart_);
  faceSize_.swap(other.faceSize_);
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
