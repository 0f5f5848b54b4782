// What the command line of veltrane-host asks for. Parsing keeps the order in
// which the user's actions were given: they are played in that order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/probe/veltrane_facts.h"
#include "host/tool/budgets.h"

namespace vtool {

// The window's check boxes, by caption, in the window's order.
using vhost::veltrane::kCheckBoxes;

// One thing the user does on the window before the first model is opened.
struct Action {
  enum class Kind { kTick, kUntick, kMinimizeAll, kRestoreAll };
  Kind kind = Kind::kTick;
  std::string checkBox;  // for kTick and kUntick: one of kCheckBoxes
};

struct Options {
  std::vector<std::string> models;
  std::string plugin;                   // empty: the plug-in beside the tool
  std::optional<std::string> settings;  // the settings file; none: settings in memory only
  std::vector<Action> actions;          // in command-line order
  std::optional<int32_t> current;
  bool objects = false;  // a row per object
  bool close = false;
  bool json = false;
  bool identify = false;
  Budgets budgets;                       // on each model's all-objects counts
  Budgets objectBudgets;                 // on each object's counts
  std::optional<int64_t> importTimeout;  // seconds an assimp import may take; 0: no limit

  // Per-object rows are made for --objects and for per-object budgets.
  bool PerObject() const { return objects || objectBudgets.Any(); }
};

// What parsing the command line came to: options to run with, or an exit
// status and a text for the user (help, or a usage error).
struct Parsed {
  std::optional<Options> options;
  int status = 0;
  std::string message;     // what to print when there are no options
  bool toStdout = false;   // help goes to stdout, errors to stderr
  bool wantsJson = false;  // --json was given, even if parsing failed
};

Parsed ParseCommandLine(int argc, const char* const* argv);

// $XDG_CONFIG_HOME/veltrane/settings.xml, else ~/.config/veltrane/settings.xml,
// creating the directories; empty when neither variable names a place.
std::string UserSettingsPath();

}  // namespace vtool
