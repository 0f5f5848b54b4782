#include "host/tool/run.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/api/host_state.h"
#include "host/loader/paths.h"
#include "host/models/models.h"
#include "host/probe/veltrane_session.h"
#include "host/tool/budgets.h"
#include "host/tool/report.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace vtool {
namespace {

// Where the tool writes. Diagnostics clear a progress bar that is showing first,
// so that every message starts a line of its own.
class Console {
 public:
  Console(std::FILE* out, std::FILE* err) : out_(out), err_(err), tty_(isatty(fileno(err)) != 0) {}

  std::FILE* out() const { return out_; }

  void Line(const std::string& line) {
    ClearBar();
    std::fprintf(err_, "%s\n", line.c_str());
  }

  // A progress bar for a large file, only where a person watches stderr.
  vhost::LoadProgress Bar(const std::string& path) {
    if (!tty_) return {};
    return [this, name = ShownName(path)](uint64_t done, uint64_t total) {
      if (total < (8u << 20)) return;  // small files load before a bar would help
      const int width = 30;
      const int filled = static_cast<int>(width * done / total);
      std::fprintf(err_, "\rloading %s [%s%s] %3d%%", name.c_str(),
                   std::string(static_cast<std::size_t>(filled), '#').c_str(),
                   std::string(static_cast<std::size_t>(width - filled), ' ').c_str(),
                   static_cast<int>(100 * done / total));
      std::fflush(err_);
      barShown_ = true;
      if (done >= total) ClearBar();
    };
  }

  void ClearBar() {
    if (!barShown_) return;
    std::fprintf(err_, "\r\033[K");
    std::fflush(err_);
    barShown_ = false;
  }

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool tty_;
  bool barShown_ = false;
};

constexpr const char* kGroups[] = {vhost::veltrane::kCurrentGroup, vhost::veltrane::kAllGroup};

// The run's host: the plug-in loaded into the process's stand-in host, with its
// window's number fields looked up once (the window keeps them for its life).
class Host {
 public:
  explicit Host(const std::string& plugin) : session_(plugin) {}

  vhost::VeltraneSession& session() { return session_; }

  void FindFields() {
    for (int g = 0; g < 2; ++g) {
      for (int r = 0; r < 6; ++r) fields_[g][r] = session_.FieldWidget(kGroups[g], kRows[r]);
    }
  }

  // Empties a group's fields, so that what the plug-in writes next is all that
  // shows: a field left empty was not counted, never an older document's number.
  void Blank(int group) {
    for (int32_t field : fields_[group]) {
      if (field != 0) vhost::State().widgets.Put(field, "text", std::u16string());
    }
  }

  // A group's six numbers; null when the plug-in wrote none of them. Throws when
  // it wrote only some, or something that is not a count.
  std::optional<CountRow> Read(int group) const {
    CountRow row{};
    int written = 0;
    for (int r = 0; r < 6; ++r) {
      const std::string text =
          fields_[group][r] != 0 ? vhost::State().widgets.Text(fields_[group][r], "text") : "";
      if (text.empty()) continue;
      if (text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        throw std::runtime_error("the plug-in's field " + std::string(kGroups[group]) + " " +
                                 kRows[r] + " shows \"" + Printable(text) + "\", not a count");
      }
      row[static_cast<std::size_t>(r)] = std::stoll(text);
      ++written;
    }
    if (written == 0) return std::nullopt;
    if (written < 6) {
      throw std::runtime_error("the plug-in counted only part of the group " +
                               std::string(kGroups[group]));
    }
    return row;
  }

  bool Ticked(const char* checkBox) const {
    return vhost::State().widgets.Bool(session_.CheckBox(checkBox), "checked");
  }

 private:
  vhost::VeltraneSession session_;
  int32_t fields_[2][6] = {};
};

// The freeze failures the host recorded since the last call, as one line each,
// once per object and reason.
std::vector<std::string> TakeFreezeFailures(const std::string& path) {
  auto& failures = vhost::State().documents.freezeFailures;
  std::vector<std::string> lines;
  std::set<std::pair<std::string, std::string>> seen;
  for (const vhost::FreezeFailure& failure : failures) {
    if (!seen.insert({failure.object, failure.reason}).second) continue;
    lines.push_back(ShownName(path) + ": object " + Printable(failure.object) +
                    ": the frozen copy could not be made: " + Printable(failure.reason));
  }
  failures.clear();
  return lines;
}

// Counts the document the model was loaded into: one count when it is opened,
// then with per-object rows one count per object.
void Count(Host& host, vhost::Document& doc, const Options& options, ModelReport& report,
           std::vector<std::string>& failures) {
  vhost::VeltraneSession& session = host.session();
  vhost::State().documents.freezeFailures.clear();
  host.Blank(0);
  host.Blank(1);
  session.DocumentOpened(doc, report.path);
  for (std::size_t i = 0; i < report.options.size(); ++i) {
    report.options[i] = host.Ticked(kCheckBoxes[i]);
  }
  const bool update = report.options[0];
  report.current = host.Read(0);
  report.all = host.Read(1);
  if (update && (!report.current || (report.options[1] && !report.all))) {
    throw std::runtime_error("the plug-in did not count this document");
  }
  report.picture = session.Picture();
  for (std::string& line : TakeFreezeFailures(report.path)) failures.push_back(std::move(line));

  if (!options.PerObject() || !update) return;
  // As a user clicking through the objects with All cleared, so that each click
  // counts one object and not the whole document again.
  const bool all = report.options[1];
  const int32_t current = doc.currentIndex;
  struct Restore {
    vhost::VeltraneSession& session;
    vhost::Document& doc;
    bool all;
    int32_t current;
    ~Restore() {
      doc.currentIndex = current;
      try {
        if (all) session.SetTicked(vhost::veltrane::kCheckBoxes[1], true, nullptr);
      } catch (...) {  // the window is gone: nothing left to restore
      }
    }
  } restore{session, doc, all, current};
  if (all) session.SetTicked(vhost::veltrane::kCheckBoxes[1], false, nullptr);
  std::vector<ObjectRow> rows;
  for (int32_t i = 0; i < doc.SlotCount(); ++i) {
    const vhost::Object* object = doc.At(i);
    if (object == nullptr) continue;
    doc.currentIndex = i;
    host.Blank(0);
    session.DocumentEvent(doc, 210);
    const std::optional<CountRow> counts = host.Read(0);
    if (!counts) throw std::runtime_error("the plug-in did not count object " + std::to_string(i));
    rows.push_back(ObjectRow{i, object->name, object->visible, *counts});
  }
  report.objects = std::move(rows);
  for (std::string& line : TakeFreezeFailures(report.path)) failures.push_back(std::move(line));
}

// Loads MODEL `path` into `doc`. "-" is standard input, read as OBJ as a file
// without extension is, and named "<stdin>" in messages; a folder is refused by
// name rather than left to a reader that finds no extension on it.
void LoadInto(const std::string& path, vhost::Document& doc, const vhost::LoadProgress& progress) {
  if (path == kStandardInput) {
#if defined(_WIN32)
    throw vhost::ModelError(ShownName(path), 0, "this build reads standard input on Linux only");
#else
    try {
      vhost::LoadObj("/dev/stdin", doc, progress);
    } catch (const vhost::ModelError& error) {
      throw vhost::ModelError(ShownName(path), error.line(), error.message(), error.column());
    }
    return;
#endif
  }
  std::error_code unknown;  // a path that cannot be examined is the reader's to report
  if (std::filesystem::is_directory(path, unknown)) throw vhost::ModelError(path, 0, "is a folder");
  vhost::LoadModel(path, doc, progress);
}

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

class ToolRun {
 public:
  ToolRun(const Options& options, Console& console)
      : options_(options),
        console_(console),
        rules_(BudgetRules(options.budgets, options.objectBudgets)) {}

  int Go() {
    try {
      Execute();
    } catch (const std::bad_alloc&) {
      Fatal("out of memory");
    } catch (const std::exception& error) {
      Fatal(error.what());
    }
    for (std::size_t i = reports_.size(); i < options_.models.size(); ++i) {
      ModelReport skipped;
      skipped.path = options_.models[i];
      skipped.error = ShownName(skipped.path) + ": not counted: " + Printable(fatal_);
      reports_.push_back(std::move(skipped));
    }
    if (options_.json) {
      RunSummary summary{status_, fatal_, identity_};
      std::fprintf(console_.out(), "%s\n", ToJson(reports_, summary).c_str());
    }
    if (std::fflush(console_.out()) != 0 || std::ferror(console_.out()) != 0) {
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
    console_.Line("veltrane-host: " + Printable(message));
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
      if (!loaded.message.empty()) console_.Line("veltrane-host: " + Printable(loaded.message));
      if (!loaded.canGoOn()) throw std::runtime_error("the settings file cannot be used");
      for (const std::string& sentence : DropRepeatedKeys(settings, *options_.settings)) {
        console_.Line("veltrane-host: " + Printable(sentence));
      }
    }
    // A host whose settings hold nothing of the plug-in yet is a fresh one: its
    // user ticks Update and All before anything else, so that a first run counts.
    const bool fresh = settings.FindSection(vhost::veltrane::kSectionName) == nullptr;

    host_ = std::make_unique<Host>(options_.plugin.empty()
                                       ? vhost::BesideExecutable(vhost::kPluginFileName)
                                       : options_.plugin);
    vhost::VeltraneSession& session = host_->session();
    if (options_.identify) {
      identity_ = Identify(session.plugin());
      if (!options_.json) std::fputs(ToText(*identity_).c_str(), console_.out());
    }
    session.Start();
    session.Activate(nullptr, true);
    host_->FindFields();
    if (fresh) {
      session.SetTicked(vhost::veltrane::kCheckBoxes[0], true, nullptr);
      session.SetTicked(vhost::veltrane::kCheckBoxes[1], true, nullptr);
    }
    for (const Action& action : options_.actions) Play(session, action);

    for (const std::string& path : options_.models) CountModel(path);
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

  void CountModel(const std::string& path) {
    ModelReport report;
    report.path = path;
    std::vector<std::string> failures;
    vhost::Document& doc = vhost::State().documents.Open();
    try {
      LoadInto(path, doc, console_.Bar(path));
      console_.ClearBar();
      report.slots = doc.SlotCount();
      if (options_.current) doc.currentIndex = *options_.current;
      if (doc.At(doc.currentIndex) != nullptr) report.currentObject = doc.currentIndex;
      Count(*host_, doc, options_, report, failures);
    } catch (const vhost::ModelError& error) {
      report.error = error.what();
    } catch (const std::bad_alloc&) {
      report.error = ShownName(path) + ": out of memory";
    } catch (const std::exception& error) {
      report.error = ShownName(path) + ": " + Printable(error.what());
    }
    console_.ClearBar();
    vhost::State().documents.Close(doc);
    for (const std::string& line : failures) console_.Line(line);
    if (!report.error.empty()) console_.Line(report.error);
    if (report.error.empty() && !failures.empty()) report.error = failures.front();
    if (!report.error.empty()) {
      report.picture.clear();
      report.current.reset();
      report.all.reset();
      report.objects.reset();
      Fail(2);
    } else {
      Fail(CheckBudgets(report, rules_));
      for (const Verdict& verdict : report.verdicts) {
        if (verdict.kind != Verdict::Kind::kWithin) console_.Line(VerdictLine(report, verdict));
      }
      if (!options_.json) std::fputs(ToText(report).c_str(), console_.out());
    }
    reports_.push_back(std::move(report));
  }

  const Options& options_;
  Console& console_;
  const std::vector<BudgetRule> rules_;
  std::unique_ptr<Host> host_;
  std::vector<ModelReport> reports_;
  std::optional<Identity> identity_;
  std::string fatal_;
  int status_ = 0;
};

}  // namespace

int Run(const Options& options, std::FILE* out, std::FILE* err) noexcept {
  int status = 2;
  try {
    Console console(out, err);
    // Every run states its own limit: a caller may run again with other options.
    std::optional<double> importLimit;
    if (options.importTimeout) importLimit = static_cast<double>(*options.importTimeout);
    vhost::SetImportTimeLimit(importLimit);
    status = ToolRun(options, console).Go();
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
  try {
    const Parsed parsed = ParseCommandLine(argc, argv);
    if (parsed.options) return Run(*parsed.options, out, err);
    std::fprintf(parsed.toStdout ? out : err, "%s\n",
                 parsed.toStdout ? parsed.message.c_str()
                                 : ("veltrane-host: " + Printable(parsed.message)).c_str());
    if (parsed.wantsJson && !parsed.toStdout) {
      RunSummary summary{parsed.status, parsed.message, std::nullopt};
      std::fprintf(out, "%s\n", ToJson({}, summary).c_str());
    }
    if (std::fflush(out) != 0 || std::ferror(out) != 0) return 2;
    return parsed.status;
  } catch (...) {
    std::fputs("veltrane-host: out of memory\n", err);
    return 2;
  }
}

}  // namespace vtool
