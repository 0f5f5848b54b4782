// Counting one model: the plug-in, loaded into this process's stand-in host,
// shown the model as a document and read back from its window. One function per
// model, with no stream and no console, so that a worker process can count a
// model and hand back its result.
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "host/models/models.h"
#include "host/probe/veltrane_session.h"
#include "host/tool/budgets.h"
#include "host/tool/result.h"

namespace vtool {

// The plug-in loaded into the process's stand-in host, with its window's number
// fields looked up once (the window keeps them for its life). One per run; the
// host state it drives is the process's.
class CountingHost {
 public:
  // Loads the plug-in at `plugin`; throws when it cannot be loaded.
  explicit CountingHost(const std::string& plugin) : session_(plugin) {}

  vhost::VeltraneSession& session() { return session_; }

  // After the window is open: finds the fields the counts are read from.
  void FindFields();

  // Empties a group's fields (0 current, 1 all), so that what the plug-in writes
  // next is all that shows: a field left empty was not counted, never an older
  // document's number.
  void Blank(int group);

  // A group's six numbers; null when the plug-in wrote none of them. Throws when
  // it wrote only some, or something that is not a count.
  std::optional<Counts> Read(int group) const;

  bool Ticked(const char* checkBox) const;

 private:
  vhost::VeltraneSession session_;
  // Each group's number fields, in kCountFields order; 0 for one not found.
  int32_t fields_[2][std::size(kCountFields)] = {};
};

// What to count of each model, the same for every model of a run.
struct CountRequest {
  std::optional<int32_t> current;  // the object to make current in each document
  bool perObject = false;          // a row per object
  std::vector<BudgetRule> rules;   // checked on every model counted
  std::vector<Waiver> waivers;     // budgets the model may exceed, and why
  // The window drawn as text after the count, for the report that shows it
  // (the text one): a fifth of a small model's time, so not drawn for the others.
  bool picture = true;
};

// Where a person watching sees a load go on: called while the file is read, and
// once it is read. Either may be empty.
struct LoadWatch {
  vhost::LoadProgress progress;
  std::function<void()> loaded;
};

// Opens MODEL `path` as a new document of `host`, counts it, checks it against
// the request's rules and closes the document again. A model that cannot be
// loaded or counted is a result with an error, never an exception; throws only
// when the host itself fails (out of memory opening a document).
ModelResult CountModel(CountingHost& host, const std::string& path, const CountRequest& request,
                       const LoadWatch& watch = {});

}  // namespace vtool
