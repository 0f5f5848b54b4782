#include "host/tool/result.h"

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <iterator>
#include <new>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "host/models/models.h"
#include "host/tool/result_json.h"

namespace vtool {
namespace {

using Json = nlohmann::ordered_json;

// Each count in kCountFields once: six distinct members of a struct of six.
constexpr bool EachCountOnce() {
  for (std::size_t i = 0; i < std::size(kCountFields); ++i) {
    for (std::size_t j = i + 1; j < std::size(kCountFields); ++j) {
      if (kCountFields[i].member == kCountFields[j].member) return false;
    }
  }
  return sizeof(Counts) == std::size(kCountFields) * sizeof(int64_t);
}
static_assert(EachCountOnce(), "kCountFields names every count of Counts once");

// The JSON document's shape; a change that breaks a reader bumps it.
constexpr const char* kSchema = "veltrane-host/1";

Json CountsJson(const std::optional<Counts>& counts) {
  if (!counts) return nullptr;
  Json out = Json::object();
  for (const CountField& field : kCountFields) out[field.json] = (*counts).*field.member;
  return out;
}

Json SaturatedJson(const std::optional<Counts>& counts, const char* group) {
  Json out = Json::array();
  if (!counts) return out;
  for (const CountField& field : kCountFields) {
    if (IsSaturated((*counts).*field.member)) {
      out.push_back(group != nullptr ? std::string(group) + "." + field.json
                                     : std::string(field.json));
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
    case Verdict::Kind::kWarned:
      return "warning";
    case Verdict::Kind::kWaived:
      return "waived";
    default:
      return "unchecked";
  }
}

Json ModelJson(const ModelResult& report) {
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
                            {"rule", v.rule},
                            {"reason", v.reason.empty() ? Json(nullptr) : Json(v.reason)},
                            {"waiver", v.waiver.empty() ? Json(nullptr) : Json(v.waiver)}});
  }
  model["budgets"] = verdicts;
  if (report.walkIndex) model["walk_index"] = *report.walkIndex;
  if (report.baseline) {
    Json change = nullptr;
    if (counted && report.all && report.baseline->all) {
      change = Json::object();
      for (const CountField& field : kCountFields) {
        change[field.json] = (*report.all).*field.member - (*report.baseline->all).*field.member;
      }
    }
    model["baseline"] = Json{{"found", report.baseline->found},
                             {"all", CountsJson(report.baseline->all)},
                             {"change", change}};
  }
  return model;
}

// --- Back from JSON --------------------------------------------------------

[[noreturn]] void Unreadable(const std::string& key, const char* wanted) {
  throw std::runtime_error("\"" + key + "\" is not " + wanted);
}

const Json& At(const Json& object, const std::string& key) {
  if (!object.is_object() || !object.contains(key)) Unreadable(key, "there");
  return object.at(key);
}

std::string Text(const Json& object, const std::string& key) {
  const Json& value = At(object, key);
  if (!value.is_string()) Unreadable(key, "a string");
  return value.get<std::string>();
}

int64_t Integer(const Json& value, const std::string& key) {
  if (!value.is_number_integer()) Unreadable(key, "an integer");
  return value.get<int64_t>();
}

bool Flag(const Json& value, const std::string& key) {
  if (!value.is_boolean()) Unreadable(key, "true or false");
  return value.get<bool>();
}

std::string TextOrNull(const Json& object, const std::string& key) {
  const Json& value = At(object, key);
  return value.is_null() ? std::string() : Text(object, key);
}

std::optional<Counts> CountsFrom(const Json& value, const std::string& key) {
  if (value.is_null()) return std::nullopt;
  Counts counts;
  for (const CountField& field : kCountFields) {
    counts.*field.member = Integer(At(value, field.json), key + "." + field.json);
  }
  return counts;
}

Verdict::Kind KindFrom(const std::string& name) {
  for (const Verdict::Kind kind :
       {Verdict::Kind::kWithin, Verdict::Kind::kOver, Verdict::Kind::kUnchecked,
        Verdict::Kind::kWarned, Verdict::Kind::kWaived}) {
    if (name == KindName(kind)) return kind;
  }
  Unreadable("verdict", "a verdict's name");
}

// The metric a budget limits, from its name ("max-object-vertices").
Metric MetricFrom(const std::string& budget) {
  for (const Metric metric : {Metric::kFaces, Metric::kTriangles, Metric::kVertices}) {
    const std::string name = MetricName(metric);
    if (budget.size() >= name.size() &&
        budget.compare(budget.size() - name.size(), name.size(), name) == 0) {
      return metric;
    }
  }
  Unreadable("budget", "the name of a budget");
}

}  // namespace

ModelResult ModelFromJson(const Json& model) {
  ModelResult result;
  result.path = Text(model, "file");
  result.error = TextOrNull(model, "error");
  if (const Json& slots = At(model, "object_count"); !slots.is_null()) {
    result.slots = static_cast<int32_t>(Integer(slots, "object_count"));
  }
  if (const Json& current = At(model, "current_object"); !current.is_null()) {
    result.currentObject = static_cast<int32_t>(Integer(current, "current_object"));
  }
  if (const Json& options = At(model, "options"); !options.is_null()) {
    for (std::size_t i = 0; i < result.options.size(); ++i) {
      std::string key = kCheckBoxes[i];
      key[0] = static_cast<char>(key[0] - 'A' + 'a');
      result.options[i] = Flag(At(options, key), "options." + key);
    }
  }
  result.current = CountsFrom(At(model, "current"), "current");
  result.all = CountsFrom(At(model, "all"), "all");
  if (const Json& rows = At(model, "objects"); !rows.is_null()) {
    if (!rows.is_array()) Unreadable("objects", "an array");
    result.objects.emplace();
    for (const Json& row : rows) {
      ObjectRow object;
      object.index = static_cast<int32_t>(Integer(At(row, "index"), "objects.index"));
      object.name = Text(row, "name");
      object.visible = Flag(At(row, "visible"), "objects.visible");
      const std::optional<Counts> counts = CountsFrom(At(row, "counts"), "objects.counts");
      if (!counts) Unreadable("objects.counts", "counts");
      object.counts = *counts;
      result.objects->push_back(object);
    }
  }
  const Json& budgets = At(model, "budgets");
  if (!budgets.is_array()) Unreadable("budgets", "an array");
  for (const Json& v : budgets) {
    Verdict verdict;
    verdict.budget = Text(v, "budget");
    verdict.metric = MetricFrom(verdict.budget);
    verdict.warn = verdict.budget.rfind("warn-", 0) == 0;
    if (const Json& object = At(v, "object"); !object.is_null()) {
      verdict.object = static_cast<int32_t>(Integer(object, "budgets.object"));
    }
    verdict.limit = Integer(At(v, "limit"), "budgets.limit");
    if (const Json& value = At(v, "value"); !value.is_null()) {
      verdict.value = Integer(value, "budgets.value");
    }
    verdict.atLeast = Flag(At(v, "at_least"), "budgets.at_least");
    verdict.kind = KindFrom(Text(v, "verdict"));
    verdict.rule = Text(v, "rule");
    verdict.reason = TextOrNull(v, "reason");
    verdict.waiver = TextOrNull(v, "waiver");
    result.verdicts.push_back(verdict);
  }
  if (model.contains("walk_index")) {
    result.walkIndex = Integer(model.at("walk_index"), "walk_index");
  }
  if (model.contains("baseline")) {
    const Json& before = model.at("baseline");
    ModelResult::Before then;
    then.found = Flag(At(before, "found"), "baseline.found");
    then.all = CountsFrom(At(before, "all"), "baseline.all");
    result.baseline = then;
  }
  return result;
}

const char* ToolVersion() { return VELTRANE_TOOL_VERSION; }

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIX32, value);
  return text;
}

std::vector<std::string> SaturatedRows(const Counts& counts) {
  std::vector<std::string> out;
  for (const CountField& field : kCountFields) {
    if (IsSaturated(counts.*field.member)) out.emplace_back(field.caption);
  }
  return out;
}

const char* MetricName(Metric metric) {
  switch (metric) {
    case Metric::kFaces:
      return "faces";
    case Metric::kTriangles:
      return "triangles";
    case Metric::kVertices:
      return "vertices";
  }
  return "";
}

int Status(const ModelResult& result) {
  if (!result.error.empty()) return 2;
  int status = 0;
  for (const Verdict& v : result.verdicts) {
    if (v.kind == Verdict::Kind::kUnchecked && !v.warn) status = 2;
    if (v.kind == Verdict::Kind::kOver && status == 0) status = 1;
  }
  return status;
}

void JsonReport::Add(const ModelResult& result) {
  const std::string alone = ModelJson(result).dump(2, ' ', false, Json::error_handler_t::replace);
  // Two levels deeper than alone: a text never holds a raw line break (JSON
  // escapes it), so every one is a line of the layout.
  std::string placed;
  placed.reserve(alone.size() + alone.size() / 8);
  for (const char c : alone) {
    placed += c;
    if (c == '\n') placed += "    ";
  }
  models_.push_back(std::move(placed));
  if (result.baseline && !result.baseline->found) added_.push_back(result.path);
}

std::string JsonReport::Text(const RunSummary& summary) const {
  Json document;
  document["schema"] = kSchema;
  document["exit_status"] = summary.exitStatus;
  document["error"] = summary.error.empty() ? Json(nullptr) : Json(summary.error);
  document["tool_version"] = ToolVersion();
  document["policy"] =
      summary.policyHash.empty()
          ? Json(nullptr)
          : Json{{"file", summary.policyFile.empty() ? Json(nullptr) : Json(summary.policyFile)},
                 {"hash", summary.policyHash}};
  document["shard"] = summary.shard.empty() ? Json(nullptr) : Json(summary.shard);
  if (summary.baselineFile) {
    document["baseline"] =
        Json{{"file", *summary.baselineFile}, {"new", added_}, {"removed", summary.removed}};
  }
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
  // Last in the document, so that the models' texts go where its empty array
  // ends the dump, laid out as the dump lays out an array of objects.
  document["models"] = Json::array();
  std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace);
  constexpr std::string_view kEnd = "[]\n}";
  if (models_.empty()) return text;
  if (text.size() < kEnd.size() ||
      text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) != 0) {
    throw std::logic_error("the report's models are not where its layout ends");
  }
  std::size_t size = text.size();
  for (const std::string& model : models_) size += model.size() + 6;
  std::string out;
  out.reserve(size + 8);
  out.append(text, 0, text.size() - kEnd.size());
  out += "[\n";
  for (std::size_t i = 0; i < models_.size(); ++i) {
    out += i == 0 ? "    " : ",\n    ";
    out += models_[i];
  }
  out += "\n  ]\n}";
  return out;
}

std::string ToJson(const std::vector<ModelResult>& results, const RunSummary& summary) {
  JsonReport report;
  for (const ModelResult& result : results) report.Add(result);
  return report.Text(summary);
}

std::string ToJsonLine(const ModelResult& result) {
  return ModelJson(result).dump(-1, ' ', false, Json::error_handler_t::replace);
}

void RunTally::Add(const ModelResult& model) {
  ++models;
  if (model.error.empty()) {
    ++counted;
    // A saturated count adds as the plug-in's largest value.
    if (model.all) {
      for (const CountField& field : kCountFields)
        totals.*field.member += (*model.all).*field.member;
    }
  }
  for (const Verdict& v : model.verdicts) ++verdicts.at(static_cast<std::size_t>(v.kind));
}

std::string SummaryJsonLine(const RunTally& tally, const RunSummary& summary) {
  Json line;
  line["schema"] = kSchema;
  line["exit_status"] = summary.exitStatus;
  line["error"] = summary.error.empty() ? Json(nullptr) : Json(summary.error);
  line["models"] = tally.models;
  line["counted"] = tally.counted;
  line["not_counted"] = tally.models - tally.counted;
  line["totals"] = CountsJson(tally.totals);
  Json verdicts = Json::object();
  for (std::size_t kind = 0; kind < tally.verdicts.size(); ++kind) {
    verdicts[KindName(static_cast<Verdict::Kind>(kind))] = tally.verdicts[kind];
  }
  line["verdicts"] = verdicts;
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string FailureText() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& error) {
    return error.what();
  }
}

std::string ShownName(const std::string& path) {
  return path == kStandardInput ? std::string("<stdin>") : vhost::Printable(path);
}

}  // namespace vtool
