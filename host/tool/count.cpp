#include "host/tool/count.h"

#include <exception>
#include <filesystem>
#include <new>
#include <set>
#include <stdexcept>
#include <utility>

#include "host/api/host_state.h"
#include "host/models/models.h"

namespace vtool {
namespace {

constexpr const char* kGroups[] = {vhost::veltrane::kCurrentGroup, vhost::veltrane::kAllGroup};

// The freeze failures the host recorded since the last call, as one line each,
// once per object and reason.
std::vector<std::string> TakeFreezeFailures(const std::string& path) {
  auto& failures = vhost::State().documents.freezeFailures;
  std::vector<std::string> lines;
  std::set<std::pair<std::string, std::string>> seen;
  for (const vhost::FreezeFailure& failure : failures) {
    if (!seen.insert({failure.object, failure.reason}).second) continue;
    lines.push_back(ShownName(path) + ": object " + vhost::Printable(failure.object) +
                    ": the frozen copy could not be made: " + vhost::Printable(failure.reason));
  }
  failures.clear();
  return lines;
}

// Counts the document the model was loaded into: one count when it is opened,
// then with per-object rows one count per object.
void Count(CountingHost& host, vhost::Document& doc, const CountRequest& request,
           ModelResult& result, std::vector<std::string>& failures) {
  vhost::VeltraneSession& session = host.session();
  vhost::State().documents.freezeFailures.clear();
  host.Blank(0);
  host.Blank(1);
  session.DocumentOpened(doc, result.path);
  for (std::size_t i = 0; i < result.options.size(); ++i) {
    result.options[i] = host.Ticked(kCheckBoxes[i]);
  }
  const bool update = result.options[0];
  result.current = host.Read(0);
  result.all = host.Read(1);
  if (update && (!result.current || (result.options[1] && !result.all))) {
    throw std::runtime_error("the plug-in did not count this document");
  }
  if (request.picture) result.picture = session.Picture();
  for (std::string& line : TakeFreezeFailures(result.path)) failures.push_back(std::move(line));

  if (!request.perObject || !update) return;
  // As a user clicking through the objects with All cleared, so that each click
  // counts one object and not the whole document again.
  const bool all = result.options[1];
  const int32_t current = doc.currentIndex;
  struct Restore {
    vhost::VeltraneSession& session;
    vhost::Document& doc;
    bool all;
    int32_t current;
    ~Restore() {
      doc.currentIndex = current;
      try {
        if (all) session.SetTicked(vhost::veltrane::kCheckBoxes[1], true, nullptr);
      } catch (...) {  // the window is gone: nothing left to restore
      }
    }
  } restore{session, doc, all, current};
  if (all) session.SetTicked(vhost::veltrane::kCheckBoxes[1], false, nullptr);
  std::vector<ObjectRow> rows;
  for (int32_t i = 0; i < doc.SlotCount(); ++i) {
    const vhost::Object* object = doc.At(i);
    if (object == nullptr) continue;
    doc.currentIndex = i;
    host.Blank(0);
    session.DocumentEvent(doc, 210);
    const std::optional<Counts> counts = host.Read(0);
    if (!counts) throw std::runtime_error("the plug-in did not count object " + std::to_string(i));
    rows.push_back(ObjectRow{i, object->name, object->visible, *counts});
  }
  result.objects = std::move(rows);
  for (std::string& line : TakeFreezeFailures(result.path)) failures.push_back(std::move(line));
}

// Loads MODEL `path` into `doc`. "-" is standard input, read as OBJ as a file
// without extension is, and named "<stdin>" in messages; a folder is refused by
// name rather than left to a reader that finds no extension on it.
void LoadInto(const std::string& path, vhost::Document& doc, const vhost::LoadProgress& progress) {
  if (path == kStandardInput) {
#if defined(_WIN32)
    throw vhost::ModelError(vhost::ModelError::Kind::kUnsupported, ShownName(path), 0,
                            "this build reads standard input on Linux only");
#else
    try {
      vhost::LoadObj("/dev/stdin", doc, progress);
    } catch (const vhost::ModelError& error) {
      throw vhost::ModelError(error.kind(), ShownName(path), error.line(), error.message(),
                              error.column());
    }
    return;
#endif
  }
  std::error_code unknown;  // a path that cannot be examined is the reader's to report
  if (std::filesystem::is_directory(path, unknown)) {
    throw vhost::ModelError(vhost::ModelError::Kind::kUnsupported, path, 0, "is a folder");
  }
  vhost::LoadModel(path, doc, progress);
}

}  // namespace

void CountingHost::FindFields() {
  for (int g = 0; g < 2; ++g) {
    for (std::size_t r = 0; r < std::size(kCountFields); ++r) {
      fields_[g][r] = session_.FieldWidget(kGroups[g], kCountFields[r].caption);
    }
  }
}

void CountingHost::Blank(int group) {
  for (int32_t field : fields_[group]) {
    if (field != 0) vhost::State().widgets.Put(field, "text", std::u16string());
  }
}

std::optional<Counts> CountingHost::Read(int group) const {
  Counts counts;
  std::size_t written = 0;
  for (std::size_t r = 0; r < std::size(kCountFields); ++r) {
    const CountField& count = kCountFields[r];
    const std::string text =
        fields_[group][r] != 0 ? vhost::State().widgets.Text(fields_[group][r], "text") : "";
    if (text.empty()) continue;
    if (text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
      throw std::runtime_error("the plug-in's field " + std::string(kGroups[group]) + " " +
                               count.caption + " shows \"" + vhost::Printable(text) +
                               "\", not a count");
    }
    counts.*count.member = std::stoll(text);
    ++written;
  }
  if (written == 0) return std::nullopt;
  if (written < std::size(kCountFields)) {
    throw std::runtime_error("the plug-in counted only part of the group " +
                             std::string(kGroups[group]));
  }
  return counts;
}

bool CountingHost::Ticked(const char* checkBox) const {
  return vhost::State().widgets.Bool(session_.CheckBox(checkBox), "checked");
}

ModelResult CountModel(CountingHost& host, const std::string& path, const CountRequest& request,
                       const LoadWatch& watch) {
  ModelResult result;
  result.path = path;
  std::vector<std::string> failures;
  vhost::Document& doc = vhost::State().documents.Open();
  // The one boundary where a model's failure becomes its result: whatever the
  // load or the count throws is this model's error, and the run goes on.
  try {
    LoadInto(path, doc, watch.progress);
    if (watch.loaded) watch.loaded();
    result.slots = doc.SlotCount();
    if (request.current) doc.currentIndex = *request.current;
    if (doc.At(doc.currentIndex) != nullptr) result.currentObject = doc.currentIndex;
    Count(host, doc, request, result, failures);
  } catch (const vhost::ModelError& error) {
    result.error = error.what();
    result.errorKind = error.kind();
  } catch (const std::bad_alloc&) {
    // The fault a reader reports as kOutOfMemory, wherever it struck: this
    // model needed more memory than was left.
    result.error = ShownName(path) + ": " + vhost::Printable(FailureText());
    result.errorKind = vhost::ModelError::Kind::kOutOfMemory;
  } catch (const std::exception&) {
    result.error = ShownName(path) + ": " + vhost::Printable(FailureText());
  }
  vhost::State().documents.Close(doc);
  result.diagnostics = std::move(failures);
  if (!result.error.empty()) result.diagnostics.push_back(result.error);
  if (result.error.empty() && !result.diagnostics.empty())
    result.error = result.diagnostics.front();
  if (!result.error.empty()) {
    result.picture.clear();
    result.current.reset();
    result.all.reset();
    result.objects.reset();
  } else {
    CheckBudgets(result, request.rules, request.waivers);
  }
  return result;
}

}  // namespace vtool
