#include "host/tool/run.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/api/host_state.h"
#include "host/loader/paths.h"
#include "host/models/models.h"
#include "host/models/registry.h"
#include "host/probe/veltrane_session.h"
#include "host/tool/baseline.h"
#include "host/tool/budgets.h"
#include "host/tool/console.h"
#include "host/tool/count.h"
#include "host/tool/merge.h"
#include "host/tool/policy.h"
#include "host/tool/result.h"
#include "host/tool/walker.h"
#include "host/tool/writers.h"
#if !defined(_WIN32)
#include "host/tool/workers.h"
#endif

namespace vtool {
namespace {

// A plug-in's section of a hand-edited or merged file may hold one of its keys
// twice. The plug-in reads the first and saves by replacing that one, so the
// other would be read next time, and the option would swap on every run: only
// the first, the value the plug-in reads now, is kept. Answers one sentence per
// key repaired.
std::vector<std::string> DropRepeatedKeys(vhost::SettingsTree& settings, const std::string& file) {
  std::vector<std::string> sentences;
  void* section = settings.FindSection(vhost::veltrane::kSectionName);
  if (section == nullptr) return sentences;
  std::vector<const char*> keys(std::begin(vhost::veltrane::kOptionKeys),
                                std::end(vhost::veltrane::kOptionKeys));
  keys.insert(keys.end(), {vhost::veltrane::kActivateKey, vhost::veltrane::kPosXKey,
                           vhost::veltrane::kPosYKey});
  for (const char* key : keys) {
    if (const std::size_t dropped = settings.DropRepeatedChildren(section, key)) {
      sentences.push_back("settings file " + file + ": the plug-in's key \"" + key +
                          "\" is stored " + std::to_string(dropped + 1) +
                          " times; keeping the first, which the plug-in reads, and dropping "
                          "the others");
    }
  }
  return sentences;
}

Identity Identify(vhost::PluginLibrary& plugin) {
  const vhost::PluginIdentity answers = plugin.Identity();
  Identity identity;
  identity.path = plugin.path();
  identity.hostVersion = vhost::kHostVersion;
  identity.interfaceVersion = plugin.CheckVersion(vhost::kHostVersion);
  identity.product = answers.product;
  identity.id = answers.id;
  identity.type = answers.type;
  identity.name = answers.name;
  identity.menuStrings = answers.menuStrings;
  return identity;
}

void Play(vhost::VeltraneSession& session, const Action& action) {
  switch (action.kind) {
    case Action::Kind::kTick:
      session.SetTicked(action.checkBox, true, nullptr);
      break;
    case Action::Kind::kUntick:
      session.SetTicked(action.checkBox, false, nullptr);
      break;
    case Action::Kind::kMinimizeAll:
      session.SetAllMinimized(true, nullptr);
      break;
    case Action::Kind::kRestoreAll:
      session.SetAllMinimized(false, nullptr);
      break;
  }
}

// The models a run counts: all those of the walk, or one shard's.
struct Selection {
  std::vector<WalkItem> items;
  std::vector<int64_t> walkIndex;  // with a shard: each one's place in the walk
};

Selection Select(std::vector<WalkItem> walked, const std::optional<std::pair<int, int>>& shard) {
  Selection selection;
  if (!shard) {
    selection.items = std::move(walked);
    return selection;
  }
  for (std::size_t i = 0; i < walked.size(); ++i) {
    if (ShardOf(walked[i].key, shard->second) != shard->first - 1) continue;
    selection.items.push_back(std::move(walked[i]));
    selection.walkIndex.push_back(static_cast<int64_t>(i));
  }
  return selection;
}

// What the run's verdicts are judged by, as one hash: the policy file's text
// and the command line's budgets. Reports are merged only when theirs agree.
std::string PolicyHash(const std::string& policyText, const Options& options) {
  std::string judged = policyText + "\n--\n";
  for (const BudgetRule& rule : BudgetRules(options.budgets, options.objectBudgets)) {
    judged += rule.source + "=" + std::to_string(rule.limit) + "\n";
  }
  if (options.maxGrowth) judged += "max-growth=" + std::to_string(*options.maxGrowth) + "\n";
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Fnv1a(judged)));
  return text;
}

// Ends every writer, in order. A report file that could not be written is the
// run's failure, as settings that could not be saved are: said on stderr and
// handed to the writers after it (the JSON, last, carries it). Answers the
// run's exit status.
int EndAll(std::vector<std::unique_ptr<Writer>>& writers, int status, std::string& fatal,
           Console& console, const RunSummary& facts = {}) {
  for (auto& writer : writers) {
    RunSummary summary = facts;
    summary.exitStatus = status;
    summary.error = fatal;
    writer->End(summary);
    const std::string failure = writer->Failure();
    if (failure.empty()) continue;
    console.Line("veltrane-host: " + vhost::Printable(failure));
    if (fatal.empty()) fatal = failure;
    status = 2;
  }
  return status;
}

// One run, in its order: the configuration's settings and plug-in, then each
// model counted and handed to every writer as soon as it is done, then the end.
// Whatever stops the run early is its error, and the models not reached are
// still handed on, each naming why it was not counted.
class ToolRun {
 public:
  ToolRun(const Options& options, const Policy* policy, Baseline* baseline, Selection models,
          RunSummary facts, Console& console, std::FILE* out)
      : options_(options),
        policy_(policy),
        models_(std::move(models.items)),
        walkIndex_(std::move(models.walkIndex)),
        facts_(std::move(facts)),
        baseline_(baseline),
        console_(console),
        out_(out),
        writers_(
            WritersFor(options, out, [&console](const std::string& line) { console.Line(line); })) {
    request_.current = options.current;
    request_.perObject = options.PerObject();
    request_.picture = !options.json && !options.jsonLines;
    request_.rules = BudgetRules(options.budgets, options.objectBudgets);
  }

  int Go() {
    try {
      Execute();
    } catch (const std::exception&) {
      Fatal(FailureText());
    }
    for (std::size_t i = done_; i < models_.size(); ++i) {
      ModelResult skipped;
      skipped.path = models_[i].path;
      // The run's failure, not the file's: no errorKind.
      skipped.error = ShownName(skipped.path) + ": not counted: " + vhost::Printable(fatal_);
      Hand(skipped, i);
    }
    // Ctrl-C ends the run as the shell's convention has it (128 + SIGINT),
    // whatever else happened.
    if (interrupted_) status_ = 130;
    if (baseline_ != nullptr) facts_.removed = Removed();
    status_ = EndAll(writers_, status_, fatal_, console_, facts_);
    if (std::fflush(out_) != 0 || std::ferror(out_) != 0) {
      const int error = errno;
      console_.Line(std::string("veltrane-host: cannot write the report to standard output: ") +
                    (error != 0 ? std::strerror(error) : "write error"));
      status_ = 2;
    }
    return status_;
  }

 private:
  void Fail(int status) {
    if (status > status_) status_ = status;
  }

  void Fatal(const std::string& message) {
    if (fatal_.empty()) fatal_ = message;
    console_.Line("veltrane-host: " + vhost::Printable(message));
    Fail(2);
  }

  void Execute() {
    vhost::SettingsTree& settings = vhost::State().settings;
    if (options_.settings) {
      // A run that waits for another one on the same file says so, so that it
      // does not look frozen.
      const vhost::SettingsFileReport loaded = settings.LoadFile(
          *options_.settings,
          [this](const std::string& sentence) { console_.Line("veltrane-host: " + sentence); });
      if (!loaded.message.empty())
        console_.Line("veltrane-host: " + vhost::Printable(loaded.message));
      if (!loaded.canGoOn()) throw std::runtime_error("the settings file cannot be used");
      for (const std::string& sentence : DropRepeatedKeys(settings, *options_.settings)) {
        console_.Line("veltrane-host: " + vhost::Printable(sentence));
      }
    }
    // A host whose settings hold nothing of the plug-in yet is a fresh one: its
    // user ticks Update and All before anything else, so that a first run counts.
    const bool fresh = settings.FindSection(vhost::veltrane::kSectionName) == nullptr;

    host_ = std::make_unique<CountingHost>(
        options_.plugin.empty() ? vhost::FindShippedFile(vhost::kPluginFileName) : options_.plugin);
    vhost::VeltraneSession& session = host_->session();
    std::optional<Identity> identity;
    if (options_.identify) identity = Identify(session.plugin());
    for (auto& writer : writers_) writer->Begin(identity);
    session.Start();
    session.Activate(nullptr, true);
    host_->FindFields();
    if (fresh) {
      session.SetTicked(vhost::veltrane::kCheckBoxes[0], true, nullptr);
      session.SetTicked(vhost::veltrane::kCheckBoxes[1], true, nullptr);
    }
    for (const Action& action : options_.actions) Play(session, action);

#if !defined(_WIN32)
    if (options_.jobs > 1 && models_.size() > 1) {
      CountInWorkers();
    } else {
      CountHere();
    }
#else
    CountHere();  // no worker processes on Windows
#endif
    if (options_.close) session.CloseWindow(nullptr);
    session.Exit();

    if (options_.settings) {
      const vhost::SettingsFileReport saved = settings.SaveFile();
      using Outcome = vhost::SettingsFileReport::Outcome;
      // Settings the load said it would not save over were announced then. A
      // failed save is the run's own failure: the models were counted, and the
      // JSON says why the run still failed.
      if (!saved.ok() && saved.outcome != Outcome::kUnsupported &&
          saved.outcome != Outcome::kUnusable) {
        Fatal(saved.message);
      }
    }
  }

  // Model `i` counted in this process: with a progress bar when `watched`.
  ModelResult Count(std::size_t i, bool watched) {
    const WalkItem& model = models_[i];
    ModelResult result;
    if (!model.problem.empty()) {
      result.path = model.path;
      result.error = ShownName(model.path) + ": " + model.problem;
      result.diagnostics.push_back(result.error);
      return result;
    }
    if (!watched) return CountModel(*host_, model.path, RequestFor(model.path));
    result = CountModel(*host_, model.path, RequestFor(model.path),
                        LoadWatch{console_.Bar(model.path), [this] { console_.ClearBar(); }});
    console_.ClearBar();
    return result;
  }

  // Says what there is to say about a model and hands it to every writer.
  void Deliver(ModelResult result) {
    if (baseline_ != nullptr) baseline_->Compare(result, GrowthFor(result.path));
    for (const std::string& line : result.diagnostics) console_.Line(line);
    for (const Verdict& verdict : result.verdicts) {
      if (verdict.kind != Verdict::Kind::kWithin) console_.Line(VerdictLine(result, verdict));
    }
    Fail(Status(result));
    Hand(result, done_++);
  }

  // Model `i`'s result to every writer, with its place in the whole walk
  // when the run counts one shard of it.
  void Hand(const ModelResult& result, std::size_t i) {
    if (walkIndex_.empty()) {
      for (auto& writer : writers_) writer->Model(result);
      return;
    }
    ModelResult placed = result;
    placed.walkIndex = walkIndex_[i];
    for (auto& writer : writers_) writer->Model(placed);
  }

  void CountHere() {
    for (std::size_t i = 0; i < models_.size(); ++i) Deliver(Count(i, true));
  }

#if !defined(_WIN32)
  // The models shared by worker processes, each a fork of this one as it is
  // now (plug-in loaded, window set up), their results handed on in input
  // order. Ctrl-C stops them: what was counted is still written, the rest
  // named as not counted, and the run ends with 130.
  void CountInWorkers() {
    WorkerJob job;
    job.models = models_.size();
    job.workers = options_.jobs;
    job.size = [this](std::size_t i) -> uint64_t {
      std::error_code unknown;
      const auto size = std::filesystem::file_size(models_[i].path, unknown);
      return unknown ? 0 : static_cast<uint64_t>(size);
    };
    job.count = [this](std::size_t i) { return Count(i, false); };
    job.lost = [this](std::size_t i, const std::string& why) {
      ModelResult result;
      result.path = models_[i].path;
      result.error = ShownName(result.path) +
                     ": not counted: the worker process counting it ended (" + why + ")";
      result.errorKind = vhost::ModelError::Kind::kReaderCrashed;
      result.diagnostics.push_back(result.error);
      return result;
    };
    job.deliver = [this](const ModelResult& result) { Deliver(result); };
    WorkersEnd end = vtool::CountInWorkers(job);
    if (!end.interrupted) return;
    const std::string why = "interrupted (Ctrl-C)";
    Fatal(why);
    for (std::size_t i = end.delivered; i < models_.size(); ++i) {
      if (end.finished[i]) {
        Deliver(*end.finished[i]);
        continue;
      }
      ModelResult skipped;
      skipped.path = models_[i].path;
      skipped.error = ShownName(skipped.path) + ": not counted: " + why;
      Deliver(skipped);
    }
    interrupted_ = true;
  }
#endif

  // How much the model at `path` may grow: the command line's limit, else the
  // policy's for its path.
  std::optional<GrowthRule> GrowthFor(const std::string& path) const {
    if (options_.maxGrowth) return GrowthRule{*options_.maxGrowth, "command line"};
    if (policy_ == nullptr) return std::nullopt;
    return policy_->For(path).growth;
  }

  // The models of the baseline this run would have counted and did not: with
  // --shard, only those of this shard, by the key their walk would give them.
  std::vector<std::string> Removed() const {
    return baseline_->Unseen([this](const std::string& path) {
      if (!options_.shard) return true;
      std::string key = path;
      for (const std::string& model : options_.models) {
        const std::string folder = model.back() == '/' ? model : model + "/";
        if (path == model) key = model;
        if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0) {
          key = path.substr(folder.size());
        }
      }
      return ShardOf(key, options_.shard->second) == options_.shard->first - 1;
    });
  }

  // The budgets of one model: the command line's, and the policy's for its path.
  CountRequest RequestFor(const std::string& path) const {
    if (policy_ == nullptr) return request_;
    CountRequest request = request_;
    const ModelPolicy holds = policy_->For(path);
    request.rules = RulesFor(holds, request_.rules);
    request.waivers = holds.waivers;
    for (const BudgetRule& rule : request.rules) {
      request.perObject = request.perObject || rule.scope == Scope::kObject;
    }
    return request;
  }

  const Options& options_;
  const Policy* policy_;  // the caller's; none without a policy
  const std::vector<WalkItem> models_;
  const std::vector<int64_t> walkIndex_;  // with --shard: each model's place in the walk
  RunSummary facts_;                      // what the JSON says of the run besides its end
  Baseline* baseline_ = nullptr;          // the caller's; none without --baseline
  Console& console_;
  std::FILE* out_;
  std::vector<std::unique_ptr<Writer>> writers_;
  CountRequest request_;
  std::unique_ptr<CountingHost> host_;
  std::size_t done_ = 0;  // models handed to the writers
  bool interrupted_ = false;
  std::string fatal_;
  int status_ = 0;
};

// A run that cannot begin (its policy is not valid): said on stderr and, with
// --json, as the document's error; nothing counted. Returns 2.
int RunRefused(const std::string& message, const Options& options, Console& console,
               std::FILE* out) {
  console.Line("veltrane-host: " + vhost::Printable(message));
  // The CI reports say so too: a job's test report must not look green.
  auto writers =
      WritersFor(options, out, [&console](const std::string& line) { console.Line(line); });
  std::string fatal = message;
  EndAll(writers, 2, fatal, console);
  std::fflush(out);
  return 2;
}

// The run proper: the policy read whole before anything is counted (a fault
// in it is the run's, and nothing is counted against half a policy), then
// every model.
int CountAll(const Options& options, Selection models, Console& console, std::FILE* out) {
  std::optional<Policy> policy;
  RunSummary facts;
  // A shard that holds no model is judged by the policy all the same: its
  // report is merged with the others'.
  if (!options.noPolicy && (!models.items.empty() || options.shard)) {
    const std::optional<std::string> file = options.policy ? options.policy : FindPolicy(".");
    if (file) {
      try {
        policy = Policy::Load(*file, *file);
      } catch (const PolicyError& error) {
        return RunRefused(error.what(), options, console, out);
      }
      console.Line("veltrane-host: budgets from " + vhost::Printable(*file));
      facts.policyFile = *file;
    }
  }
  facts.policyHash = PolicyHash(policy ? policy->text() : std::string(), options);
  std::optional<Baseline> baseline;
  if (options.baseline) {
    try {
      baseline = Baseline::Load(*options.baseline);
    } catch (const std::runtime_error& error) {
      return RunRefused(error.what(), options, console, out);
    }
    facts.baselineFile = *options.baseline;
  }
  if (options.shard) {
    facts.shard =
        std::to_string(options.shard->first) + "/" + std::to_string(options.shard->second);
  }
  return ToolRun(options, policy ? &*policy : nullptr, baseline ? &*baseline : nullptr,
                 std::move(models), std::move(facts), console, out)
      .Go();
}

// --version: the tool's version, the plug-in's answer to the version check
// (or why it cannot be loaded: the tool's version is still worth knowing), and
// the readers built in. 0 unless stdout cannot be written.
int PrintVersion(const Options& options, std::FILE* out) {
  std::string text = std::string("veltrane-host ") + ToolVersion() + "\n";
  const std::string plugin =
      options.plugin.empty() ? vhost::FindShippedFile(vhost::kPluginFileName) : options.plugin;
  try {
    CountingHost host(plugin);
    const Identity identity = Identify(host.session().plugin());
    text += "plug-in: " + vhost::Printable(identity.path) + ", " + identity.name +
            ", interface version " + Hex(identity.interfaceVersion) + " (host version " +
            Hex(identity.hostVersion) + ")\n";
  } catch (const std::exception& error) {
    text += "plug-in: " + vhost::Printable(error.what()) + "\n";
  }
  std::string readers;
  for (const vhost::models::Format& format : vhost::models::Formats()) {
    readers += (readers.empty() ? "" : ", ") + format.name;
  }
  text += "readers: " + readers + " (--formats says what each reads)\n";
  std::fputs(text.c_str(), out);
  return std::fflush(out) == 0 && std::ferror(out) == 0 ? 0 : 2;
}

// --files: each model on a line of its own, each place a walk could not go on
// stderr; 2 when there was one, else 0.
int ListFiles(const std::vector<WalkItem>& models, Console& console, std::FILE* out) {
  int status = 0;
  for (const WalkItem& model : models) {
    if (model.problem.empty()) {
      std::fprintf(out, "%s\n", model.path.c_str());
    } else {
      console.Line(ShownName(model.path) + ": " + model.problem);
      status = 2;
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out) != 0) {
    console.Line("veltrane-host: cannot write the list to standard output");
    status = 2;
  }
  return status;
}

}  // namespace

int Run(const Options& options, std::FILE* out, std::FILE* err) noexcept {
  int status = 2;
  try {
    Console console(err);
    // Every run states its own limit: a caller may run again with other options.
    std::optional<double> importLimit;
    if (options.importTimeout) importLimit = static_cast<double>(*options.importTimeout);
    vhost::SetImportTimeLimit(importLimit);
    vhost::models::UseReader(options.reader);
    // No MODEL walks the current folder, unless the run only asks the
    // plug-in who it is.
    Selection models;
    if (!options.version && (!options.models.empty() || !options.identify)) {
      models = Select(Expand(options.models, options.walk), options.shard);
    }
    if (options.version) {
      status = PrintVersion(options, out);
    } else if (options.listFiles) {
      status = ListFiles(models.items, console, out);
    } else {
      status = CountAll(options, std::move(models), console, out);
    }
  } catch (...) {
    std::fputs("veltrane-host: out of memory\n", err);
  }
  // Leave the process's host as a fresh one, for a caller that runs again.
  try {
    vhost::State().Reset();
  } catch (...) {
  }
  return status;
}

int Main(int argc, const char* const* argv, std::FILE* out, std::FILE* err) noexcept {
  if (argc >= 2 && std::strcmp(argv[1], "merge") == 0) return Merge(argc - 1, argv + 1, out, err);
  try {
    const Parsed parsed = ParseCommandLine(argc, argv);
    if (parsed.arguments) return Run(Resolve(*parsed.arguments), out, err);
    std::fprintf(parsed.toStdout ? out : err, "%s\n",
                 parsed.toStdout ? parsed.message.c_str()
                                 : ("veltrane-host: " + vhost::Printable(parsed.message)).c_str());
    // A usage error ends a run that never began: a JSON document still says so.
    if (!parsed.toStdout) {
      for (auto& writer : WritersFor(parsed.wantsJson, out, parsed.wantsJsonLines)) {
        RunSummary summary;
        summary.exitStatus = parsed.status;
        summary.error = parsed.message;
        writer->End(summary);
      }
    }
    if (std::fflush(out) != 0 || std::ferror(out) != 0) return 2;
    return parsed.status;
  } catch (...) {
    std::fputs("veltrane-host: out of memory\n", err);
    return 2;
  }
}

}  // namespace vtool
