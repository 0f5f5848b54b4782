// How a run's results are written out: a writer is told when the run begins,
// is handed each model as soon as it is counted, and is told when the run ends.
// Text for a person and one JSON document for a pipeline are the two today; a
// run may feed several at once. Writers write to a stream the caller owns and
// leaves open; they never close or flush-check it.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/tool/options.h"
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
  // After End: why a writer of a file could not write it (naming the file),
  // which is the run's own failure; empty when it did. Writers onto the
  // caller's stream leave that stream's errors to the caller.
  virtual std::string Failure() const { return {}; }
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
  JsonReport report_;  // each model rendered as it arrived
};

// A JSON line per model as soon as it is handed over, flushed at once, then a
// line with the run's summary (--jsonl): a consumer reads a run of any length
// as it goes.
class JsonLinesWriter final : public Writer {
 public:
  explicit JsonLinesWriter(std::FILE* out) : out_(out) {}
  void Begin(const std::optional<Identity>& /*identity*/) override {}
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;

 private:
  std::FILE* out_;
  RunTally tally_;
};

// The report on stdout alone, as a run with `json` or `jsonLines` asks for
// it, onto `out`: for a run that never got its options (a usage error).
std::vector<std::unique_ptr<Writer>> WritersFor(bool json, std::FILE* out, bool jsonLines = false);

// Every writer `options` ask for: the files first (JUnit, Markdown, HTML) and the
// report on `out` last, so that a file that could not be written is already
// the run's error when the JSON document is written. GitHub annotations go to
// `errLine`, a line a call (the run's stderr).
std::vector<std::unique_ptr<Writer>> WritersFor(
    const Options& options, std::FILE* out, const std::function<void(const std::string&)>& errLine);

// Whether this build can write JUnit XML (it needs pugixml, which the Windows
// builds lack).
bool CanWriteJunit();

// A model as text: its file name, the window's picture, a line naming the
// saturated rows, and with per-object rows a table of them.
std::string ToText(const ModelResult& result);

// What the plug-in says about itself, as text.
std::string ToText(const Identity& identity);

}  // namespace vtool
