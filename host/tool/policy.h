// A budget policy kept in the repository beside the assets it gates
// (veltrane.toml): limits for every model, limits for the models below some
// paths, warning levels, and waivers that record why an asset may exceed a
// limit. Read and checked whole before anything is counted; a policy that is
// not valid is an error naming its file, line and column.
//
//   [defaults]                      # every model
//   max-object-vertices = 65535
//
//   [[budget]]                      # the models `paths` matches
//   paths = ["characters/**"]       # gitignore syntax, from the policy's folder
//   max-triangles = 80000
//   warn-triangles = 60000          # a warning, never a failure
//
//   [[waiver]]
//   paths = ["characters/boss.glb"]
//   budgets = ["max-triangles"]
//   reason = "hero asset, approved by art direction"   # required
//
// With --baseline, `max-growth = 10` in [defaults] or a [[budget]] fails a
// model whose triangles or vertices grew by more than 10 percent since then.
//
// Budget keys: max-faces, max-triangles, max-vertices, max-object-faces,
// max-object-triangles, max-object-vertices, and the warn-… twin of each; each
// an integer >= 0. For each model and each key, the last table whose paths
// match it sets the limit ([defaults] first, matching every model).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/tool/budgets.h"
#include "host/tool/globs.h"

namespace vtool {

// "FILE:LINE:COLUMN: message" (LINE and COLUMN from 1; 0 where there is none).
class PolicyError : public std::runtime_error {
 public:
  PolicyError(const std::string& file, int64_t line, int64_t column, const std::string& message);
};

// One budget key as a policy or the command line spells it.
struct BudgetKey {
  const char* name;  // "max-triangles", "warn-object-vertices", ...
  Metric metric;
  Scope scope;
  bool warn;
};
// Every key, max- before warn-, model scope before object scope, each in the
// order faces, triangles, vertices.
const std::array<BudgetKey, 12>& BudgetKeys();

// A limit one table of a policy sets.
struct PolicyLimit {
  const BudgetKey* key = nullptr;
  int64_t limit = 0;
  std::string rule;  // where it is set: "veltrane.toml:12"
};

// What holds for one model: per key, the limit of the last matching table,
// and the waivers that match it.
struct ModelPolicy {
  std::vector<PolicyLimit> limits;  // in BudgetKeys() order, one per key set
  std::vector<Waiver> waivers;
  std::optional<GrowthRule> growth;  // max-growth, from the last table that sets it
};

// The rules a model is checked against: per key, the command line's rule where
// it gives one (it overrides the policy for every model), else the policy's;
// in BudgetKeys() order.
std::vector<BudgetRule> RulesFor(const ModelPolicy& policy,
                                 const std::vector<BudgetRule>& commandLine);

class Policy {
 public:
  // Reads and checks `path`, named `shown` in messages and rules. Throws
  // PolicyError.
  static Policy Load(const std::string& path, const std::string& shown);
  // The same for a policy's text, whose paths are relative to `folder`.
  static Policy Parse(const std::string& text, const std::string& shown, const std::string& folder);

  const std::string& shown() const { return shown_; }
  // The policy's text as read: what a report names it by (a hash of it).
  const std::string& text() const { return text_; }

  // What holds for the model at `path` (as the run names it, relative to the
  // working folder or absolute). Paths outside the policy's folder match only
  // [defaults].
  ModelPolicy For(const std::string& path) const;

 private:
  struct Table {
    std::optional<GlobRules> paths;  // none: [defaults]
    std::vector<PolicyLimit> limits;
    std::optional<GrowthRule> growth;
  };
  struct PathWaiver {
    GlobRules paths;
    Waiver waiver;
  };
  std::string shown_;
  std::string text_;
  std::string folder_;  // canonical, the folder paths are relative to
  std::vector<Table> tables_;
  std::vector<PathWaiver> waivers_;
};

// The policy a run without --policy uses: veltrane.toml in `folder` or the
// nearest folder above it, looking no higher than the top of the git work
// tree `folder` is in. Named as a person would from `folder`
// ("veltrane.toml", "../../veltrane.toml"); none when there is none.
std::optional<std::string> FindPolicy(const std::string& folder);

}  // namespace vtool
