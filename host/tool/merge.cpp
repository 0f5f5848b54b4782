#include "host/tool/merge.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/tool/options.h"
#include "host/tool/result_json.h"
#include "host/tool/writers.h"

namespace vtool {
namespace {

using Json = nlohmann::ordered_json;

// Why the reports cannot be joined: the run's error, exit 2.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One report as read: what must agree with the others, and its models.
struct Report {
  std::string file;
  std::string policyFile;
  std::string policyHash;
  std::string shard;  // "K/N", or empty
  int exitStatus = 0;
  std::string error;
  std::optional<std::string> baselineFile;  // with --baseline
  std::vector<std::string> removed;
  std::vector<ModelResult> models;
};

Report Read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Refusal(file + ": cannot be read");
  Json document;
  try {
    document = Json::parse(in);
  } catch (const Json::exception& error) {
    throw Refusal(file + ": not a JSON document: " + error.what());
  }
  const auto text = [&](const char* key) -> std::string {
    if (!document.is_object() || !document.contains(key)) {
      throw Refusal(file + ": not a veltrane-host --json report (it has no \"" + key + "\")");
    }
    const Json& value = document.at(key);
    if (value.is_null()) return "";
    if (!value.is_string()) throw Refusal(file + ": \"" + key + "\" is not a string");
    return value.get<std::string>();
  };
  if (text("schema") != "veltrane-host/1") {
    throw Refusal(file + ": a report of schema \"" + text("schema") + "\", not veltrane-host/1");
  }
  Report report;
  report.file = file;
  const std::string version = text("tool_version");
  if (version != ToolVersion()) {
    throw Refusal(file + ": made by veltrane-host " + (version.empty() ? "(unknown)" : version) +
                  ", and this is " + ToolVersion() + ": counts of two versions are not merged");
  }
  report.error = text("error");
  report.shard = text("shard");
  const Json& policy = document.contains("policy") ? document.at("policy") : Json();
  if (policy.is_object()) {
    report.policyHash = policy.value("hash", "");
    if (policy.contains("file") && policy.at("file").is_string()) {
      report.policyFile = policy.at("file").get<std::string>();
    }
  }
  if (!document.contains("exit_status") || !document.at("exit_status").is_number_integer()) {
    throw Refusal(file + ": \"exit_status\" is not an integer");
  }
  report.exitStatus = document.at("exit_status").get<int>();
  if (document.contains("baseline") && document.at("baseline").is_object()) {
    const Json& baseline = document.at("baseline");
    report.baselineFile = baseline.value("file", "");
    for (const Json& path : baseline.value("removed", Json::array())) {
      if (!path.is_string()) throw Refusal(file + ": \"baseline.removed\" holds a non-string");
      report.removed.push_back(path.get<std::string>());
    }
  }
  if (!document.contains("models") || !document.at("models").is_array()) {
    throw Refusal(file + ": \"models\" is not an array");
  }
  std::size_t index = 0;
  for (const Json& model : document.at("models")) {
    try {
      report.models.push_back(ModelFromJson(model));
    } catch (const std::exception& error) {
      throw Refusal(file + ": model " + std::to_string(index) + ": " + error.what());
    }
    ++index;
  }
  return report;
}

// "K/N" as two numbers; none when it is not that.
std::optional<std::pair<int, int>> ShardNumbers(const std::string& shard) {
  int k = 0;
  int n = 0;
  char end = 0;
  if (std::sscanf(shard.c_str(), "%d/%d%c", &k, &n, &end) != 2 || k < 1 || k > n) {
    return std::nullopt;
  }
  return std::make_pair(k, n);
}

// The reports as one run's: the same judge, every shard once, the models in
// the walk's order. Throws Refusal.
std::vector<ModelResult> Join(std::vector<Report>& reports) {
  const Report& first = reports.front();
  for (const Report& report : reports) {
    if (report.policyHash != first.policyHash) {
      throw Refusal(report.file + ": judged by another policy than " + first.file + " (policy " +
                    (report.policyHash.empty() ? "none" : report.policyHash) + ", not " +
                    (first.policyHash.empty() ? "none" : first.policyHash) +
                    "): the budgets, the policy file or its text differ");
    }
    if (report.baselineFile != first.baselineFile) {
      throw Refusal(report.file + ": set beside " +
                    (report.baselineFile ? "the baseline " + *report.baselineFile : "no baseline") +
                    ", and " + first.file + " beside " +
                    (first.baselineFile ? "the baseline " + *first.baselineFile : "none"));
    }
    if (report.shard.empty() != first.shard.empty()) {
      throw Refusal(report.file + ": " +
                    (report.shard.empty() ? "counted every model" : "is shard " + report.shard) +
                    ", and " + first.file + " " +
                    (first.shard.empty() ? "counted every model" : "is shard " + first.shard) +
                    ": shards are merged with shards");
    }
  }
  std::vector<ModelResult> models;
  if (first.shard.empty()) {
    // Reports of whole runs: one after another, as a run of their MODELs would.
    for (Report& report : reports) {
      for (ModelResult& model : report.models) models.push_back(std::move(model));
    }
    return models;
  }
  std::map<int, const Report*> byShard;
  int count = 0;
  for (const Report& report : reports) {
    const auto numbers = ShardNumbers(report.shard);
    if (!numbers) throw Refusal(report.file + ": \"shard\" is not K/N: " + report.shard);
    if (count != 0 && numbers->second != count) {
      throw Refusal(report.file + ": shard " + report.shard + " of another split than " +
                    first.file + "'s " + first.shard);
    }
    count = numbers->second;
    if (!byShard.emplace(numbers->first, &report).second) {
      throw Refusal(report.file + ": shard " + report.shard + " is given twice (also " +
                    byShard.at(numbers->first)->file + ")");
    }
  }
  std::string missing;
  for (int k = 1; k <= count; ++k) {
    if (byShard.count(k) == 0) missing += (missing.empty() ? "" : ", ") + std::to_string(k);
  }
  if (!missing.empty()) {
    throw Refusal("shard " + missing + " of " + std::to_string(count) +
                  " missing: the merged report would leave their models out");
  }
  for (Report& report : reports) {
    for (ModelResult& model : report.models) {
      if (!model.walkIndex) {
        throw Refusal(report.file + ": " + model.path +
                      " has no \"walk_index\", which shards give");
      }
      models.push_back(std::move(model));
    }
  }
  std::sort(models.begin(), models.end(),
            [](const ModelResult& a, const ModelResult& b) { return *a.walkIndex < *b.walkIndex; });
  for (std::size_t i = 0; i < models.size(); ++i) {
    if (i > 0 && *models[i].walkIndex == *models[i - 1].walkIndex) {
      throw Refusal(models[i].path + ": in two shards (walk index " +
                    std::to_string(*models[i].walkIndex) + ")");
    }
  }
  for (ModelResult& model : models) model.walkIndex.reset();
  return models;
}

int MergeOrRefuse(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  CLI::App app{
      "Joins the --json reports of a tree's shards (--shard K/N) into the report one run "
      "over the whole tree would write, and writes the CI reports from it.",
      "veltrane-host merge"};
  std::vector<std::string> files;
  Arguments arguments;  // what a run's reports take, resolved as a run's are
  Options& options = arguments.options;
  bool github = false;
  bool noGithub = false;
  app.add_option("REPORT", files, "the --json reports to join, one per shard")->required();
  app.add_flag("--jsonl", options.jsonLines, "write JSON lines instead of one document");
  app.add_option("--junit", options.junit, "write a JUnit XML report to FILE")->type_name("FILE");
  app.add_option("--markdown", options.markdown, "write the Markdown summary to FILE")
      ->type_name("FILE");
  app.add_option("--html", options.html, "write the report page to FILE")->type_name("FILE");
  app.add_flag("--github", github, "GitHub Actions annotations and step summary");
  app.add_flag("--no-github", noGithub, "none, even in GitHub Actions");
  const auto usage = [&](int status, const std::string& message) {
    std::fprintf(status == 0 ? out : err, "%s\n",
                 status == 0 ? message.c_str() : ("veltrane-host merge: " + message).c_str());
    return status;
  };
  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i > 0; --i) args.emplace_back(argv[i]);
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    return usage(0, app.help());
  } catch (const CLI::ParseError& error) {
    return usage(2, error.what());
  }
  if (options.junit && !CanWriteJunit()) {
    return usage(2, "--junit: this build cannot write JUnit XML; the Linux build can");
  }
  arguments.github = noGithub ? Arguments::Github::kOff
                     : github ? Arguments::Github::kOn
                              : Arguments::Github::kAuto;
  options.json = !options.jsonLines;
  const Options resolved = Resolve(arguments);

  auto writers = WritersFor(
      resolved, out, [err](const std::string& line) { std::fprintf(err, "%s\n", line.c_str()); });
  RunSummary summary;
  std::vector<ModelResult> models;
  try {
    std::vector<Report> reports;
    reports.reserve(files.size());
    for (const std::string& file : files) reports.push_back(Read(file));
    models = Join(reports);
    summary.policyFile = reports.front().policyFile;
    summary.baselineFile = reports.front().baselineFile;
    // Each shard lists the baseline's models of its own share it did not see.
    for (const Report& report : reports) {
      summary.removed.insert(summary.removed.end(), report.removed.begin(), report.removed.end());
    }
    std::sort(summary.removed.begin(), summary.removed.end());
    summary.policyHash = reports.front().policyHash;
    // A shard's run that failed as a run (its settings, its report files)
    // fails the merged one; an interrupted one left models not counted.
    for (const Report& report : reports) {
      if (!report.error.empty() && summary.error.empty()) {
        summary.error = report.file + ": " + report.error;
      }
    }
  } catch (const Refusal& refusal) {
    models.clear();
    summary.error = refusal.what();
  }
  int status = summary.error.empty() ? 0 : 2;
  for (auto& writer : writers) writer->Begin(std::nullopt);
  for (const ModelResult& model : models) {
    status = std::max(status, Status(model));
    for (auto& writer : writers) writer->Model(model);
  }
  if (!summary.error.empty()) std::fprintf(err, "veltrane-host merge: %s\n", summary.error.c_str());
  for (auto& writer : writers) {
    summary.exitStatus = status;
    writer->End(summary);
    if (const std::string failure = writer->Failure(); !failure.empty()) {
      std::fprintf(err, "veltrane-host merge: %s\n", failure.c_str());
      if (summary.error.empty()) summary.error = failure;
      status = 2;
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out) != 0) return 2;
  return status;
}

}  // namespace

int Merge(int argc, const char* const* argv, std::FILE* out, std::FILE* err) noexcept {
  try {
    return MergeOrRefuse(argc, argv, out, err);
  } catch (...) {
    std::fputs("veltrane-host merge: out of memory\n", err);
    return 2;
  }
}

}  // namespace vtool
