// What veltrane-host found out about one model, apart from how it is written
// out: the counts the plug-in's window showed for it, per-object rows, budget
// verdicts and what was said about it. Built by counting (count.h) and checking
// (budgets.h), read by the writers (writers.h); a plain value, so that a worker
// process can count a model and hand its result back.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "host/models/model_error.h"
#include "host/probe/veltrane_facts.h"

namespace vtool {

// The window's check boxes, by caption, in the window's order.
using vhost::veltrane::kCheckBoxes;

// The plug-in counts in signed 32 bits and stops at the largest value: a field
// showing it holds "this many or more", never an exact count.
inline constexpr int64_t kSaturated = 2147483647;

// The six numbers of one group of the window, one per row.
struct Counts {
  int64_t vertices = 0;   // V: the vertices that faces use
  int64_t total = 0;      // F: polygons, or with Triangle ticked triangles
  int64_t lines = 0;      // 2: faces of 2 points
  int64_t triangles = 0;  // 3: faces of 3 points
  int64_t quads = 0;      // 4: faces of 4 points
  int64_t ngons = 0;      // 5: faces of 5 or more points
};

// Where each count is shown: its row's caption on the window and its name in
// the JSON, in the window's row order. The one place a count is matched to a
// row; everything that reads the window or writes counts in row order goes
// through it.
struct CountField {
  const char* caption;  // the row on the window: "V", "F", "2", ...
  const char* json;     // the key in the JSON: "vertices", "total", ...
  int64_t Counts::*member;
};
inline constexpr CountField kCountFields[] = {
    {vhost::veltrane::kRows[0], "vertices", &Counts::vertices},
    {vhost::veltrane::kRows[1], "total", &Counts::total},
    {vhost::veltrane::kRows[2], "lines", &Counts::lines},
    {vhost::veltrane::kRows[3], "triangles", &Counts::triangles},
    {vhost::veltrane::kRows[4], "quads", &Counts::quads},
    {vhost::veltrane::kRows[5], "ngons", &Counts::ngons},
};
static_assert(std::size(kCountFields) == std::size(vhost::veltrane::kRows),
              "a count for every row of the window");

// Whether a count is the plug-in's largest value, and so a lower bound.
inline bool IsSaturated(int64_t value) { return value >= kSaturated; }

// The captions of the saturated counts ("V", "F", ...), in row order.
std::vector<std::string> SaturatedRows(const Counts& counts);

struct ObjectRow {
  int32_t index = 0;  // the object's slot in the document
  std::string name;
  bool visible = true;
  Counts counts{};
};

// What a budget limits. Faces are those of 2 or more points (rows 2 to 5,
// whatever row F counts); triangles are row F, which counts triangles only while
// Triangle is ticked.
enum class Metric { kFaces, kTriangles, kVertices };

// "faces", "triangles" or "vertices", as messages name the metric.
const char* MetricName(Metric metric);

// One budget against one count.
struct Verdict {
  // kWarned: over a warning level, which is said and never fails; kWaived: over
  // a budget a waiver lets the model exceed.
  enum class Kind { kWithin, kOver, kUnchecked, kWarned, kWaived };
  std::string budget;  // the rule's name: "max-faces", "warn-object-vertices", ...
  Metric metric = Metric::kFaces;
  std::optional<int32_t> object;  // the object's row for a per-object budget
  int64_t limit = 0;
  std::optional<int64_t> value;  // none when nothing could be counted
  bool atLeast = false;          // `value` is a lower bound: a saturated count took part
  Kind kind = Kind::kUnchecked;
  bool warn = false;   // from a warning level: never changes the exit status
  std::string rule;    // where the limit was set: "command line", "veltrane.toml:12"
  std::string reason;  // why a budget could not be checked, or why it is waived
  std::string waiver;  // for kWaived: where the waiver is, "veltrane.toml:20"
};

struct ModelResult {
  std::string path;  // the MODEL as given
  // Empty when the model was counted exactly; else the one-line reason, which
  // starts with the file's name. A model with an error shows no counts at all.
  std::string error;
  // The kind of fault `error` is: a reader's (vhost::ModelError), or memory
  // running out while the model was loaded or counted. None when the model was
  // counted, and when the error is not the file's: the plug-in's window, a
  // frozen copy the host could not make, a run that stopped before the model.
  std::optional<vhost::ModelError::Kind> errorKind;
  // The lines said about the model on stderr, in order: each frozen copy the
  // host could not make, then the error that stopped the load or the count.
  // Verdicts are not among them: they are said from `verdicts`.
  std::vector<std::string> diagnostics;
  int32_t slots = 0;
  std::optional<int32_t> currentObject;
  std::array<bool, 6> options{};  // the check boxes, in kCheckBoxes order
  // Null when the plug-in counted nothing for the group: Update clear, or for
  // `all`, All clear.
  std::optional<Counts> current;
  std::optional<Counts> all;
  std::string picture;                            // the window as text, after the count
  std::optional<std::vector<ObjectRow>> objects;  // with per-object rows only
  std::vector<Verdict> verdicts;
  // With --shard: the model's place among all the models of the walk, so that
  // `merge` can put the shards' models back in order.
  std::optional<int64_t> walkIndex;
  // With --baseline: the model as the earlier report has it. Not `found`: new
  // since; `all` none: found, but not counted then (or All was clear).
  struct Before {
    bool found = false;
    std::optional<Counts> all;
  };
  std::optional<Before> baseline;
};

// The exit status a model alone leads to: 2 not counted exactly or a budget not
// checked, 1 over a budget, else 0.
int Status(const ModelResult& result);

// What the plug-in says about itself (--identify).
struct Identity {
  std::string path;
  uint32_t hostVersion = 0;
  uint32_t interfaceVersion = 0;  // the plug-in's answer to the version check
  uint32_t product = 0;
  uint32_t id = 0;
  int32_t type = 0;
  std::string name;
  std::vector<std::string> menuStrings;
};

// What the JSON document says about the run beyond its models.
struct RunSummary {
  int exitStatus = 0;
  std::string error;  // a failure of the run itself; empty when none
  std::optional<Identity> identity;
  // What the verdicts were judged by, so that reports of several runs are
  // only merged when they were judged alike: the policy file used (empty:
  // none) and a hash of its text with the command line's budgets (empty: a run
  // that never got that far).
  std::string policyFile;
  std::string policyHash;
  // --shard K/N as given; empty when the run counted every model.
  std::string shard;
  // With --baseline: the earlier report, and its models this run has not
  // (sorted bytewise; with --shard, those of this shard).
  std::optional<std::string> baselineFile;
  std::vector<std::string> removed;
};

// This tool's version, the project's: in the JSON as "tool_version".
const char* ToolVersion();

// One model as the JSON object the document's "models" holds, on one line
// (--jsonl), valid UTF-8 as the document is.
std::string ToJsonLine(const ModelResult& result);

// What the closing line of --jsonl adds up, a model at a time, so that a run
// of any length keeps no model once it is written.
struct RunTally {
  std::size_t models = 0;
  std::size_t counted = 0;
  Counts totals;                          // the "all" groups of the models counted
  std::array<std::size_t, 5> verdicts{};  // by Verdict::Kind
  void Add(const ModelResult& model);
};

// The closing line of --jsonl: the run's summary. Its "exit_status" key tells
// it from a model's line.
std::string SummaryJsonLine(const RunTally& tally, const RunSummary& summary);

// Every result as one JSON document (always valid: texts that are not UTF-8
// have their bad bytes replaced by U+FFFD). The one place results become JSON.
std::string ToJson(const std::vector<ModelResult>& results, const RunSummary& summary);

// ToJson a model at a time, for a writer that renders each model as it
// arrives rather than all of them once the last is counted (a run with workers
// would otherwise end with the whole document to build while every worker is
// idle). Keeps each model's text, laid out for its place in the document, and
// the paths of those new since the baseline; no ModelResult.
class JsonReport {
 public:
  void Add(const ModelResult& result);
  // The whole document around the models added, in their order.
  std::string Text(const RunSummary& summary) const;

 private:
  std::vector<std::string> models_;
  std::vector<std::string> added_;
};

// The MODEL that means standard input.
inline constexpr const char* kStandardInput = "-";

// How messages and the text report name a model: "<stdin>" for standard input,
// else its path as given, printable. (The JSON's "file" keeps the path as given.)
std::string ShownName(const std::string& path);

// The one line a failure of the tool's own work says: "out of memory" for a
// failed allocation, else the exception's text. Call it inside a catch block;
// rethrows what is not a std::exception, for the caller's last-resort boundary.
std::string FailureText();

// Hexadecimal, eight digits: how the plug-in's identity numbers are shown.
std::string Hex(uint32_t value);

}  // namespace vtool
