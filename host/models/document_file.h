// A model file whose reader built its objects as it read: the objects wait in
// a document of the file's own until a load takes them (moved, not copied) or
// a scene copies the ones it picks.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "host/model/documents.h"
#include "host/models/model_file.h"

namespace vhost::models {

class DocumentFile : public ModelFile {
 public:
  // Takes the objects of `objects`, a document the reader filled for this file.
  explicit DocumentFile(Document& objects) { objects_.TakeSlots(objects); }

  int32_t ObjectCount() const override { return objects_.SlotCount(); }
  const std::string& ObjectName(int32_t index) const override { return Get(index).name; }
  Object& AddObjectTo(int32_t index, Document& document) override {
    return document.AddCopy(Get(index));
  }
  void MoveObjectsTo(Document& document) override { document.TakeSlots(objects_); }

 private:
  const Object& Get(int32_t index) const {
    const Object* object = objects_.At(index);
    if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
    return *object;
  }

  Document objects_;
};

}  // namespace vhost::models
