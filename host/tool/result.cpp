#include "host/tool/result.h"

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <iterator>
#include <new>
#include <nlohmann/json.hpp>

#include "host/models/models.h"

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
  return model;
}

}  // namespace

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

std::string ToJson(const std::vector<ModelResult>& results, const RunSummary& summary) {
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
  for (const ModelResult& result : results) models.push_back(ModelJson(result));
  document["models"] = std::move(models);
  return document.dump(2, ' ', false, Json::error_handler_t::replace);
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
