// Budgets: upper limits on a model's counts, as rules a run checks each counted
// model against. A rule names the count it limits; where it came from (today a
// command-line option, later perhaps a policy file) is only its `source`, the
// word a verdict shows, never what the rule means.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/tool/result.h"

namespace vtool {

// Which counts a rule is checked against: the model's all-objects row, or each
// object's own row.
enum class Scope { kModel, kObject };

struct BudgetRule {
  Metric metric = Metric::kFaces;
  Scope scope = Scope::kModel;
  int64_t limit = 0;
  std::string source;  // "max-faces", "warn-object-vertices", ...: the verdict's name
  bool warn = false;   // a warning level: going over it is said, never a failure
  std::string rule = "command line";  // where it was set: the verdict's `rule`
};

// How much a model's triangles and vertices may grow since a baseline report,
// in percent, and where that was set ("command line", "veltrane.toml:4").
struct GrowthRule {
  double percent = 0;
  std::string rule = "command line";
};

// What lets a model exceed some budgets, and why (a policy's [[waiver]]).
struct Waiver {
  std::vector<std::string> budgets;  // the max- names it waives
  std::string reason;
  std::string rule;  // where it is: "veltrane.toml:20"
};

// Upper limits on counts as the command line gives them, one per metric; unset
// ones are not checked.
struct Budgets {
  std::optional<int64_t> faces;  // faces of 2 or more points
  std::optional<int64_t> triangles;
  std::optional<int64_t> vertices;
  bool Any() const { return faces || triangles || vertices; }
};

// The rules of the limits given, model scope first, then object scope, each in
// the order faces, triangles, vertices: the order verdicts are reported in.
std::vector<BudgetRule> BudgetRules(const Budgets& model, const Budgets& object);

// Checks `report`'s counts against `rules` and records a verdict for each (for
// object rules: each object over, or that cannot be checked); a verdict over a
// budget one of `waivers` names is waived, and one over a warning level warns.
// Returns Status(report): 0 when all are within (or warn, or are waived), 1
// when any is over, 2 when any cannot be checked. A report with an error gets
// no verdicts.
int CheckBudgets(ModelResult& report, const std::vector<BudgetRule>& rules,
                 const std::vector<Waiver>& waivers = {});

// The same for limits as the command line gives them.
int CheckBudgets(ModelResult& report, const Budgets& model, const Budgets& object);

// The one-line message of a verdict that is not "within": "FILE: ..."
std::string VerdictLine(const ModelResult& report, const Verdict& verdict);

}  // namespace vtool
