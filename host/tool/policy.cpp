#include "host/tool/policy.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include "protocol/utf.h"

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

// Debian's toml++ (3.3) tells whitespace from other code points through a
// table whose gaps end in __builtin_unreachable: asked about U+00A1..U+0499,
// U+2C5E..U+3057 (but U+3000) or U+FB26..U+FEFE, it has undefined behaviour.
// It asks where whitespace may stand: outside strings, in keys (which it
// records), and after a line-ending backslash in a multi-line basic string.
// So before the text reaches it, such code points are written as \uXXXX
// escapes in basic strings (a literal string holding one becomes the basic
// string of the same value), and a non-ASCII character outside strings and
// comments, which TOML never allows, is a fault named here. Values and lines
// stay as they were; columns shift on the lines escapes were written on, and
// Unshift takes them back for toml++'s messages.
bool Unclassifiable(char32_t c) {
  return (c >= 0xA1 && c <= 0x499) || (c >= 0x2C5E && c <= 0x3057 && c != 0x3000) ||
         (c >= 0xFB26 && c <= 0xFEFE);
}

struct SafeText {
  std::string text;
  // Per line (from 1): the original columns written wider, and by how many
  // columns, in order.
  std::vector<std::vector<std::pair<int64_t, int64_t>>> wider;

  // The original column of column `column` of the text written.
  int64_t Unshift(int64_t line, int64_t column) const {
    if (line < 1 || static_cast<std::size_t>(line) > wider.size()) return column;
    int64_t shift = 0;
    for (const auto& [at, added] : wider[static_cast<std::size_t>(line - 1)]) {
      if (column < at + shift) break;
      if (column <= at + shift + added) return at;
      shift += added;
    }
    return column - shift;
  }
};

// The code point at `at` and its length in bytes; `text` is UTF-8 (checked
// before any of it is read).
mq::UtfStep CodePointAt(std::string_view text, std::size_t at) {
  return mq::DecodeUtf8(text.substr(at));
}

// Whether text[from, to) holds a code point the library cannot classify.
bool HoldsUnclassifiable(std::string_view text, std::size_t from, std::size_t to) {
  for (std::size_t at = from; at < std::min(to, text.size());) {
    const mq::UtfStep step = CodePointAt(text, at);
    if (Unclassifiable(step.codePoint)) return true;
    at += step.length;
  }
  return false;
}

// TOML is UTF-8: text that is not, or that holds overlong forms or surrogates
// a looser decoder could read as a code point the library must not see, is
// refused where it stops being UTF-8.
void CheckUtf8(std::string_view text, const std::string& shown) {
  int64_t line = 1;
  int64_t column = 1;
  for (std::size_t at = 0; at < text.size();) {
    const mq::UtfStep step = CodePointAt(text, at);
    if (!step.valid) throw PolicyError(shown, line, column, "not UTF-8 text, which TOML files are");
    if (step.codePoint == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    at += step.length;
  }
}

SafeText MakeSafeForToml(std::string_view text, const std::string& shown) {
  CheckUtf8(text, shown);
  SafeText safe;
  safe.text.reserve(text.size());
  safe.wider.emplace_back();
  int64_t line = 1;
  int64_t column = 1;  // in the original, in code points
  enum class In { kNothing, kComment, kBasic, kLiteral, kMultiBasic, kMultiLiteral };
  In in = In::kNothing;
  bool asBasic = false;  // the literal string being read is written as a basic one
  std::size_t i = 0;
  const auto starts = [&](std::string_view what) { return text.substr(i, what.size()) == what; };
  // Copies `count` code points of `bytes` bytes as they are.
  const auto copy = [&](std::size_t bytes, int64_t count) {
    safe.text.append(text.substr(i, bytes));
    i += bytes;
    column += count;
  };
  // Writes `written` for the `bytes` bytes of one code point of the original.
  const auto write = [&](std::string_view written, std::size_t bytes) {
    safe.text += written;
    if (written.size() > 1) {
      safe.wider.back().emplace_back(column, static_cast<int64_t>(written.size()) - 1);
    }
    i += bytes;
    ++column;
  };
  const auto escape = [&](char32_t c, std::size_t bytes) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
    write(buffer, bytes);
  };
  // The closing quotes of a multi-line string: three, and up to two more that
  // belong to the string.
  const auto closing = [&](char quote) {
    std::size_t quotes = 3;
    while (quotes < 5 && i + quotes < text.size() && text[i + quotes] == quote) ++quotes;
    return quotes;
  };
  while (i < text.size()) {
    const char b = text[i];
    if (b == '\n') {
      if (in == In::kComment || in == In::kBasic || in == In::kLiteral) in = In::kNothing;
      safe.text += b;
      ++i;
      ++line;
      column = 1;
      safe.wider.emplace_back();
      continue;
    }
    const auto [c, length, valid] = CodePointAt(text, i);
    static_cast<void>(valid);  // checked above
    switch (in) {
      case In::kNothing:
        if (c >= 0x80) {
          throw PolicyError(shown, line, column,
                            "a character TOML allows only in strings and comments");
        }
        if (b == '#') {
          in = In::kComment;
        } else if (starts(R"(""")")) {
          in = In::kMultiBasic;
          copy(3, 3);
          continue;
        } else if (starts("'''")) {
          in = In::kMultiLiteral;
          asBasic = HoldsUnclassifiable(text, i + 3, text.find("'''", i + 3));
          if (asBasic) {
            safe.text += R"(""")";
            i += 3;
            column += 3;
          } else {
            copy(3, 3);
          }
          continue;
        } else if (b == '"') {
          in = In::kBasic;
        } else if (b == '\'') {
          in = In::kLiteral;
          asBasic = HoldsUnclassifiable(text, i + 1, text.find_first_of("'\n", i + 1));
          if (asBasic) {
            write("\"", 1);
            continue;
          }
        }
        break;
      case In::kComment:
        if (Unclassifiable(c)) {
          write("?", length);  // nothing in a comment is read
          continue;
        }
        break;
      case In::kBasic:
      case In::kMultiBasic:
        if (b == '\\' && i + 1 < text.size() && text[i + 1] != '\n') {
          // An escape's second character is copied with it (toml++ judges the
          // escape), unless it is one to write as an escape itself.
          const mq::UtfStep next = CodePointAt(text, i + 1);
          if (Unclassifiable(next.codePoint)) {
            throw PolicyError(shown, line, column, "an escape TOML does not know");
          }
          copy(1 + next.length, 2);
          continue;
        }
        if (Unclassifiable(c)) {
          escape(c, length);
          continue;
        }
        if (in == In::kBasic && b == '"') {
          in = In::kNothing;
        } else if (in == In::kMultiBasic && starts(R"(""")")) {
          in = In::kNothing;
          const std::size_t quotes = closing('"');
          copy(quotes, static_cast<int64_t>(quotes));
          continue;
        }
        break;
      case In::kLiteral:
      case In::kMultiLiteral: {
        const bool ends = in == In::kLiteral ? b == '\'' : starts("'''");
        if (ends) {
          const std::size_t quotes = in == In::kLiteral ? 1 : closing('\'');
          in = In::kNothing;
          if (!asBasic) {
            copy(quotes, static_cast<int64_t>(quotes));
          } else if (quotes == 1) {
            write("\"", 1);
          } else {
            safe.text.append(quotes - 3, '\'');
            safe.text += R"(""")";
            i += quotes;
            column += static_cast<int64_t>(quotes);
          }
          continue;
        }
        if (asBasic) {
          // The same value as a basic string: what a basic one would read as
          // an escape is escaped.
          if (Unclassifiable(c)) {
            escape(c, length);
            continue;
          }
          if (b == '\\' || b == '"') {
            write(b == '\\' ? R"(\\)" : R"(\")", 1);
            continue;
          }
        }
        break;
      }
    }
    // Whatever the reading above took the text for, no such code point
    // reaches the library: toml++ may read a text that is not valid TOML
    // otherwise than this reading does.
    if (Unclassifiable(c)) {
      throw PolicyError(shown, line, column,
                        "a character TOML allows only in strings and comments");
    }
    copy(length, 1);
  }
  return safe;
}

// Checks one policy's tables, throwing PolicyError at the first fault.
class Checker {
 public:
  Checker(const std::string& shown, const SafeText& text) : shown_(shown), text_(text) {}

  [[noreturn]] void Fail(const toml::source_region& at, const std::string& message) const {
    const auto line = static_cast<int64_t>(at.begin.line);
    throw PolicyError(shown_, line, text_.Unshift(line, static_cast<int64_t>(at.begin.column)),
                      message);
  }

  std::string Rule(const toml::source_region& at) const {
    return shown_ + ":" + std::to_string(at.begin.line);
  }

  const toml::table& Table(const toml::node& node, const std::string& what) const {
    if (!node.is_table()) Fail(node.source(), what + " must be a table");
    return *node.as_table();
  }

  // max-growth's percent into `growth`; false when `key` is another.
  bool Growth(const toml::key& key, const toml::node& value,
              std::optional<GrowthRule>& growth) const {
    if (key.str() != "max-growth") return false;
    const std::optional<double> percent = value.value<double>();
    if (!percent || !(value.is_integer() || value.is_floating_point())) {
      Fail(value.source(), "max-growth must be a number (percent)");
    }
    if (!(*percent >= 0) || *percent > 1e9) {
      Fail(value.source(), "max-growth must be a percent from 0");
    }
    growth = GrowthRule{*percent, Rule(value.source())};
    return true;
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
  const SafeText& text_;  // the caller's, for the columns of the original
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
  const SafeText safe = MakeSafeForToml(text, shown);
  toml::table document;
  try {
    document = toml::parse(safe.text, shown);
  } catch (const toml::parse_error& error) {
    const auto line = static_cast<int64_t>(error.source().begin.line);
    throw PolicyError(shown, line,
                      safe.Unshift(line, static_cast<int64_t>(error.source().begin.column)),
                      std::string(error.description()));
  }
  const Checker check(shown, safe);
  Policy policy;
  policy.shown_ = shown;
  policy.text_ = text;
  policy.folder_ = folder;

  // [defaults] first whatever its place in the file: later tables override it.
  Table defaults;
  for (const auto& [key, node] : document) {
    const std::string name(key.str());
    if (name == "defaults") {
      const toml::table& table = check.Table(node, "[defaults]");
      for (const auto& [limitKey, value] : table) {
        if (check.Growth(limitKey, value, defaults.growth)) continue;
        if (!check.Limit(limitKey, value, defaults.limits)) {
          check.Fail(limitKey.source(), "unknown budget \"" + std::string(limitKey.str()) +
                                            "\" (known: max-faces, max-triangles, max-vertices, "
                                            "the max-object-… three, their warn-… twins, and "
                                            "max-growth)");
        }
      }
    } else if (name == "budget" || name == "waiver") {
      const toml::array* list = node.as_array();
      if (list == nullptr || !list->is_array_of_tables()) {
        std::string message = "\"" + name;
        message += "\" must be tables: [[" + name + "]]";
        check.Fail(node.source(), message);
      }
      for (const toml::node& entry : *list) {
        const toml::table& table = *entry.as_table();
        if (name == "budget") {
          Table budget;
          budget.paths = check.Paths(table, entry.source(), "a [[budget]]");
          for (const auto& [limitKey, value] : table) {
            if (limitKey.str() == "paths" || check.Growth(limitKey, value, budget.growth)) continue;
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
  for (const Table& table : tables_) {
    if (table.paths && (!below || !table.paths->Takes(*below))) continue;
    if (table.growth) result.growth = table.growth;
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
