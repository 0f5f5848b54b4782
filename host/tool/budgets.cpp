#include "host/tool/budgets.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "host/models/models.h"

namespace vtool {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

Verdict Unchecked(const BudgetRule& rule, const std::string& reason) {
  Verdict verdict;
  verdict.budget = rule.source;
  verdict.metric = rule.metric;
  verdict.limit = rule.limit;
  verdict.warn = rule.warn;
  verdict.rule = rule.rule;
  verdict.kind = Verdict::Kind::kUnchecked;
  verdict.reason = reason;
  return verdict;
}

// Judges one group's counts against one rule.
Verdict Judge(const BudgetRule& rule, const Counts& counts, bool triangles) {
  int64_t value = 0;
  bool atLeast = false;
  switch (rule.metric) {
    case Metric::kFaces:
      // Counts are read as at most ten digits each: the sum cannot overflow.
      value = counts.lines + counts.triangles + counts.quads + counts.ngons;
      atLeast = IsSaturated(counts.lines) || IsSaturated(counts.triangles) ||
                IsSaturated(counts.quads) || IsSaturated(counts.ngons);
      break;
    case Metric::kTriangles:
      if (!triangles) return Unchecked(rule, "row F counts polygons: Triangle is clear");
      value = counts.total;
      atLeast = IsSaturated(counts.total);
      break;
    case Metric::kVertices:
      value = counts.vertices;
      atLeast = IsSaturated(counts.vertices);
      break;
  }
  Verdict verdict;
  verdict.budget = rule.source;
  verdict.metric = rule.metric;
  verdict.limit = rule.limit;
  verdict.warn = rule.warn;
  verdict.rule = rule.rule;
  verdict.value = value;
  verdict.atLeast = atLeast;
  if (value > rule.limit) {
    // A lower bound past the limit is over for sure.
    verdict.kind = rule.warn ? Verdict::Kind::kWarned : Verdict::Kind::kOver;
  } else if (atLeast) {
    verdict.kind = Verdict::Kind::kUnchecked;
    verdict.reason =
        "the count is saturated: the plug-in counts no further than " + Number(kSaturated);
  } else {
    verdict.kind = Verdict::Kind::kWithin;
  }
  return verdict;
}

const ObjectRow* RowOf(const ModelResult& report, int32_t index) {
  if (!report.objects) return nullptr;
  for (const ObjectRow& row : *report.objects) {
    if (row.index == index) return &row;
  }
  return nullptr;
}

}  // namespace

std::vector<BudgetRule> BudgetRules(const Budgets& model, const Budgets& object) {
  std::vector<BudgetRule> rules;
  for (const auto& [budgets, scope, prefix] :
       {std::tuple{&model, Scope::kModel, "max-"},
        std::tuple{&object, Scope::kObject, "max-object-"}}) {
    for (const auto& [limit, metric] : {std::pair{&budgets->faces, Metric::kFaces},
                                        std::pair{&budgets->triangles, Metric::kTriangles},
                                        std::pair{&budgets->vertices, Metric::kVertices}}) {
      if (*limit)
        rules.push_back({metric, scope, **limit, prefix + std::string(MetricName(metric))});
    }
  }
  return rules;
}

int CheckBudgets(ModelResult& report, const std::vector<BudgetRule>& rules,
                 const std::vector<Waiver>& waivers) {
  if (!report.error.empty()) return 0;  // reported already; nothing to check against
  const bool update = report.options[0];
  const bool triangles = report.options[4];
  for (const BudgetRule& rule : rules) {
    if (rule.scope != Scope::kModel) continue;
    if (report.all) {
      report.verdicts.push_back(Judge(rule, *report.all, triangles));
    } else {
      report.verdicts.push_back(Unchecked(rule, update ? "All is clear: the objects were not summed"
                                                       : "Update is clear: nothing was counted"));
    }
  }
  if (report.objects) {
    for (const ObjectRow& row : *report.objects) {
      for (const BudgetRule& rule : rules) {
        if (rule.scope != Scope::kObject) continue;
        Verdict verdict = Judge(rule, row.counts, triangles);
        if (verdict.kind == Verdict::Kind::kWithin) continue;  // only what needs a word
        verdict.object = row.index;
        report.verdicts.push_back(std::move(verdict));
      }
    }
  } else {
    for (const BudgetRule& rule : rules) {
      if (rule.scope == Scope::kObject) {
        report.verdicts.push_back(Unchecked(rule, "Update is clear: nothing was counted"));
      }
    }
  }
  for (Verdict& verdict : report.verdicts) {
    if (verdict.kind != Verdict::Kind::kOver) continue;
    for (const Waiver& waiver : waivers) {
      if (std::find(waiver.budgets.begin(), waiver.budgets.end(), verdict.budget) ==
          waiver.budgets.end()) {
        continue;
      }
      verdict.kind = Verdict::Kind::kWaived;
      verdict.reason = waiver.reason;
      verdict.waiver = waiver.rule;
      break;
    }
  }
  return Status(report);
}

int CheckBudgets(ModelResult& report, const Budgets& model, const Budgets& object) {
  return CheckBudgets(report, BudgetRules(model, object));
}

std::string VerdictLine(const ModelResult& report, const Verdict& verdict) {
  std::string line = ShownName(report.path) + ": ";
  if (verdict.object) {
    const ObjectRow* row = RowOf(report, *verdict.object);
    line +=
        "object " + vhost::Printable(row != nullptr ? row->name : Number(*verdict.object)) + ": ";
  }
  const std::string what = MetricName(verdict.metric);
  // A limit from the command line is known to whoever gave it; any other
  // names where it was set.
  const bool given = verdict.rule.empty() || verdict.rule == "command line";
  const std::string where = given ? "" : " (" + vhost::Printable(verdict.rule) + ")";
  const std::string value =
      (verdict.atLeast ? "at least " : "") + Number(verdict.value.value_or(0)) + " " + what;
  // Growth since a baseline: the reason says from what, by how much, and the
  // most it may.
  const bool growth = verdict.budget.rfind("max-growth-", 0) == 0;
  if (growth && verdict.kind != Verdict::Kind::kUnchecked) {
    return line + value + ", grew " + vhost::Printable(verdict.reason) + where;
  }
  switch (verdict.kind) {
    case Verdict::Kind::kOver:
      return line + value + ", over the budget of " + Number(verdict.limit) + where;
    case Verdict::Kind::kWarned:
      return line + value + ", over the warning level of " + Number(verdict.limit) + where;
    case Verdict::Kind::kWaived:
      return line + value + ", over the budget of " + Number(verdict.limit) + where + ", waived (" +
             vhost::Printable(verdict.waiver) + "): " + vhost::Printable(verdict.reason);
    default:
      return line + "the budget of " + Number(verdict.limit) + " " + what + " (" +
             (given ? (growth ? std::string("--max-growth") : "--" + verdict.budget)
                    : verdict.budget + ", " + vhost::Printable(verdict.rule)) +
             ") cannot be checked: " + verdict.reason;
  }
}

}  // namespace vtool
