// GitHub Actions annotations: workflow commands that put a run's problems on
// the pull request and the job's page. An error for each model not counted,
// each budget over its limit and each one not checked; a warning for each
// warning level passed. GitHub shows no more than ten of each kind a step, so
// the writer says ten and then, at End, one notice of how many more there are.
//
// The lines go to the sink the caller gives (the tool's stderr, which the
// runner reads workflow commands from as it reads stdout), one line a call,
// as each model is done.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "host/tool/writers.h"

namespace vtool {

class GithubWriter final : public Writer {
 public:
  // GitHub's own limit per step and kind; the writer keeps under it.
  static constexpr int kMostOfAKind = 10;

  // `line` writes one line, without its end, where the caller chose; what it
  // refers to (the run's console) must outlive the writer.
  explicit GithubWriter(std::function<void(const std::string&)> line) : line_(std::move(line)) {}
  void Begin(const std::optional<Identity>& identity) override;
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;

 private:
  struct Kind {
    const char* command;  // "error", "warning"
    const char* plural;   // for the notice of those left out
    int said = 0;
    int more = 0;
  };
  void Annotate(Kind& kind, const std::string& path, const std::string& title,
                const std::string& message);

  std::function<void(const std::string&)> line_;
  Kind errors_{"error", "errors"};
  Kind warnings_{"warning", "warnings"};
};

// A workflow command's message with '%', CR and LF escaped as GitHub reads
// them back; a property value (file=, title=) with ':' and ',' as well, which
// would end it.
std::string GithubMessage(const std::string& text);
std::string GithubProperty(const std::string& text);

}  // namespace vtool
