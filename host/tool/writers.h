// How a run's results are written out: a writer is told when the run begins,
// is handed each model as soon as it is counted, and is told when the run ends.
// Text for a person and one JSON document for a pipeline are the two today; a
// run may feed several at once. Writers write to a stream the caller owns and
// leaves open; they never close or flush-check it.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/tool/result.h"

namespace vtool {

class Writer {
 public:
  virtual ~Writer() = default;
  // Once the plug-in is loaded, before the first model; with its identity when
  // it was asked for. A run that fails before that never calls it.
  virtual void Begin(const std::optional<Identity>& identity) = 0;
  // Each model, in command-line order, as soon as it is done (counted, or not
  // counted with its error).
  virtual void Model(const ModelResult& result) = 0;
  // Once, at the end of every run, including one that failed early.
  virtual void End(const RunSummary& summary) = 0;
};

// The window's picture of each counted model, as the host would show it.
class TextWriter final : public Writer {
 public:
  explicit TextWriter(std::FILE* out) : out_(out) {}
  void Begin(const std::optional<Identity>& identity) override;
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;

 private:
  std::FILE* out_;
};

// One JSON document: it needs the run's exit status, so it is written at End.
class JsonWriter final : public Writer {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}
  void Begin(const std::optional<Identity>& identity) override;
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;

 private:
  std::FILE* out_;
  std::optional<Identity> identity_;
  std::vector<ModelResult> results_;
};

// The writers a run with `json` asks for, onto `out`.
std::vector<std::unique_ptr<Writer>> WritersFor(bool json, std::FILE* out);

// A model as text: its file name, the window's picture, a line naming the
// saturated rows, and with per-object rows a table of them.
std::string ToText(const ModelResult& result);

// What the plug-in says about itself, as text.
std::string ToText(const Identity& identity);

}  // namespace vtool
