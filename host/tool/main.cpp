// veltrane-host: counts model files with the real Veltrane plug-in.
//
// The stand-in host loads the plug-in and runs its life through its entry
// points, as a modelling host does: version check, binding, start (event 1),
// activation (event 100), one document per model (event 200), exit (event 2).
// It plays the user on the plug-in's window through the plug-in's own widget
// callbacks, prints the window after each document, and keeps the host's
// settings in a file so the plug-in's options persist between runs.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "host/driver/host_session.h"
#include "host/driver/paths.h"
#include "host/models/models.h"
#include "host/module/host_module.h"
#include "host/tool/report.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kCheckBoxes[] = {"Update", "All", "Visible", "Freeze", "Triangle", "Polygon"};

struct Options {
  std::vector<std::string> models;
  std::string plugin;
  std::string settings;
  bool noSettings = false;
  std::vector<std::string> tick;
  std::vector<std::string> untick;
  bool minimizeAll = false;
  bool restoreAll = false;
  std::optional<int32_t> current;
  bool close = false;
  bool json = false;
  bool identify = false;
  std::optional<int64_t> maxFaces;
  std::optional<int64_t> maxTriangles;
  std::optional<int64_t> maxVertices;
};

// $XDG_CONFIG_HOME/veltrane/settings.xml, or ~/.config/veltrane/settings.xml.
std::string DefaultSettingsPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::string(home) + "/.config";
  } else {
    return "";
  }
#if !defined(_WIN32)
  mkdir(base.c_str(), 0700);
  mkdir((base + "/veltrane").c_str(), 0700);
#endif
  return base + "/veltrane/settings.xml";
}

void ApplyUserActions(vhost::HostSession& session, const Options& options, vhost::Document* doc) {
  for (const std::string& name : options.untick) session.SetTicked(name, false, doc);
  for (const std::string& name : options.tick) session.SetTicked(name, true, doc);
  if (options.minimizeAll) session.SetAllMinimized(true, doc);
  if (options.restoreAll) session.SetAllMinimized(false, doc);
}

// A progress bar for large files, only where a person watches stderr.
vhost::LoadProgress ProgressBar(const std::string& path) {
  if (isatty(2) == 0) return {};
  return [path](uint64_t done, uint64_t total) {
    if (total < (8u << 20)) return;  // small files load before a bar would help
    const int width = 30;
    const int filled = static_cast<int>(width * done / total);
    std::fprintf(stderr, "\rloading %s [%s%s] %3d%%", path.c_str(),
                 std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                 static_cast<int>(100 * done / total));
    if (done >= total) std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
  };
}

int Run(const Options& options) {
  vhost::SettingsTree& settings = vhost::State().settings;
  const std::string settingsPath = options.noSettings          ? ""
                                   : !options.settings.empty() ? options.settings
                                                               : DefaultSettingsPath();
  if (!settingsPath.empty()) {
    const vhost::SettingsFileReport report = settings.LoadFile(settingsPath);
    if (!report.ok()) std::fprintf(stderr, "veltrane-host: %s\n", report.message.c_str());
    if (!report.ok() && report.outcome != vhost::SettingsFileReport::Outcome::kRecovered &&
        report.outcome != vhost::SettingsFileReport::Outcome::kUnsupported) {
      return 2;
    }
  }

  vhost::HostSession session(
      options.plugin.empty() ? vhost::BesideExecutable(vhost::kPluginFileName) : options.plugin);
  if (options.identify) PrintIdentity(session.plugin(), stdout);
  session.Start();

  int status = 0;
  std::vector<ModelReport> reports;
  for (const std::string& path : options.models) {
    vhost::Document& doc = vhost::State().documents.Open();
    ModelReport report;
    report.path = path;
    try {
      vhost::LoadModel(path, doc, ProgressBar(path));
      report.objects = doc.SlotCount();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "veltrane-host: %s\n", error.what());
      report.error = error.what();
      status = 2;
    }
    if (options.current) doc.currentIndex = *options.current;
    if (reports.empty()) session.Activate(&doc, true);
    if (report.error.empty()) {
      session.DocumentOpened(doc, path);
      ApplyUserActions(session, options, &doc);
      report.Read(session);
      if (!options.json) std::printf("%s\n%s", path.c_str(), session.Picture().c_str());
    }
    reports.push_back(std::move(report));
    vhost::State().documents.Close(doc);
  }
  if (options.models.empty()) {
    session.Activate(nullptr, true);
    ApplyUserActions(session, options, nullptr);
    if (!options.json && !options.identify) std::printf("%s", session.Picture().c_str());
  }
  if (options.close) session.CloseWindow(nullptr);

  const Budgets budgets{options.maxFaces, options.maxTriangles, options.maxVertices};
  const int budgetStatus = CheckBudgets(reports, budgets, stderr);
  if (options.json) std::printf("%s\n", ToJson(session, reports).c_str());

  session.Exit();
  if (!settingsPath.empty()) {
    const vhost::SettingsFileReport saved = settings.SaveFile();
    if (!saved.ok() && saved.outcome != vhost::SettingsFileReport::Outcome::kUnsupported) {
      std::fprintf(stderr, "veltrane-host: %s\n", saved.message.c_str());
      status = 2;
    }
  }
  return status != 0 ? status : budgetStatus;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app{
      "Counts model files with the Veltrane plug-in: the stand-in host loads the plug-in,\n"
      "opens each model as a document and prints the plug-in's window.",
      "veltrane-host"};
  app.footer(
      "Examples:\n"
      "  veltrane-host --tick Update --tick All samples/scene.json\n"
      "      count the sample scene; the options stay ticked for later runs\n"
      "  veltrane-host --untick Triangle model.obj     polygons instead of triangles\n"
      "  veltrane-host --json a.obj b.obj              counts as JSON\n"
      "  veltrane-host --max-triangles 20000 assets/*.obj\n"
      "      exit status 1 and a line per model over budget\n"
      "\n"
      "Exit status: 0 all counted and within budget, 1 over budget, 2 bad input or\n"
      "another failure (the other models are still counted).");
  app.add_option("MODEL", options.models, "OBJ files or JSON scene files to count");
  app.add_option("--plugin", options.plugin, "the plug-in library (default: beside this tool)");
  app.add_option("--settings", options.settings,
                 "the host's settings file (default: $XDG_CONFIG_HOME/veltrane/settings.xml)");
  app.add_flag("--no-settings", options.noSettings, "keep the settings in memory only");
  const auto names = CLI::IsMember(
      std::vector<std::string>(std::begin(kCheckBoxes), std::end(kCheckBoxes)), CLI::ignore_case);
  app.add_option("--tick", options.tick, "tick a check box of the window (repeatable)")
      ->check(names)
      ->allow_extra_args(false);
  app.add_option("--untick", options.untick, "clear a check box of the window (repeatable)")
      ->check(names)
      ->allow_extra_args(false);
  app.add_flag("--minimize-all", options.minimizeAll, "minimise the group \"all\"");
  app.add_flag("--restore-all", options.restoreAll, "restore the group \"all\"");
  app.add_option("--current", options.current, "make object INDEX current in each document")
      ->allow_extra_args(false);
  app.add_flag("--close", options.close, "close the window at the end, as a user would");
  app.add_flag("--json", options.json, "print the counts as JSON instead of the window");
  app.add_flag("--identify", options.identify, "print what the plug-in says about itself");
  app.add_option("--max-faces", options.maxFaces, "budget: faces of all objects")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--max-triangles", options.maxTriangles, "budget: triangles of all objects")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--max-vertices", options.maxVertices, "budget: vertices of all objects")
      ->check(CLI::NonNegativeNumber);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }
  // Check box names are matched case-insensitively; the window's captions are exact.
  for (auto* list : {&options.tick, &options.untick}) {
    for (std::string& name : *list) {
      for (const char* caption : kCheckBoxes) {
        if (CLI::detail::to_lower(name) == CLI::detail::to_lower(caption)) name = caption;
      }
    }
  }
  try {
    return Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "veltrane-host: %s\n", error.what());
    return 2;
  }
}
