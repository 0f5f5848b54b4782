// The run as a short Markdown summary for a person reading a CI job's page:
// its totals, the models over a budget with the rule, limit and value, the
// models not counted, and the ten largest models by row F (triangles, or
// polygons with Triangle clear). Written at End to a file replaced whole
// (--markdown) and/or appended to one another program owns (GitHub's step
// summary, which other steps write to as well); Failure() says why either
// could not be.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/tool/writers.h"

namespace vtool {

class MarkdownWriter final : public Writer {
 public:
  MarkdownWriter(std::optional<std::string> replace, std::optional<std::string> append)
      : replace_(std::move(replace)), append_(std::move(append)) {}
  void Begin(const std::optional<Identity>& identity) override;
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;
  std::string Failure() const override { return failure_; }

  // The summary as End writes it.
  std::string Text(const RunSummary& summary) const;

  // The most rows a table of models over budget or not counted has; the rest
  // are counted in a line under it.
  static constexpr std::size_t kMostRows = 50;
  static constexpr std::size_t kLargest = 10;

 private:
  struct Over {
    std::string model;  // as shown, Markdown-escaped like every cell below
    std::string object, budget, rule, limit, value;
  };
  struct Size {
    std::string model;
    int64_t f = 0;
    int64_t faces = 0;
    int64_t vertices = 0;
    bool triangles = true;  // row F counted triangles (Triangle ticked)
  };

  std::optional<std::string> replace_;
  std::optional<std::string> append_;
  int models_ = 0, within_ = 0, over_ = 0, broken_ = 0, warned_ = 0, waived_ = 0;
  std::vector<Over> overs_;
  std::vector<std::pair<std::string, std::string>> notCounted_;  // model, reason
  std::vector<Size> sizes_;
  std::string failure_;
};

// `text` safe in a Markdown table cell: valid UTF-8, control characters
// written \u000a, and '|' and the characters that start emphasis, code, links,
// HTML or math escaped with a backslash.
std::string MarkdownCell(const std::string& text);

}  // namespace vtool
