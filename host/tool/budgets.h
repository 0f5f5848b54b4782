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
  std::string source;  // "max-faces", "max-object-vertices", ...: the verdict's name
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
// object rules: each object over, or that cannot be checked). Returns 0 when all
// are within, 1 when any is over, 2 when any cannot be checked. A report with an
// error gets no verdicts.
int CheckBudgets(ModelResult& report, const std::vector<BudgetRule>& rules);

// The same for limits as the command line gives them.
int CheckBudgets(ModelResult& report, const Budgets& model, const Budgets& object);

// The one-line message of a verdict that is not "within": "FILE: ..."
std::string VerdictLine(const ModelResult& report, const Verdict& verdict);

}  // namespace vtool
