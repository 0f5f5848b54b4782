// The OBJ reader: one pass over the file, read in blocks of whole statements,
// each statement checked and turned into geometry as soon as it is read. This
// file runs the stages over one file, on one thread or two: ObjBlocks reads a
// block into a Batch (blocks.h), SplitBatch splits it into statements
// (statements.h), ObjBuilder applies them in file order (builder.h); for a
// large regular file SplitAhead reads and splits on a second thread
// (split_ahead.h). The stages live as long as one Read; what they built, the
// Document of objects, alone outlives it, in the ObjFile.
#include "host/models/obj/obj_file.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "host/models/obj/batch.h"
#include "host/models/obj/blocks.h"
#include "host/models/obj/builder.h"
#include "host/models/obj/split_ahead.h"
#include "host/models/obj/statements.h"

namespace vhost::models {
namespace {

// Files smaller than this are split on the builder's thread: a thread costs
// more than it saves on a few blocks.
constexpr uint64_t kSplitAheadBytes = uint64_t{4} << 20;

}  // namespace

struct ObjFile::Data {
  Document objects;  // built; LoadObj takes them, a scene copies the ones it picks
};

ObjFile::ObjFile(std::unique_ptr<Data> data) : data_(std::move(data)) {}
ObjFile::ObjFile(ObjFile&&) noexcept = default;
ObjFile& ObjFile::operator=(ObjFile&&) noexcept = default;
ObjFile::~ObjFile() = default;

int32_t ObjFile::ObjectCount() const { return data_->objects.SlotCount(); }
const std::string& ObjFile::ObjectName(int32_t index) const {
  const Object* object = data_->objects.At(index);
  if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
  return object->name;
}

ObjFile ObjFile::Read(const std::string& path, const ProgressShare& progress, ObjThreads threads) {
  InputFile file(path);
  return Read(file, path, progress, threads);
}

ObjFile ObjFile::Read(ByteSource& source, const std::string& path, const ProgressShare& progress,
                      ObjThreads threads) {
  auto data = std::make_unique<Data>();
  obj::ObjBlocks blocks(source);
  obj::ObjBuilder builder(path, progress, data->objects);
  // Only a regular file is read ahead: the thread must be able to stop when
  // the builder refuses the file, and a read of a pipe or device may never
  // return.
  if (threads == ObjThreads::kAuto) {
    threads = blocks.RegularSize() >= kSplitAheadBytes ? ObjThreads::kTwo : ObjThreads::kOne;
  }
  std::unique_ptr<obj::SplitAhead> ahead;
  if (threads == ObjThreads::kTwo && blocks.RegularSize() > 0) {
    try {
      ahead = std::make_unique<obj::SplitAhead>(blocks);
    } catch (const std::system_error&) {
      // No thread to be had: the one there is does it all.
    }
  }
  if (ahead != nullptr) {
    while (obj::Batch* batch = ahead->Next()) {
      builder.Apply(*batch);
      ahead->Done();
    }
  } else {
    obj::Batch batch;
    while (blocks.Read(batch)) {
      obj::SplitBatch(batch);
      builder.Apply(batch);
    }
  }
  ahead.reset();
  builder.Finish();
  return ObjFile(std::move(data));
}

Object& ObjFile::AddObjectTo(int32_t index, Document& document) {
  const Object* object = data_->objects.At(index);
  if (object == nullptr) throw std::out_of_range("no object " + std::to_string(index));
  return document.AddCopy(*object);
}

void ObjFile::MoveObjectsTo(Document& document) { document.TakeSlots(data_->objects); }

namespace {

class ObjModelFile : public ModelFile {
 public:
  explicit ObjModelFile(ObjFile file) : file_(std::move(file)) {}
  int32_t ObjectCount() const override { return file_.ObjectCount(); }
  const std::string& ObjectName(int32_t index) const override { return file_.ObjectName(index); }
  Object& AddObjectTo(int32_t index, Document& document) override {
    return file_.AddObjectTo(index, document);
  }
  // Moved, not copied: a load takes every object once.
  void MoveObjectsTo(Document& document) override { file_.MoveObjectsTo(document); }

 private:
  ObjFile file_;
};

}  // namespace

Format ObjFormat() {
  Format format;
  format.name = "OBJ";
  format.extensions = {".obj"};
  // A path without extension (a pipe, /dev/stdin) is read as OBJ, as it always was.
  format.takesNoExtension = true;
  format.read = [](const std::string& path, const ProgressShare& progress) {
    return std::unique_ptr<ModelFile>(
        std::make_unique<ObjModelFile>(ObjFile::Read(path, progress)));
  };
  format.listing =
      "  .obj       Wavefront OBJ, by its own reader: objects, vertices and faces as the\n"
      "             file has them (see README); also a file without extension (a pipe)\n";
  format.help = "OBJ";
  return format;
}

}  // namespace vhost::models
