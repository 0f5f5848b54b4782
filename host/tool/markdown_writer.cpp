#include "host/tool/markdown_writer.h"

#include <algorithm>
#include <cstring>

#include "host/models/models.h"
#include "host/tool/report_file.h"
#include "host/tool/report_text.h"

namespace vtool {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

// The model as the text report names it, for a cell.
std::string ModelCell(const std::string& path) { return MarkdownCell(ShownName(path)); }

std::string Row(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const std::string& cell : cells) row += " " + cell + " |";
  return row + "\n";
}

std::string More(std::size_t shown, std::size_t all) {
  return all > shown ? "\n… and " + std::to_string(all - shown) + " more (the job's log has them)\n"
                     : "";
}

}  // namespace

std::string MarkdownCell(const std::string& text) {
  std::string out;
  for (const char c : vhost::Printable(ValidUtf8(text))) {
    if (c != '\0' && std::strchr("\\`*_[]<>|~&$", c) != nullptr) out += '\\';
    out += c;
  }
  return out;
}

void MarkdownWriter::Begin(const std::optional<Identity>& /*identity*/) {}

void MarkdownWriter::Model(const ModelResult& result) {
  ++models_;
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
  if (!result.error.empty()) notCounted_.emplace_back(ModelCell(result.path), result.error);
  for (const Verdict& verdict : result.verdicts) {
    if (verdict.kind == Verdict::Kind::kWarned) ++warned_;
    if (verdict.kind == Verdict::Kind::kWaived) ++waived_;
    if (verdict.kind == Verdict::Kind::kUnchecked) {
      notCounted_.emplace_back(ModelCell(result.path), VerdictMessage(result, verdict));
    }
    if (verdict.kind != Verdict::Kind::kOver) continue;
    std::string object;
    if (verdict.object) {
      object = Number(*verdict.object);
      if (result.objects) {
        for (const ObjectRow& row : *result.objects) {
          if (row.index == *verdict.object) object = MarkdownCell(row.name);
        }
      }
    }
    overs_.push_back(Over{ModelCell(result.path), object, MarkdownCell(verdict.budget),
                          MarkdownCell(verdict.rule.empty() ? "command line" : verdict.rule),
                          Number(verdict.limit),
                          (verdict.atLeast ? "≥ " : "") + Number(verdict.value.value_or(0))});
  }
  if (result.error.empty() && result.all) {
    const Counts& all = *result.all;
    sizes_.push_back(Size{ModelCell(result.path), all.total,
                          all.lines + all.triangles + all.quads + all.ngons, all.vertices,
                          TrianglesInF(result)});
    // Only the largest are shown: keep the list short on a run over many models.
    if (sizes_.size() > 4 * kLargest) {
      std::stable_sort(sizes_.begin(), sizes_.end(),
                       [](const Size& a, const Size& b) { return a.f > b.f; });
      sizes_.resize(kLargest);
    }
  }
}

std::string MarkdownWriter::Text(const RunSummary& summary) const {
  std::string text = "### veltrane-host\n\n";
  text += Row({"Models", "Within budget", "Over budget", "Not counted or not checked", "Warnings",
               "Waived"});
  text += "|---:|---:|---:|---:|---:|---:|\n";
  text += Row({Number(models_), Number(within_), Number(over_), Number(broken_), Number(warned_),
               Number(waived_)});
  text += "\nExit status " + Number(summary.exitStatus) + ".";
  if (!summary.error.empty()) text += " The run failed: " + MarkdownCell(summary.error) + ".";
  text += "\n";

  if (!overs_.empty()) {
    text += "\n#### Over budget\n\n";
    text += Row({"Model", "Object", "Budget", "Rule", "Limit", "Value"});
    text += "|---|---|---|---|---:|---:|\n";
    const std::size_t shown = std::min(overs_.size(), kMostRows);
    for (std::size_t i = 0; i < shown; ++i) {
      const Over& o = overs_[i];
      text += Row({o.model, o.object, o.budget, o.rule, o.limit, o.value});
    }
    text += More(shown, overs_.size());
  }
  if (!notCounted_.empty()) {
    text += "\n#### Not counted or not checked\n\n";
    text += Row({"Model", "Reason"});
    text += "|---|---|\n";
    const std::size_t shown = std::min(notCounted_.size(), kMostRows);
    for (std::size_t i = 0; i < shown; ++i) {
      text += Row({notCounted_[i].first, MarkdownCell(notCounted_[i].second)});
    }
    text += More(shown, notCounted_.size());
  }
  if (!sizes_.empty()) {
    std::vector<Size> largest = sizes_;
    std::stable_sort(largest.begin(), largest.end(),
                     [](const Size& a, const Size& b) { return a.f > b.f; });
    if (largest.size() > kLargest) largest.resize(kLargest);
    // Row F counts triangles while Triangle is ticked, which the run sets once
    // for every model; the column says which it was.
    const bool triangles = std::all_of(largest.begin(), largest.end(),
                                       [](const Size& size) { return size.triangles; });
    text += "\n#### Largest models\n\n";
    text += Row({"Model", triangles ? "Triangles" : "Polygons (F)", "Faces", "Vertices"});
    text += "|---|---:|---:|---:|\n";
    for (const Size& size : largest) {
      text += Row({size.model, Number(size.f), Number(size.faces), Number(size.vertices)});
    }
  }
  return text + "\n";
}

void MarkdownWriter::End(const RunSummary& summary) {
  const std::string text = Text(summary);
  std::string failure;
  if (replace_) failure = ReplaceWhole(*replace_, text);
  if (append_) {
    const std::string appended = AppendToFile(*append_, text);
    if (!appended.empty()) {
      failure += (failure.empty() ? "" : "; ") + std::string("step summary: ") + appended;
    }
  }
  if (!failure.empty()) failure_ = "Markdown summary: " + failure;
}

}  // namespace vtool
