// --baseline: an earlier run's --json report (the main branch's, say), each
// model of this run set beside its counts there, and growth past --max-growth
// (or a policy's max-growth) a verdict like a budget's: a model that went from
// 20,000 to 39,000 triangles fails though its budget is 40,000.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/tool/budgets.h"
#include "host/tool/result.h"

namespace vtool {

class Baseline {
 public:
  // Reads the report at `file`. Throws std::runtime_error naming the file and
  // what is wrong with it.
  static Baseline Load(const std::string& file);

  // Sets `result`'s baseline, and with `growth` adds a verdict per metric
  // (max-growth-triangles, max-growth-vertices) to a model counted now and
  // then. Remembers the model as seen.
  void Compare(ModelResult& result, const std::optional<GrowthRule>& growth);

  // The models of the baseline that were not seen, sorted bytewise, among
  // those `mine` says belong to this run.
  template <typename Mine>
  std::vector<std::string> Unseen(const Mine& mine) const {
    std::vector<std::string> unseen;
    for (const auto& [path, model] : models_) {
      if (seen_.count(path) == 0 && mine(path)) unseen.push_back(path);
    }
    return unseen;
  }

 private:
  std::map<std::string, ModelResult> models_;  // by path, as written
  std::map<std::string, bool> seen_;
};

}  // namespace vtool
