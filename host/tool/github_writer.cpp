#include "host/tool/github_writer.h"

#include "host/tool/report_text.h"

namespace vtool {
namespace {

std::string Escaped(const std::string& text, bool property) {
  std::string out;
  for (const char c : ValidUtf8(text)) {
    switch (c) {
      case '%':
        out += "%25";
        break;
      case '\r':
        out += "%0D";
        break;
      case '\n':
        out += "%0A";
        break;
      case ':':
        out += property ? "%3A" : ":";
        break;
      case ',':
        out += property ? "%2C" : ",";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string GithubMessage(const std::string& text) { return Escaped(text, false); }

std::string GithubProperty(const std::string& text) { return Escaped(text, true); }

void GithubWriter::Annotate(Kind& kind, const std::string& path, const std::string& title,
                            const std::string& message) {
  if (kind.said == kMostOfAKind) {
    ++kind.more;
    return;
  }
  ++kind.said;
  std::string line = std::string("::") + kind.command + " ";
  // The file as given, which in a workflow is relative to the checkout; standard
  // input has none to point at.
  if (!path.empty() && path != kStandardInput) line += "file=" + GithubProperty(path) + ",";
  line_(line + "title=" + GithubProperty(title) + "::" + GithubMessage(message));
}

void GithubWriter::Begin(const std::optional<Identity>& /*identity*/) {}

void GithubWriter::Model(const ModelResult& result) {
  if (!result.error.empty()) Annotate(errors_, result.path, "not counted", result.error);
  for (const Verdict& verdict : result.verdicts) {
    switch (verdict.kind) {
      case Verdict::Kind::kOver:
        Annotate(errors_, result.path, "over budget: " + verdict.budget,
                 VerdictMessage(result, verdict));
        break;
      case Verdict::Kind::kUnchecked:
        Annotate(errors_, result.path, "budget not checked: " + verdict.budget,
                 VerdictMessage(result, verdict));
        break;
      case Verdict::Kind::kWarned:
        Annotate(warnings_, result.path, "over warning level: " + verdict.budget,
                 VerdictMessage(result, verdict));
        break;
      case Verdict::Kind::kWaived:
      case Verdict::Kind::kWithin:
        break;
    }
  }
}

void GithubWriter::End(const RunSummary& summary) {
  if (!summary.error.empty()) Annotate(errors_, "", "veltrane-host", summary.error);
  // A notice: its own kind, so GitHub's limit on errors and warnings leaves it shown.
  for (const Kind* kind : {&errors_, &warnings_}) {
    if (kind->more == 0) continue;
    line_("::notice title=veltrane-host::" + std::to_string(kind->more) + " more " + kind->plural +
          " than the " + std::to_string(kMostOfAKind) + " annotated; the job's log has every one");
  }
}

}  // namespace vtool
