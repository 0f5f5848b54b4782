// The run as one HTML page for a person to open from a CI job's artifacts or
// from disk (--html FILE): the run's totals and verdicts, bar charts of the
// heaviest models against their budgets, and a table of every model, sortable
// and filterable, each row opening its objects. The page is self-contained:
// its style, its script and its data are inside it and it fetches nothing, so
// that it reads the same from file://, an artifact store or a mail attachment.
//
// The table and the charts are written by the tool as HTML and SVG, so that a
// page opened without its script still shows everything; the script only
// sorts, filters and opens rows. Each model becomes its rows as it is handed
// over, so that the writer keeps text, not results, through a long run. The
// file is replaced whole at End; Failure() says why it could not be.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/tool/writers.h"

namespace vtool {

class HtmlWriter final : public Writer {
 public:
  explicit HtmlWriter(std::string path) : path_(std::move(path)) {}
  void Begin(const std::optional<Identity>& identity) override;
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;
  std::string Failure() const override { return failure_; }

  // The page as End writes it.
  std::string Page(const RunSummary& summary) const;

  // How many models each chart shows: the heaviest, by its metric.
  static constexpr std::size_t kChartBars = 15;

  // A model as a chart needs it: its name, its count and its whole-model
  // budgets for one metric (0: none set).
  struct Bar {
    std::string path;
    int64_t value = 0;
    int64_t max = 0;
    int64_t warn = 0;
    std::string verdict;  // the model's verdict class, for the bar's colour
  };

 private:
  std::string path_;
  std::optional<Identity> identity_;
  std::string rows_;  // every model's <tbody>, in the order handed over
  std::size_t models_ = 0, counted_ = 0;
  std::size_t within_ = 0, over_ = 0, broken_ = 0, warned_ = 0, waived_ = 0;
  int64_t vertices_ = 0, f_ = 0;
  bool trianglesInF_ = true;                    // every counted model counted triangles in row F
  bool baseline_ = false;                       // a model was set beside a baseline
  std::vector<Bar> triangleBars_, vertexBars_;  // the heaviest so far, a few times kChartBars
  std::set<std::string> folders_, formats_;
  std::string failure_;
};

// `text` safe as HTML text or a quoted attribute value: valid UTF-8, control
// characters written \u000a, and & < > " ' as character references.
std::string HtmlText(const std::string& text);

}  // namespace vtool
