#include "host/tool/baseline.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "host/tool/result_json.h"

namespace vtool {
namespace {

using Json = nlohmann::ordered_json;

std::string Percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", value);
  return text;
}

// One metric's growth against `growth`, from the counts then and now.
Verdict Judge(Metric metric, const Counts& before, const Counts& now, bool trianglesBefore,
              bool trianglesNow, const GrowthRule& growth) {
  Verdict verdict;
  verdict.budget = std::string("max-growth-") + MetricName(metric);
  verdict.metric = metric;
  verdict.rule = growth.rule;
  const int64_t then = metric == Metric::kTriangles ? before.total : before.vertices;
  const int64_t value = metric == Metric::kTriangles ? now.total : now.vertices;
  // The most the count may be: what it was, and the percent more, rounded down.
  verdict.limit = then + static_cast<int64_t>(
                             std::floor(static_cast<double>(then) * growth.percent / 100.0 + 1e-9));
  verdict.value = value;
  verdict.atLeast = IsSaturated(value);
  if (metric == Metric::kTriangles && (!trianglesBefore || !trianglesNow)) {
    verdict.kind = Verdict::Kind::kUnchecked;
    verdict.reason = std::string("row F counts polygons ") +
                     (trianglesNow ? "in the baseline" : "now") + ": Triangle is clear";
    return verdict;
  }
  if (IsSaturated(then) || (verdict.atLeast && value <= verdict.limit)) {
    verdict.kind = Verdict::Kind::kUnchecked;
    verdict.reason =
        "a count is saturated: the plug-in counts no further than " + std::to_string(kSaturated);
    return verdict;
  }
  const double grew =
      then > 0 ? 100.0 * static_cast<double>(value - then) / static_cast<double>(then) : 0.0;
  verdict.reason = "from " + std::to_string(then) + " (" + (value >= then ? "+" : "") +
                   (then > 0 ? Percent(grew) : "new") + "; at most +" + Percent(growth.percent) +
                   ")";
  verdict.kind = value > verdict.limit ? Verdict::Kind::kOver : Verdict::Kind::kWithin;
  return verdict;
}

}  // namespace

Baseline Baseline::Load(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("--baseline " + file + ": cannot be read");
  Json document;
  try {
    document = Json::parse(in);
  } catch (const Json::exception& error) {
    throw std::runtime_error("--baseline " + file + ": not a JSON document: " + error.what());
  }
  if (!document.is_object() || !document.contains("models") || !document.at("models").is_array()) {
    throw std::runtime_error("--baseline " + file +
                             ": not a veltrane-host --json report (it has no \"models\")");
  }
  Baseline baseline;
  std::size_t index = 0;
  for (const Json& model : document.at("models")) {
    try {
      ModelResult result = ModelFromJson(model);
      const std::string path = result.path;
      baseline.models_.emplace(path, std::move(result));
    } catch (const std::exception& error) {
      throw std::runtime_error("--baseline " + file + ": model " + std::to_string(index) + ": " +
                               error.what());
    }
    ++index;
  }
  return baseline;
}

void Baseline::Compare(ModelResult& result, const std::optional<GrowthRule>& growth) {
  seen_[result.path] = true;
  ModelResult::Before before;
  const auto found = models_.find(result.path);
  if (found != models_.end()) {
    before.found = true;
    if (found->second.error.empty()) before.all = found->second.all;
  }
  result.baseline = before;
  // Compared only when both runs counted the model: a model new since, or
  // not counted then, has nothing to have grown from.
  if (!growth || !result.error.empty() || !result.all || !before.all) return;
  for (const Metric metric : {Metric::kTriangles, Metric::kVertices}) {
    result.verdicts.push_back(Judge(metric, *before.all, *result.all, found->second.options[4],
                                    result.options[4], *growth));
  }
}

}  // namespace vtool
