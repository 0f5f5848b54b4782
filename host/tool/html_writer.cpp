#include "host/tool/html_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "host/models/models.h"
#include "host/tool/html_assets.h"
#include "host/tool/report_file.h"
#include "host/tool/report_text.h"

namespace vtool {
namespace {

// Digits in groups of three, split by a narrow no-break space: "1 234 567".
std::string Grouped(int64_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += "\u202f";
    out += digits[i];
  }
  return out;
}

// A number cell: shown grouped, sorted by its value.
std::string NumberCell(int64_t value, bool atLeast = false) {
  return "<span class=\"n\" data-sort=\"" + std::to_string(value) + "\">" + (atLeast ? "≥ " : "") +
         Grouped(value) + "</span>";
}

// A cell for a count the model does not have; sorts below every number.
constexpr const char* kNoNumber = "<span class=\"n none\" data-sort=\"-1\">—</span>";

// The model's one verdict, worst first: what the table shows and filters by,
// and its class for colour.
const char* VerdictOf(const ModelResult& result) {
  if (!result.error.empty()) return "not counted";
  bool over = false, warned = false, waived = false, within = false;
  for (const Verdict& v : result.verdicts) {
    if (v.kind == Verdict::Kind::kUnchecked && !v.warn) return "not checked";
    over = over || v.kind == Verdict::Kind::kOver;
    warned = warned || v.kind == Verdict::Kind::kWarned;
    waived = waived || v.kind == Verdict::Kind::kWaived;
    within = within || v.kind == Verdict::Kind::kWithin;
  }
  if (over) return "over";
  if (warned) return "warned";
  if (waived) return "waived";
  return within ? "within" : "no budget";
}

// A verdict's class: its words with a dash for the space.
std::string VerdictClass(const char* verdict) {
  std::string out = verdict;
  std::replace(out.begin(), out.end(), ' ', '-');
  return out;
}

// The file's extension, lower case, as the format filter lists it.
std::string FormatOf(const std::string& path) {
  if (path == kStandardInput) return "stdin";
  const std::string file = PlaceOf(path).file;
  const std::size_t dot = file.find_last_of('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == file.size()) return "none";
  std::string ext = file.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool IsGrowth(const Verdict& v) { return v.budget.rfind("max-growth-", 0) == 0; }

// The model's whole-model budget for `metric`: a maximum, or with `warn` a
// warning level; 0 when none is set.
int64_t LimitOf(const ModelResult& result, Metric metric, bool warn) {
  for (const Verdict& v : result.verdicts) {
    if (v.metric == metric && v.warn == warn && !v.object && !IsGrowth(v)) return v.limit;
  }
  return 0;
}

// How near the model comes to its tightest budget: the largest share of a
// maximum (not a warning level, not growth) any of its counts takes, in
// percent; none when it has no such budget with a value.
std::optional<int64_t> ShareOfBudget(const ModelResult& result) {
  std::optional<int64_t> share;
  for (const Verdict& v : result.verdicts) {
    if (v.warn || IsGrowth(v) || !v.value || v.limit <= 0) continue;
    const int64_t percent = *v.value * 100 / v.limit;
    if (!share || percent > *share) share = percent;
  }
  return share;
}

// "+120 (+3.1 %)": a count's change since the baseline, in a sortable cell.
std::string DeltaCell(int64_t then, int64_t now) {
  const int64_t change = now - then;
  std::string text = (change > 0 ? "+" : "") + Grouped(change);
  if (then > 0 && change != 0) {
    char percent[32];
    std::snprintf(percent, sizeof percent, " (%+.1f %%)",
                  100.0 * static_cast<double>(change) / static_cast<double>(then));
    text += percent;
  }
  const char* cls = change > 0 ? "n up" : change < 0 ? "n down" : "n";
  return std::string("<span class=\"") + cls + "\" data-sort=\"" + std::to_string(change) + "\">" +
         text + "</span>";
}

// Keeps the heaviest few bars of a chart as models come: never more than a
// few times what is shown, so that a long run keeps little.
void KeepHeaviest(std::vector<HtmlWriter::Bar>& bars, HtmlWriter::Bar bar) {
  bars.push_back(std::move(bar));
  if (bars.size() < 4 * HtmlWriter::kChartBars) return;
  std::stable_sort(
      bars.begin(), bars.end(),
      [](const HtmlWriter::Bar& a, const HtmlWriter::Bar& b) { return a.value > b.value; });
  bars.resize(HtmlWriter::kChartBars);
}

// One horizontal bar chart as SVG: a bar per model, heaviest first, coloured by
// its verdict, with its budget's maximum and warning level drawn across it.
std::string Chart(const std::string& title, std::vector<HtmlWriter::Bar> bars) {
  std::stable_sort(
      bars.begin(), bars.end(),
      [](const HtmlWriter::Bar& a, const HtmlWriter::Bar& b) { return a.value > b.value; });
  if (bars.size() > HtmlWriter::kChartBars) bars.resize(HtmlWriter::kChartBars);
  std::string out = "<figure class=\"chart\"><figcaption>" + HtmlText(title) + "</figcaption>";
  if (bars.empty()) return out + "<p class=\"empty\">No model was counted.</p></figure>";
  int64_t scale = 1;
  for (const HtmlWriter::Bar& bar : bars) scale = std::max({scale, bar.value, bar.max, bar.warn});
  constexpr int kLabel = 180, kPlot = 440, kValue = 90, kRow = 22;
  const int width = kLabel + kPlot + kValue;
  const int height = static_cast<int>(bars.size()) * kRow + 4;
  const auto x = [&](int64_t value) {
    return kLabel +
           static_cast<int>(static_cast<double>(value) / static_cast<double>(scale) * kPlot);
  };
  out += "<svg viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
         "\" role=\"img\" aria-label=\"" + HtmlText(title) + "\">";
  int y = 2;
  for (const HtmlWriter::Bar& bar : bars) {
    const std::string name = PlaceOf(bar.path).file;
    const std::string row = std::to_string(y);
    out += "<g class=\"bar " + bar.verdict + "\"><title>" + HtmlText(ShownName(bar.path)) + ": " +
           Grouped(bar.value) + (bar.max > 0 ? ", budget " + Grouped(bar.max) : "") +
           (bar.warn > 0 ? ", warning level " + Grouped(bar.warn) : "") + "</title>";
    out += "<text class=\"label\" x=\"" + std::to_string(kLabel - 6) + "\" y=\"" +
           std::to_string(y + 15) + "\">" +
           HtmlText(name.size() > 32 ? name.substr(0, 31) + "…" : name) + "</text>";
    out += "<rect x=\"" + std::to_string(kLabel) + "\" y=\"" + row + "\" width=\"" +
           std::to_string(std::max(1, x(bar.value) - kLabel)) + "\" height=\"" +
           std::to_string(kRow - 6) + "\"/>";
    for (const auto& [limit, cls] : {std::pair{bar.warn, "warn"}, std::pair{bar.max, "max"}}) {
      if (limit <= 0) continue;
      out += "<line class=\"" + std::string(cls) + "\" x1=\"" + std::to_string(x(limit)) +
             "\" x2=\"" + std::to_string(x(limit)) + "\" y1=\"" + std::to_string(y - 2) +
             "\" y2=\"" + std::to_string(y + kRow - 4) + "\"/>";
    }
    out += "<text class=\"value\" x=\"" + std::to_string(kLabel + kPlot + 6) + "\" y=\"" +
           std::to_string(y + 15) + "\">" + Grouped(bar.value) + "</text></g>";
    y += kRow;
  }
  return out + "</svg></figure>";
}

std::string Term(const std::string& name, const std::string& value, const std::string& cls = "") {
  return "<div" + (cls.empty() ? "" : " class=\"" + cls + "\"") + "><dt>" + name + "</dt><dd>" +
         value + "</dd></div>";
}

std::string SelectOptions(const std::set<std::string>& values) {
  std::string out;
  for (const std::string& value : values) {
    out += "<option value=\"" + HtmlText(value) + "\">" + HtmlText(value) + "</option>";
  }
  return out;
}

}  // namespace

std::string HtmlText(const std::string& text) {
  std::string out;
  for (const char c : vhost::Printable(ValidUtf8(text))) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void HtmlWriter::Begin(const std::optional<Identity>& identity) { identity_ = identity; }

void HtmlWriter::Model(const ModelResult& result) {
  ++models_;
  const char* verdict = VerdictOf(result);
  const std::string cls = VerdictClass(verdict);
  switch (Status(result)) {
    case 0:
      ++within_;
      break;
    case 1:
      ++over_;
      break;
    default:
      ++broken_;
  }
  for (const Verdict& v : result.verdicts) {
    if (v.kind == Verdict::Kind::kWarned) ++warned_;
    if (v.kind == Verdict::Kind::kWaived) ++waived_;
  }
  const ModelPlace place = PlaceOf(result.path);
  const std::string format = FormatOf(result.path);
  // A folder filter takes the folders below it too: every folder above the
  // model is a choice.
  for (std::size_t slash = place.folder.find('/', 1); slash != std::string::npos;
       slash = place.folder.find('/', slash + 1)) {
    folders_.insert(place.folder.substr(0, slash));
  }
  folders_.insert(place.folder);
  formats_.insert(format);
  const bool counted = result.error.empty() && result.all;

  std::string& out = rows_;
  out += "<div class=\"model " + cls + "\" data-folder=\"" + HtmlText(place.folder) +
         "\" data-format=\"" + HtmlText(format) + "\" data-verdict=\"" + verdict + "\">";
  out +=
      "<div class=\"row\"><span class=\"name\"><button type=\"button\" "
      "aria-expanded=\"false\">▸</button> " +
      HtmlText(ShownName(result.path)) + "</span><span>" + HtmlText(format) + "</span>";
  out += counted || result.error.empty() ? NumberCell(result.slots) : kNoNumber;
  if (counted) {
    const Counts& all = *result.all;
    ++counted_;
    vertices_ += all.vertices;
    f_ += all.total;
    trianglesInF_ = trianglesInF_ && TrianglesInF(result);
    out += NumberCell(all.vertices, IsSaturated(all.vertices));
    out += NumberCell(all.lines + all.triangles + all.quads + all.ngons);
    out += NumberCell(all.total, IsSaturated(all.total));
    KeepHeaviest(triangleBars_,
                 Bar{result.path, all.total, LimitOf(result, Metric::kTriangles, false),
                     LimitOf(result, Metric::kTriangles, true), cls});
    KeepHeaviest(vertexBars_,
                 Bar{result.path, all.vertices, LimitOf(result, Metric::kVertices, false),
                     LimitOf(result, Metric::kVertices, true), cls});
  } else {
    out += std::string(kNoNumber) + kNoNumber + kNoNumber;
  }
  if (const std::optional<int64_t> share = ShareOfBudget(result)) {
    out += "<span class=\"n\" data-sort=\"" + std::to_string(*share) + "\">" + Grouped(*share) +
           " %</span>";
  } else {
    out += kNoNumber;
  }
  out += "<span class=\"verdict\">" + std::string(verdict) + "</span>";
  if (result.baseline) {
    baseline_ = true;
    if (!result.baseline->found) {
      out +=
          "<span class=\"n new\" data-sort=\"\">new</span><span class=\"n new\" "
          "data-sort=\"\">new</span>";
    } else if (!result.baseline->all || !counted) {
      out += std::string(kNoNumber) + kNoNumber;
    } else {
      out += DeltaCell(result.baseline->all->total, result.all->total);
      out += DeltaCell(result.baseline->all->vertices, result.all->vertices);
    }
  }
  out += "</div>";
  // What opens under the row: each object's counts, then what was said of the
  // model (verdicts other than within, frozen copies not made). An error shows
  // at once: it is why the row has no counts.
  if (!result.error.empty()) {
    out += "<div class=\"said error\">" + HtmlText(result.error) + "</div>";
  }
  if (result.objects) {
    for (const ObjectRow& row : *result.objects) {
      out += "<div class=\"row object\" hidden><span class=\"name\">" + HtmlText(row.name) +
             (row.visible ? "" : " <span class=\"hidden\">(hidden)</span>") +
             "</span><span>object " + std::to_string(row.index) + "</span><span></span>" +
             NumberCell(row.counts.vertices, IsSaturated(row.counts.vertices)) +
             NumberCell(row.counts.lines + row.counts.triangles + row.counts.quads +
                        row.counts.ngons) +
             NumberCell(row.counts.total, IsSaturated(row.counts.total)) + "</div>";
    }
  }
  for (const Verdict& v : result.verdicts) {
    if (v.kind == Verdict::Kind::kWithin) continue;
    out += "<div class=\"said\" hidden>" + HtmlText(VerdictMessage(result, v)) + "</div>";
  }
  for (std::size_t i = 0; i + (result.error.empty() ? 0 : 1) < result.diagnostics.size(); ++i) {
    out += "<div class=\"said\" hidden>" + HtmlText(result.diagnostics[i]) + "</div>";
  }
  out += "</div>\n";
}

std::string HtmlWriter::Page(const RunSummary& summary) const {
  const std::string fName = trianglesInF_ ? "Triangles" : "Polygons (F)";
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>veltrane-host report</title><style>";
  page += kReportStyle;
  page += "</style></head><body>\n<header><h1>veltrane-host report</h1>";
  const int status = summary.exitStatus;
  page +=
      "<p class=\"status s" + std::to_string(status) + "\">Exit status " + std::to_string(status) +
      (status == 0   ? ": every model counted and within its budgets."
       : status == 1 ? ": a model is over a budget."
                     : ": a model was not counted or a budget not checked, or the run failed.") +
      "</p>";
  if (!summary.error.empty()) {
    page += "<p class=\"run-error\">The run failed: " + HtmlText(summary.error) + "</p>";
  }
  page += "<dl class=\"totals\">";
  page += Term("Models", Grouped(static_cast<int64_t>(models_)));
  page += Term("Within budget", Grouped(static_cast<int64_t>(within_)), "within");
  page += Term("Over budget", Grouped(static_cast<int64_t>(over_)), "over");
  page += Term("Not counted or not checked", Grouped(static_cast<int64_t>(broken_)), "not-counted");
  page += Term("Warnings", Grouped(static_cast<int64_t>(warned_)), "warned");
  page += Term("Waived", Grouped(static_cast<int64_t>(waived_)), "waived");
  page += Term("Vertices", Grouped(vertices_));
  page += Term(fName, Grouped(f_));
  page += "</dl><p class=\"meta\">veltrane-host " + std::string(ToolVersion());
  if (identity_) page += " · plug-in " + HtmlText(identity_->name);
  page += " · policy " +
          (summary.policyFile.empty() ? std::string("none") : HtmlText(summary.policyFile));
  if (!summary.shard.empty()) page += " · shard " + HtmlText(summary.shard);
  if (summary.baselineFile) page += " · baseline " + HtmlText(*summary.baselineFile);
  page += "</p></header>\n<main>";

  page += "<section id=\"charts\"><h2>Heaviest models</h2><div class=\"charts\">";
  page += Chart(fName, triangleBars_);
  page += Chart("Vertices", vertexBars_);
  page +=
      "</div><p class=\"legend\"><span class=\"key within\"></span>within "
      "<span class=\"key warned\"></span>warned <span class=\"key over\"></span>over "
      "<span class=\"key no-budget\"></span>no budget <span class=\"line max\"></span>budget "
      "<span class=\"line warn\"></span>warning level</p></section>\n";

  if (summary.baselineFile && !summary.removed.empty()) {
    page += "<section id=\"gone\"><h2>Gone since the baseline</h2><ul>";
    for (const std::string& path : summary.removed) page += "<li>" + HtmlText(path) + "</li>";
    page += "</ul></section>\n";
  }

  page +=
      "<section id=\"models\"><h2>Models</h2><form id=\"filters\">"
      "<label>Folder <select id=\"folder\"><option value=\"\">all</option>" +
      SelectOptions(folders_) +
      "</select></label> <label>Format <select id=\"format\"><option value=\"\">all</option>" +
      SelectOptions(formats_) +
      "</select></label> <label>Verdict <select id=\"verdict\"><option value=\"\">all</option>";
  for (const char* v :
       {"over", "not counted", "not checked", "warned", "waived", "within", "no budget"}) {
    page += "<option value=\"" + std::string(v) + "\">" + v + "</option>";
  }
  page +=
      "</select></label> <label>Path <input id=\"text\" type=\"search\" "
      "placeholder=\"part of a path\"></label> <output id=\"shown\">" +
      Grouped(static_cast<int64_t>(models_)) + " models</output></form>";
  // Rows of a grid, not a table: each model is laid out only when it comes
  // into view (content-visibility), which a table's rows cannot be, so that a
  // page of 10,000 models opens as fast as one of a hundred.
  page += std::string("<div id=\"table\" class=\"table") + (baseline_ ? " with-baseline" : "") +
          "\"><div class=\"row head\">"
          "<span data-type=\"text\">Model</span><span data-type=\"text\">Format</span>"
          "<span>Objects</span><span>Vertices</span><span>Faces</span><span>" +
          fName +
          "</span><span title=\"the largest share of a budget any count takes\">Of budget</span>"
          "<span data-type=\"verdict\">Verdict</span>";
  if (baseline_) page += "<span>Δ " + fName + "</span><span>Δ Vertices</span>";
  page += "</div><div id=\"rows\">\n";
  page += rows_;
  page += "</div></div></section></main>\n<script>";
  page += kReportScript;
  page += "</script></body></html>\n";
  return page;
}

void HtmlWriter::End(const RunSummary& summary) {
  const std::string failure = ReplaceWhole(path_, Page(summary));
  if (!failure.empty()) failure_ = "HTML report: " + failure;
}

}  // namespace vtool
