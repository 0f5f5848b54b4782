#include "host/tool/report.h"

#include <cinttypes>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "host/models/models.h"

namespace vtool {
namespace {

using Json = nlohmann::ordered_json;

// The JSON document's shape; a change that breaks a reader bumps it.
constexpr const char* kSchema = "veltrane-host/1";

bool IsSaturated(int64_t value) { return value >= kSaturated; }

// Faces of 2 or more points are rows 2 to 5, whatever row F counts.
int64_t Faces(const CountRow& row) { return row[2] + row[3] + row[4] + row[5]; }
bool FacesSaturated(const CountRow& row) {
  return IsSaturated(row[2]) || IsSaturated(row[3]) || IsSaturated(row[4]) || IsSaturated(row[5]);
}

// "faces", "triangles" or "vertices": what a budget option limits.
std::string Counted(const std::string& budget) { return budget.substr(budget.rfind('-') + 1); }

std::string Number(int64_t value) { return std::to_string(value); }

// Judges one count against one limit.
Verdict Judge(const std::string& budget, int64_t limit, int64_t value, bool atLeast) {
  Verdict verdict;
  verdict.budget = budget;
  verdict.limit = limit;
  verdict.value = value;
  verdict.atLeast = atLeast;
  if (value > limit) {
    verdict.kind = Verdict::Kind::kOver;  // a lower bound past the limit is over for sure
  } else if (atLeast) {
    verdict.kind = Verdict::Kind::kUnchecked;
    verdict.reason =
        "the count is saturated: the plug-in counts no further than " + Number(kSaturated);
  } else {
    verdict.kind = Verdict::Kind::kWithin;
  }
  return verdict;
}

Verdict Unchecked(const std::string& budget, int64_t limit, const std::string& reason) {
  Verdict verdict;
  verdict.budget = budget;
  verdict.limit = limit;
  verdict.kind = Verdict::Kind::kUnchecked;
  verdict.reason = reason;
  return verdict;
}

// The verdicts of one row of counts against one set of budgets, prefixed
// "max-" or "max-object-".
std::vector<Verdict> JudgeRow(const CountRow& row, const Budgets& budgets,
                              const std::string& prefix, bool triangles) {
  std::vector<Verdict> out;
  if (budgets.faces)
    out.push_back(Judge(prefix + "faces", *budgets.faces, Faces(row), FacesSaturated(row)));
  if (budgets.triangles) {
    if (triangles) {
      out.push_back(Judge(prefix + "triangles", *budgets.triangles, row[1], IsSaturated(row[1])));
    } else {
      out.push_back(Unchecked(prefix + "triangles", *budgets.triangles,
                              "row F counts polygons: Triangle is clear"));
    }
  }
  if (budgets.vertices) {
    out.push_back(Judge(prefix + "vertices", *budgets.vertices, row[0], IsSaturated(row[0])));
  }
  return out;
}

// Every budget of a set, unchecked for one reason.
std::vector<Verdict> AllUnchecked(const Budgets& budgets, const std::string& prefix,
                                  const std::string& reason) {
  std::vector<Verdict> out;
  if (budgets.faces) out.push_back(Unchecked(prefix + "faces", *budgets.faces, reason));
  if (budgets.triangles) out.push_back(Unchecked(prefix + "triangles", *budgets.triangles, reason));
  if (budgets.vertices) out.push_back(Unchecked(prefix + "vertices", *budgets.vertices, reason));
  return out;
}

const ObjectRow* RowOf(const ModelReport& report, int32_t index) {
  if (!report.objects) return nullptr;
  for (const ObjectRow& row : *report.objects) {
    if (row.index == index) return &row;
  }
  return nullptr;
}

Json CountsJson(const std::optional<CountRow>& row) {
  if (!row) return nullptr;
  Json out = Json::object();
  for (std::size_t i = 0; i < row->size(); ++i) out[kCountNames[i]] = (*row)[i];
  return out;
}

Json SaturatedJson(const std::optional<CountRow>& row, const char* group) {
  Json out = Json::array();
  if (!row) return out;
  for (std::size_t i = 0; i < row->size(); ++i) {
    if (IsSaturated((*row)[i])) {
      out.push_back(group != nullptr ? std::string(group) + "." + kCountNames[i]
                                     : std::string(kCountNames[i]));
    }
  }
  return out;
}

const char* KindName(Verdict::Kind kind) {
  switch (kind) {
    case Verdict::Kind::kWithin:
      return "within";
    case Verdict::Kind::kOver:
      return "over";
    default:
      return "unchecked";
  }
}

Json ModelJson(const ModelReport& report) {
  Json model;
  model["file"] = report.path;
  model["error"] = report.error.empty() ? Json(nullptr) : Json(report.error);
  const bool counted = report.error.empty();
  model["object_count"] = counted ? Json(report.slots) : Json(nullptr);
  model["current_object"] =
      counted && report.currentObject ? Json(*report.currentObject) : Json(nullptr);
  if (counted) {
    Json options = Json::object();
    for (std::size_t i = 0; i < report.options.size(); ++i) {
      std::string key = kCheckBoxes[i];
      key[0] = static_cast<char>(key[0] - 'A' + 'a');
      options[key] = report.options[i];
    }
    model["options"] = options;
  } else {
    model["options"] = nullptr;
  }
  model["current"] = counted ? CountsJson(report.current) : Json(nullptr);
  model["all"] = counted ? CountsJson(report.all) : Json(nullptr);
  Json saturated = SaturatedJson(counted ? report.current : std::nullopt, "current");
  for (auto& name : SaturatedJson(counted ? report.all : std::nullopt, "all")) {
    saturated.push_back(name);
  }
  model["saturated"] = saturated;
  if (counted && report.objects) {
    Json rows = Json::array();
    for (const ObjectRow& row : *report.objects) {
      Json over = Json::array();
      for (const Verdict& v : report.verdicts) {
        if (v.object == row.index && v.kind == Verdict::Kind::kOver) over.push_back(v.budget);
      }
      rows.push_back(Json{{"index", row.index},
                          {"name", row.name},
                          {"visible", row.visible},
                          {"counts", CountsJson(row.counts)},
                          {"saturated", SaturatedJson(row.counts, nullptr)},
                          {"over_budget", over}});
    }
    model["objects"] = rows;
  } else {
    model["objects"] = nullptr;
  }
  Json verdicts = Json::array();
  for (const Verdict& v : report.verdicts) {
    verdicts.push_back(Json{{"budget", v.budget},
                            {"object", v.object ? Json(*v.object) : Json(nullptr)},
                            {"limit", v.limit},
                            {"value", v.value ? Json(*v.value) : Json(nullptr)},
                            {"at_least", v.atLeast},
                            {"verdict", KindName(v.kind)},
                            {"reason", v.reason.empty() ? Json(nullptr) : Json(v.reason)}});
  }
  model["budgets"] = verdicts;
  return model;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIX32, value);
  return text;
}

}  // namespace

std::vector<std::string> SaturatedRows(const CountRow& row) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (IsSaturated(row[i])) out.emplace_back(kRows[i]);
  }
  return out;
}

int CheckBudgets(ModelReport& report, const Budgets& budgets, const Budgets& objectBudgets) {
  if (!report.error.empty()) return 0;  // reported already; nothing to check against
  const bool update = report.options[0];
  const bool triangles = report.options[4];
  if (budgets.Any()) {
    if (report.all) {
      for (Verdict& v : JudgeRow(*report.all, budgets, "max-", triangles)) {
        report.verdicts.push_back(std::move(v));
      }
    } else {
      for (Verdict& v : AllUnchecked(budgets, "max-",
                                     update ? "All is clear: the objects were not summed"
                                            : "Update is clear: nothing was counted")) {
        report.verdicts.push_back(std::move(v));
      }
    }
  }
  if (objectBudgets.Any()) {
    if (report.objects) {
      for (const ObjectRow& row : *report.objects) {
        for (Verdict& v : JudgeRow(row.counts, objectBudgets, "max-object-", triangles)) {
          if (v.kind == Verdict::Kind::kWithin) continue;  // only what needs a word
          v.object = row.index;
          report.verdicts.push_back(std::move(v));
        }
      }
    } else {
      for (Verdict& v :
           AllUnchecked(objectBudgets, "max-object-", "Update is clear: nothing was counted")) {
        report.verdicts.push_back(std::move(v));
      }
    }
  }
  int status = 0;
  for (const Verdict& v : report.verdicts) {
    if (v.kind == Verdict::Kind::kUnchecked) status = 2;
    if (v.kind == Verdict::Kind::kOver && status == 0) status = 1;
  }
  return status;
}

std::string VerdictLine(const ModelReport& report, const Verdict& verdict) {
  std::string line = ShownName(report.path) + ": ";
  if (verdict.object) {
    const ObjectRow* row = RowOf(report, *verdict.object);
    line += "object " + Printable(row != nullptr ? row->name : Number(*verdict.object)) + ": ";
  }
  const std::string what = Counted(verdict.budget);
  if (verdict.kind == Verdict::Kind::kOver) {
    line += (verdict.atLeast ? "at least " : "") + Number(verdict.value.value_or(0)) + " " + what +
            ", over the budget of " + Number(verdict.limit);
  } else {
    line += "the budget of " + Number(verdict.limit) + " " + what + " (--" + verdict.budget +
            ") cannot be checked: " + verdict.reason;
  }
  return line;
}

std::string ToText(const ModelReport& report) {
  std::string out = ShownName(report.path) + "\n" + report.picture;
  std::string saturated;
  for (const auto& [group, row] :
       {std::pair{"current", &report.current}, std::pair{"all", &report.all}}) {
    if (!*row) continue;
    for (const std::string& caption : SaturatedRows(**row)) {
      saturated += std::string(saturated.empty() ? "" : ", ") + group + " " + caption;
    }
  }
  if (!saturated.empty()) {
    out += "saturated: " + saturated + " (the plug-in counts no further than " +
           Number(kSaturated) + ")\n";
  }
  if (report.objects) {
    char line[160];
    std::snprintf(line, sizeof line, "%6s %10s %10s %10s %10s %10s %10s  %s\n", "object", "V", "F",
                  "2", "3", "4", "5", "name");
    out += line;
    for (const ObjectRow& row : *report.objects) {
      const auto& c = row.counts;
      std::snprintf(line, sizeof line, "%6d %10lld %10lld %10lld %10lld %10lld %10lld  ", row.index,
                    static_cast<long long>(c[0]), static_cast<long long>(c[1]),
                    static_cast<long long>(c[2]), static_cast<long long>(c[3]),
                    static_cast<long long>(c[4]), static_cast<long long>(c[5]));
      out += line + Printable(row.name) + (row.visible ? "" : " (hidden)");
      std::string marks;
      for (const std::string& caption : SaturatedRows(c)) marks += " " + caption;
      if (!marks.empty()) out += "  [saturated:" + marks + "]";
      out += "\n";
    }
  }
  return out;
}

std::string ToText(const Identity& identity) {
  std::string out = "plug-in       " + Printable(identity.path) + "\n";
  char line[160];
  std::snprintf(line, sizeof line,
                "version       host 0x%" PRIX32 " -> plug-in interface 0x%" PRIX32 "\n",
                identity.hostVersion, identity.interfaceVersion);
  out += line;
  out += "identity      product " + Hex(identity.product) + ", plug-in " + Hex(identity.id) +
         ", type " + std::to_string(identity.type) + (identity.type == 6 ? " (station)" : "") +
         "\n";
  out += "name          \"" + Printable(identity.name) + "\"\n";
  for (const std::string& text : identity.menuStrings) {
    out += "menu          \"" + Printable(text) + "\"\n";
  }
  return out;
}

std::string ToJson(const std::vector<ModelReport>& reports, const RunSummary& summary) {
  Json document;
  document["schema"] = kSchema;
  document["exit_status"] = summary.exitStatus;
  document["error"] = summary.error.empty() ? Json(nullptr) : Json(summary.error);
  if (summary.identity) {
    const Identity& id = *summary.identity;
    document["plugin"] = Json{{"path", id.path},
                              {"host_version", id.hostVersion},
                              {"interface_version", id.interfaceVersion},
                              {"product", Hex(id.product)},
                              {"id", Hex(id.id)},
                              {"type", id.type},
                              {"name", id.name},
                              {"menu", id.menuStrings}};
  }
  Json models = Json::array();
  for (const ModelReport& report : reports) models.push_back(ModelJson(report));
  document["models"] = std::move(models);
  return document.dump(2, ' ', false, Json::error_handler_t::replace);
}

std::string Printable(const std::string& text) { return vhost::Printable(text); }

std::string ShownName(const std::string& path) {
  return path == kStandardInput ? std::string("<stdin>") : Printable(path);
}

}  // namespace vtool
