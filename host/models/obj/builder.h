// Building the objects of an OBJ file from its split batches, applied in file
// order: every check against what is defined so far, every message with its
// line, and the objects themselves, each built once it ends.
#pragma once

#include <memory>
#include <string>

#include "host/model/documents.h"
#include "host/models/obj/batch.h"
#include "host/models/source_text.h"

namespace vhost::models::obj {

class ObjBuilder {
 public:
  // Builds into `objects`, the first object named after the file's stem until
  // a statement names it. `path` (named in messages), `progress` and `objects`
  // are the caller's and must outlive the builder.
  ObjBuilder(const std::string& path, const ProgressShare& progress, Document& objects);
  ObjBuilder(const ObjBuilder&) = delete;
  ObjBuilder& operator=(const ObjBuilder&) = delete;
  ~ObjBuilder();

  // Applies a split batch, the next in file order, then tells its bytes as
  // progress, on the caller's thread. Throws ModelError for the first fault in
  // it, std::bad_alloc when memory runs out; the builder is then only to be
  // dropped. The batch stays the caller's: nothing in it is kept.
  void Apply(Batch& batch);

  // Builds the last object, once every batch is applied: the objects hold, one
  // slot each, every object of the file that held something, in file order.
  void Finish();

 private:
  // Every vertex of the file and the object being read, and what each statement
  // and field passes through: all in builder.cpp, compiled there with the loop
  // over a batch's steps that calls them.
  class State;
  std::unique_ptr<State> state_;
};

}  // namespace vhost::models::obj
