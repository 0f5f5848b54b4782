// What the command line of veltrane-host asks for (Arguments, as CLI11 fills
// them: nothing touched outside the process) and the run configuration they
// resolve to (Options: what a run reads, with paths made ready). Parsing keeps
// the order in which the user's actions were given: they are played in that order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/probe/veltrane_facts.h"
#include "host/tool/budgets.h"
#include "host/tool/walker.h"

namespace vtool {

// The window's check boxes, by caption, in the window's order.
using vhost::veltrane::kCheckBoxes;

// One thing the user does on the window before the first model is opened.
struct Action {
  enum class Kind { kTick, kUntick, kMinimizeAll, kRestoreAll };
  Kind kind = Kind::kTick;
  std::string checkBox;  // for kTick and kUntick: one of kCheckBoxes
};

// The run configuration: everything a run reads, resolved.
struct Options {
  std::vector<std::string> models;  // as given: files, folders to walk; none: the current folder
  WalkRules walk;
  bool listFiles = false;               // --files: say what would be counted, count nothing
  std::string plugin;                   // empty: the plug-in beside the tool
  std::optional<std::string> settings;  // the settings file; none: settings in memory only
  std::vector<Action> actions;          // in command-line order
  std::optional<int32_t> current;
  bool objects = false;  // a row per object
  bool close = false;
  bool json = false;
  bool jsonLines = false;  // --jsonl
  bool identify = false;
  bool version = false;                  // --version: say what this is, count nothing
  Budgets budgets;                       // on each model's all-objects counts
  Budgets objectBudgets;                 // on each object's counts
  std::optional<int64_t> importTimeout;  // seconds an assimp import may take; 0: no limit
  std::string reader;  // --reader assimp: "assimp"; empty: each format's own reader
  // Worker processes counting at once (-j); 1 counts in the tool's own
  // process. The command line's default is the number of cores.
  int jobs = 1;
  // --baseline FILE: an earlier --json report to set each model beside.
  std::optional<std::string> baseline;
  // --max-growth PCT: with a baseline, the most a model's triangles or
  // vertices may grow, in percent; it overrides the policy's max-growth.
  std::optional<double> maxGrowth;
  // --shard K/N: count only the models of shard K (from 1) of N.
  std::optional<std::pair<int, int>> shard;
  std::optional<std::string> policy;  // --policy FILE; none: veltrane.toml, if found
  bool noPolicy = false;
  std::optional<std::string> junit;     // --junit FILE: JUnit XML, replaced whole
  std::optional<std::string> markdown;  // --markdown FILE: the Markdown summary, replaced whole
  std::optional<std::string> html;      // --html FILE: the report page, replaced whole
  // GitHub Actions annotations on stderr: --github, or GITHUB_ACTIONS=true
  // unless --no-github.
  bool github = false;
  // With `github`: $GITHUB_STEP_SUMMARY, which the Markdown summary is appended to.
  std::optional<std::string> stepSummary;

  // Per-object rows are made for --objects, for per-object budgets and for the
  // HTML report, whose model rows open onto them.
  bool PerObject() const { return objects || objectBudgets.Any() || html.has_value(); }
};

// The command line as given: Options before anything is resolved. The settings
// file is named by the last of --settings, --user-settings and --no-settings.
struct Arguments {
  enum class SettingsFile { kNone, kGiven, kUser };
  Options options;  // `settings` unset: resolved from the two fields below
  SettingsFile settingsFile = SettingsFile::kNone;
  std::string givenSettings;  // for kGiven
  // The last of --github and --no-github; kAuto: as the environment says.
  enum class Github { kAuto, kOn, kOff };
  Github github = Github::kAuto;
};

// What parsing the command line came to: arguments to run with, or an exit
// status and a text for the user (help, or a usage error).
struct Parsed {
  std::optional<Arguments> arguments;
  int status = 0;
  std::string message;          // what to print when there are no arguments
  bool toStdout = false;        // help goes to stdout, errors to stderr
  bool wantsJson = false;       // --json was given, even if parsing failed
  bool wantsJsonLines = false;  // --jsonl, the same
};

// Reads the command line only: touches no file and no folder.
Parsed ParseCommandLine(int argc, const char* const* argv);

// The run configuration of `arguments`. For --user-settings this makes the
// folders of the user's settings file, as asked for; a failure shows when the
// file is saved. Reads GITHUB_ACTIONS and GITHUB_STEP_SUMMARY.
Options Resolve(const Arguments& arguments);

// $XDG_CONFIG_HOME/veltrane/settings.xml, else ~/.config/veltrane/settings.xml;
// empty when neither variable names a place. Makes nothing.
std::string UserSettingsPath();

}  // namespace vtool
