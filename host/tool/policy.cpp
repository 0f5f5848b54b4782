#include "host/tool/policy.h"

#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

namespace vtool {
namespace fs = std::filesystem;

namespace {

// The largest policy read: a policy is a page of text; anything near this is a
// wrong file named.
constexpr std::size_t kMaxPolicyBytes = 1 << 20;

std::string Where(const std::string& file, int64_t line, int64_t column) {
  std::string where = file;
  if (line > 0) where += ":" + std::to_string(line);
  if (line > 0 && column > 0) where += ":" + std::to_string(column);
  return where;
}

// Checks one policy's tables, throwing PolicyError at the first fault.
class Checker {
 public:
  explicit Checker(const std::string& shown) : shown_(shown) {}

  [[noreturn]] void Fail(const toml::source_region& at, const std::string& message) const {
    throw PolicyError(shown_, at.begin.line, at.begin.column, message);
  }

  std::string Rule(const toml::source_region& at) const {
    return shown_ + ":" + std::to_string(at.begin.line);
  }

  const toml::table& Table(const toml::node& node, const std::string& what) const {
    if (!node.is_table()) Fail(node.source(), what + " must be a table");
    return *node.as_table();
  }

  // A budget key's limit; false when `key` is no budget key.
  bool Limit(const toml::key& key, const toml::node& value,
             std::vector<PolicyLimit>& limits) const {
    for (const BudgetKey& budget : BudgetKeys()) {
      if (key.str() != budget.name) continue;
      const toml::value<int64_t>* integer = value.as_integer();
      if (integer == nullptr) {
        Fail(value.source(), std::string(budget.name) + " must be an integer");
      }
      if (integer->get() < 0) {
        Fail(value.source(), std::string(budget.name) + " must not be negative");
      }
      limits.push_back(PolicyLimit{&budget, integer->get(), Rule(value.source())});
      return true;
    }
    return false;
  }

  GlobRules Paths(const toml::table& table, const toml::source_region& at,
                  const std::string& what) const {
    const toml::node* node = table.get("paths");
    if (node == nullptr) Fail(at, what + " needs \"paths\", a list of patterns");
    const toml::array* list = node->as_array();
    if (list == nullptr || list->empty()) {
      Fail(node->source(), "\"paths\" must be a list of one or more patterns");
    }
    GlobRules paths;
    for (const toml::node& entry : *list) {
      const toml::value<std::string>* text = entry.as_string();
      if (text == nullptr) Fail(entry.source(), "each of \"paths\" must be a string");
      try {
        paths.Include(text->get());
      } catch (const std::invalid_argument& error) {
        Fail(entry.source(), error.what());
      }
    }
    return paths;
  }

 private:
  const std::string& shown_;
};

std::string ReadPolicyText(const std::string& path, const std::string& shown) {
  std::error_code error;
  if (fs::is_directory(path, error)) throw PolicyError(shown, 0, 0, "is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PolicyError(shown, 0, 0, "cannot open: " + std::generic_category().message(errno));
  std::string text(kMaxPolicyBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) throw PolicyError(shown, 0, 0, "cannot read");
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxPolicyBytes) {
    throw PolicyError(shown, 0, 0, "larger than 1 MiB, the most a policy may be");
  }
  return text;
}

// The path of `path` from `folder` (both canonical as far as they exist),
// with '/' between parts; none when it is not below `folder`.
std::optional<std::string> Below(const std::string& folder, const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::weakly_canonical(fs::absolute(path, error), error);
  if (error) return std::nullopt;
  const fs::path relative = absolute.lexically_relative(folder);
  const std::string text = relative.generic_string();
  if (text.empty() || text == "." || text == ".." || text.rfind("../", 0) == 0) return std::nullopt;
  return text;
}

}  // namespace

PolicyError::PolicyError(const std::string& file, int64_t line, int64_t column,
                         const std::string& message)
    : std::runtime_error(Where(file, line, column) + ": " + message) {}

const std::array<BudgetKey, 12>& BudgetKeys() {
  // Constant: nothing made at run time, nothing for a leak check to count.
  static constexpr std::array<BudgetKey, 12> keys = {{
      {"max-faces", Metric::kFaces, Scope::kModel, false},
      {"max-triangles", Metric::kTriangles, Scope::kModel, false},
      {"max-vertices", Metric::kVertices, Scope::kModel, false},
      {"max-object-faces", Metric::kFaces, Scope::kObject, false},
      {"max-object-triangles", Metric::kTriangles, Scope::kObject, false},
      {"max-object-vertices", Metric::kVertices, Scope::kObject, false},
      {"warn-faces", Metric::kFaces, Scope::kModel, true},
      {"warn-triangles", Metric::kTriangles, Scope::kModel, true},
      {"warn-vertices", Metric::kVertices, Scope::kModel, true},
      {"warn-object-faces", Metric::kFaces, Scope::kObject, true},
      {"warn-object-triangles", Metric::kTriangles, Scope::kObject, true},
      {"warn-object-vertices", Metric::kVertices, Scope::kObject, true},
  }};
  return keys;
}

Policy Policy::Load(const std::string& path, const std::string& shown) {
  const std::string text = ReadPolicyText(path, shown);
  std::error_code error;
  const fs::path folder = fs::weakly_canonical(fs::absolute(path, error).parent_path(), error);
  if (error) throw PolicyError(shown, 0, 0, "cannot find its folder: " + error.message());
  return Parse(text, shown, folder.string());
}

Policy Policy::Parse(const std::string& text, const std::string& shown, const std::string& folder) {
  toml::table document;
  try {
    document = toml::parse(text, shown);
  } catch (const toml::parse_error& error) {
    throw PolicyError(shown, error.source().begin.line, error.source().begin.column,
                      std::string(error.description()));
  }
  const Checker check(shown);
  Policy policy;
  policy.shown_ = shown;
  policy.folder_ = folder;

  // [defaults] first whatever its place in the file: later tables override it.
  Table defaults;
  for (const auto& [key, node] : document) {
    const std::string name(key.str());
    if (name == "defaults") {
      const toml::table& table = check.Table(node, "[defaults]");
      for (const auto& [limitKey, value] : table) {
        if (!check.Limit(limitKey, value, defaults.limits)) {
          check.Fail(limitKey.source(), "unknown budget \"" + std::string(limitKey.str()) +
                                            "\" (known: max-faces, max-triangles, max-vertices, "
                                            "the max-object-… three, and their warn-… twins)");
        }
      }
    } else if (name == "budget" || name == "waiver") {
      const toml::array* list = node.as_array();
      if (list == nullptr || !list->is_array_of_tables()) {
        check.Fail(node.source(), "\"" + name + "\" must be tables: [[" + name + "]]");
      }
      for (const toml::node& entry : *list) {
        const toml::table& table = *entry.as_table();
        if (name == "budget") {
          Table budget;
          budget.paths = check.Paths(table, entry.source(), "a [[budget]]");
          for (const auto& [limitKey, value] : table) {
            if (limitKey.str() == "paths") continue;
            if (!check.Limit(limitKey, value, budget.limits)) {
              check.Fail(limitKey.source(),
                         "unknown key \"" + std::string(limitKey.str()) + "\" in a [[budget]]");
            }
          }
          policy.tables_.push_back(std::move(budget));
          continue;
        }
        PathWaiver waiver;
        waiver.paths = check.Paths(table, entry.source(), "a [[waiver]]");
        waiver.waiver.rule = check.Rule(entry.source());
        for (const auto& [waiverKey, value] : table) {
          const std::string_view field = waiverKey.str();
          if (field == "paths") continue;
          if (field == "reason") {
            const toml::value<std::string>* reason = value.as_string();
            if (reason == nullptr || reason->get().find_first_not_of(" \t") == std::string::npos) {
              check.Fail(value.source(), "\"reason\" must be a text saying why the waiver holds");
            }
            waiver.waiver.reason = reason->get();
          } else if (field == "budgets") {
            const toml::array* budgets = value.as_array();
            if (budgets == nullptr || budgets->empty()) {
              check.Fail(value.source(), "\"budgets\" must be a list of one or more budgets");
            }
            for (const toml::node& budget : *budgets) {
              const toml::value<std::string>* budgetName = budget.as_string();
              bool known = false;
              for (const BudgetKey& key : BudgetKeys()) {
                known =
                    known || (budgetName != nullptr && !key.warn && budgetName->get() == key.name);
              }
              if (!known) {
                check.Fail(budget.source(),
                           "\"budgets\" names the max-… budgets a waiver lets a model exceed");
              }
              waiver.waiver.budgets.push_back(budgetName->get());
            }
          } else {
            check.Fail(waiverKey.source(),
                       "unknown key \"" + std::string(field) + "\" in a [[waiver]]");
          }
        }
        if (waiver.waiver.reason.empty()) {
          check.Fail(entry.source(), "a [[waiver]] needs a \"reason\"");
        }
        if (waiver.waiver.budgets.empty()) {
          check.Fail(entry.source(), "a [[waiver]] needs \"budgets\", the budgets it waives");
        }
        policy.waivers_.push_back(std::move(waiver));
      }
    } else {
      check.Fail(key.source(), "unknown table \"" + name +
                                   "\" (a policy holds [defaults], [[budget]] and [[waiver]])");
    }
  }
  policy.tables_.insert(policy.tables_.begin(), std::move(defaults));
  return policy;
}

ModelPolicy Policy::For(const std::string& path) const {
  const std::optional<std::string> below = Below(folder_, path);
  ModelPolicy result;
  for (const BudgetKey& key : BudgetKeys()) {
    const PolicyLimit* chosen = nullptr;
    for (const Table& table : tables_) {
      if (table.paths && (!below || !table.paths->Takes(*below))) continue;
      for (const PolicyLimit& limit : table.limits) {
        if (limit.key == &key) chosen = &limit;
      }
    }
    if (chosen != nullptr) result.limits.push_back(*chosen);
  }
  if (below) {
    for (const PathWaiver& waiver : waivers_) {
      if (waiver.paths.Takes(*below)) result.waivers.push_back(waiver.waiver);
    }
  }
  return result;
}

std::vector<BudgetRule> RulesFor(const ModelPolicy& policy,
                                 const std::vector<BudgetRule>& commandLine) {
  std::vector<BudgetRule> rules;
  for (const BudgetKey& key : BudgetKeys()) {
    const auto given =
        std::find_if(commandLine.begin(), commandLine.end(),
                     [&](const BudgetRule& rule) { return rule.source == key.name; });
    if (given != commandLine.end()) {
      rules.push_back(*given);
      continue;
    }
    for (const PolicyLimit& limit : policy.limits) {
      if (limit.key == &key) {
        rules.push_back(
            BudgetRule{key.metric, key.scope, limit.limit, key.name, key.warn, limit.rule});
      }
    }
  }
  return rules;
}

std::optional<std::string> FindPolicy(const std::string& folder) {
  std::error_code error;
  fs::path at = fs::weakly_canonical(fs::absolute(folder, error), error);
  if (error) return std::nullopt;
  std::string up;
  for (;;) {
    if (fs::is_regular_file(at / "veltrane.toml", error)) return up + "veltrane.toml";
    // The top of a git work tree is as high as a repository's policy can be.
    if (fs::exists(at / ".git", error) || !at.has_relative_path()) return std::nullopt;
    at = at.parent_path();
    up += "../";
  }
}

}  // namespace vtool
