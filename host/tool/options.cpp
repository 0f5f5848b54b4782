#include "host/tool/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <thread>

#include "host/models/models.h"
#include "host/models/registry.h"
#include "host/tool/writers.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace vtool {
namespace {

// A usage error, with the text the user sees.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A whole decimal number from 0 to `max`: digits only, leading zeros meaning
// nothing (so "010" is ten, never eight).
int64_t Decimal(const std::string& option, const std::string& text, int64_t max) {
  const auto fail = [&]() -> int64_t {
    throw UsageError(option + ": '" + text + "' is not a whole number from 0 to " +
                     std::to_string(max));
  };
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return fail();
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() ||
      value > static_cast<uint64_t>(max)) {
    return fail();
  }
  return static_cast<int64_t>(value);
}

// --reader's NAME as the registry knows it: "" for our own readers, "assimp".
// A build without assimp has no second reader to compare with.
std::string ReaderName(const std::string& text) {
  if (text == "own") return {};
  if (text != "assimp") {
    throw UsageError("--reader: '" + text + "' is neither 'own' nor 'assimp'");
  }
  for (const vhost::models::Format& format : vhost::models::Formats()) {
    if (format.name == "assimp" && !format.extensions.empty()) return text;
  }
  throw UsageError(
      "--reader assimp: this build reads no files through assimp; the Linux build does");
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string CheckBoxName(const std::string& option, const std::string& text) {
  for (const char* caption : kCheckBoxes) {
    if (Lower(text) == Lower(caption)) return caption;
  }
  std::string known;
  for (const char* caption : kCheckBoxes) known += std::string(known.empty() ? "" : ", ") + caption;
  throw UsageError(option + ": no check box '" + text + "' (there are " + known + ")");
}

constexpr const char* kDescription =
    "Counts model files with the Veltrane plug-in: the stand-in host loads the plug-in,\n"
    "opens each model as a document and prints the plug-in's window (or JSON).\n"
    "It starts as a fresh host whose user has ticked Update and All, keeps its settings\n"
    "in memory and writes nothing, unless --settings or --user-settings asks for a file.";

// The help's closing paragraphs, after the one on formats that the readers give.
constexpr const char* kFooter =
    "User actions (--tick, --untick, --minimize-all, --restore-all) are played on the\n"
    "window in command-line order before the first model is opened; the last one wins.\n"
    "\n"
    "Examples:\n"
    "  veltrane-host samples/scene.json            count the sample scene\n"
    "  veltrane-host --tick Freeze samples/scene.json\n"
    "      count mirrored, lathed and patched objects as their frozen geometry\n"
    "  veltrane-host --untick Triangle model.obj     polygons instead of triangles\n"
    "  veltrane-host --json a.obj b.obj              counts as JSON\n"
    "  veltrane-host --objects ship.glb              a row per mesh instance of a glTF file\n"
    "  veltrane-host --objects --max-object-vertices 65535 assets/*.obj\n"
    "      a row per object; exit status 1 names each object over 16-bit indices\n"
    "  veltrane-host --max-triangles 20000 assets/\n"
    "      every model file below assets/; exit status 1 and a line per model over budget\n"
    "  veltrane-host --files                         what a run here would count\n"
    "\n"
    "Exit status:\n"
    "  0  every model counted exactly and within every budget (warnings and\n"
    "     waivers never change the status)\n"
    "  1  every model counted exactly, and at least one over a budget\n"
    "  2  anything else: bad usage, a policy that is not valid, a folder that\n"
    "     could not be read or held no model, a model that could not be loaded or\n"
    "     counted exactly, a budget that could not be checked, settings that could\n"
    "     not be saved, output that could not be written (the other models are\n"
    "     still counted)\n"
    "  130 Ctrl-C while worker processes count (-j): what was counted is written";

}  // namespace

std::string UserSettingsPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::string(home) + "/.config";
  } else {
    return "";
  }
  return base + "/veltrane/settings.xml";
}

Options Resolve(const Arguments& arguments) {
  Options options = arguments.options;
  switch (arguments.settingsFile) {
    case Arguments::SettingsFile::kNone:
      options.settings.reset();
      break;
    case Arguments::SettingsFile::kGiven:
      options.settings = arguments.givenSettings;
      break;
    case Arguments::SettingsFile::kUser: {
      const std::string path = UserSettingsPath();
      options.settings = path;
#if !defined(_WIN32)
      // Asked for explicitly, so making the folders is expected; a failure shows
      // when the file is saved.
      const std::string folder = path.substr(0, path.rfind('/'));
      mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
      mkdir(folder.c_str(), 0700);
#endif
      break;
    }
  }
  const char* actions = std::getenv("GITHUB_ACTIONS");
  options.github = arguments.github == Arguments::Github::kOn ||
                   (arguments.github == Arguments::Github::kAuto && actions != nullptr &&
                    std::strcmp(actions, "true") == 0);
  options.stepSummary.reset();
  if (const char* summary = std::getenv("GITHUB_STEP_SUMMARY");
      options.github && summary != nullptr && *summary != '\0') {
    options.stepSummary = summary;
  }
  return options;
}

Parsed ParseCommandLine(int argc, const char* const* argv) {
  Parsed parsed;
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) parsed.wantsJson = true;
    if (std::strcmp(argv[i], "--jsonl") == 0) parsed.wantsJsonLines = true;
  }

  Arguments arguments;
  Options& options = arguments.options;
  CLI::App app{kDescription, "veltrane-host"};
  // The readers' paragraph first, asked for only when help is printed: CLI11
  // joins the two with a line end.
  app.footer(kFooter);
  app.footer([] { return vhost::models::FormatsHelp(); });
  app.add_option("MODEL", options.models,
                 "model files to count: OBJ, JSON scenes, glTF, FBX, PLY, STL, ... (--formats); "
                 "a folder: every model file below it; - reads OBJ from standard input "
                 "(default: the current folder)");
  bool formats = false;
  app.add_flag("--formats", formats, "list the formats this build reads and what counts in each");
  CLI::Option* json =
      app.add_flag("--json", options.json,
                   "print one JSON document with every model's counts instead of the window");
  CLI::Option* jsonLines =
      app.add_flag("--jsonl", options.jsonLines,
                   "print a JSON line per model as soon as it and every model before it are "
                   "done, then a line with the run's summary")
          ->excludes(json);
  CLI::Option* files =
      app.add_flag("--files", options.listFiles,
                   "print the models a run would count, one a line, and count nothing")
          ->excludes(json)
          ->excludes(jsonLines);
  app.add_flag("--hidden", options.walk.hidden,
               "also walk hidden files and folders (names starting with '.')");
  bool noIgnore = false;
  app.add_flag("--no-ignore", noIgnore,
               "also walk what .gitignore and .git/info/exclude ignore in a git work tree");
  app.add_flag("--objects", options.objects, "add a row per object (index, name, visible, counts)");
  const auto text = [&app](const char* name, const char* help) {
    return app.add_option(name)
        ->description(help)
        ->type_size(1)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  CLI::Option* include =
      text("--include", "walk only the files GLOB matches (gitignore syntax, repeatable)")
          ->type_name("GLOB");
  CLI::Option* exclude = text("--exclude",
                              "leave out of a walk the files GLOB matches (repeatable; the last "
                              "--include or --exclude matching a file decides)")
                             ->type_name("GLOB");
  CLI::Option* tick = text("--tick",
                           "tick a check box: Update, All, Visible, Freeze, Triangle, "
                           "Polygon (repeatable)")
                          ->type_name("NAME");
  CLI::Option* untick = text("--untick", "clear a check box (repeatable)")->type_name("NAME");
  CLI::Option* minimize = app.add_flag("--minimize-all", "minimise the group \"all\" (clears All)");
  CLI::Option* restore = app.add_flag("--restore-all", "restore the group \"all\" (ticks All)");
  CLI::Option* current =
      text("--current", "make object INDEX current in each document")->type_name("INDEX");
  app.add_flag("--close", options.close, "close the window at the end, as a user would");
  CLI::Option* settings =
      text("--settings", "load the host's settings from FILE and save them back at the end")
          ->type_name("FILE");
  CLI::Option* userSettings =
      app.add_flag("--user-settings",
                   "use the user's settings file, $XDG_CONFIG_HOME/veltrane/settings.xml "
                   "(default ~/.config/veltrane/settings.xml)");
  CLI::Option* noSettings =
      app.add_flag("--no-settings", "keep the settings in memory only (the default)");
  std::map<const CLI::Option*, std::optional<int64_t>*> budgets;
  const auto budget = [&](const char* name, const char* help, std::optional<int64_t>& slot) {
    budgets[text(name, help)->type_name("N")] = &slot;
  };
  budget("--max-faces", "budget: faces of 2 or more points of all objects", options.budgets.faces);
  budget("--max-triangles", "budget: triangles of all objects (row F with Triangle ticked)",
         options.budgets.triangles);
  budget("--max-vertices", "budget: vertices of all objects", options.budgets.vertices);
  budget("--max-object-faces", "budget: faces of 2 or more points of each object",
         options.objectBudgets.faces);
  budget("--max-object-triangles", "budget: triangles of each object",
         options.objectBudgets.triangles);
  budget("--max-object-vertices", "budget: vertices of each object (65535: 16-bit indices)",
         options.objectBudgets.vertices);
  CLI::Option* policy = text("--policy",
                             "budgets from the policy FILE (default: veltrane.toml here or in the "
                             "nearest folder above, up to the top of the git work tree)")
                            ->type_name("FILE");
  CLI::Option* noPolicy =
      app.add_flag("--no-policy", "no policy file: only the budgets on the command line");
  CLI::Option* junit =
      text("--junit",
           "write a JUnit XML report to FILE: a test case per model, a failure per "
           "budget over its limit, an error per model not counted")
          ->type_name("FILE")
          ->excludes(files);
  CLI::Option* markdown =
      text("--markdown",
           "write a Markdown summary to FILE: totals, models over budget, the largest models")
          ->type_name("FILE")
          ->excludes(files);
  CLI::Option* html =
      text("--html",
           "write a report page to FILE: totals, charts of the heaviest models against their "
           "budgets, and every model in a table to sort and filter (one self-contained HTML "
           "file; implies per-object rows)")
          ->type_name("FILE")
          ->excludes(files);
  CLI::Option* github =
      app.add_flag("--github",
                   "GitHub Actions annotations on stderr and the summary appended to "
                   "$GITHUB_STEP_SUMMARY (the default when GITHUB_ACTIONS is true)");
  CLI::Option* noGithub =
      app.add_flag("--no-github", "no GitHub Actions annotations or step summary, even in Actions");
  app.add_option("--plugin", options.plugin,
                 "the plug-in library (default: beside this tool, or ../lib/veltrane/)")
      ->type_name("PATH");
  app.add_flag("--identify", options.identify, "tell what the plug-in says about itself");
  app.add_flag("--version", options.version,
               "print this tool's version, the plug-in's version answer and the readers built "
               "in, then exit 0");
  CLI::Option* importTimeout =
      text("--import-timeout",
           "stop an import through assimp after SECONDS, the file an error (0: no limit; "
           "default: 60 and 10 more per MiB of the file)")
          ->type_name("SECONDS");
  CLI::Option* jobs = text("-j,--jobs",
                           "count N models at once, each in a worker process of its own "
                           "(default: the number of cores; 1: one after another in this process)")
                          ->type_name("N");
  CLI::Option* baseline =
      text("--baseline",
           "set each model beside its counts in FILE, an earlier --json report, and list the "
           "models new or gone since")
          ->type_name("FILE");
  CLI::Option* maxGrowth =
      text("--max-growth",
           "with --baseline: fail a model whose triangles or vertices grew by more than PCT "
           "percent (overrides the policy's max-growth)")
          ->type_name("PCT");
  CLI::Option* shard =
      text("--shard",
           "count only shard K of N (1 to N): the models whose path from the folder walked "
           "hashes to it, so that N CI machines share a tree; `merge` joins their --json reports")
          ->type_name("K/N");
  CLI::Option* reader =
      text("--reader",
           "which reader reads glTF, PLY and STL: own (the default: this tool's own) or "
           "assimp (as the tool did before it had its own; to compare the two)")
          ->type_name("NAME");

  bool jobsGiven = false;
  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i > 0; --i) args.emplace_back(argv[i]);
    app.parse(args);  // CLI11 takes the arguments in reverse
    // Everything that orders against something else, in the order given.
    std::map<const CLI::Option*, std::size_t> seen;
    for (const CLI::Option* option : app.parse_order()) {
      const std::size_t occurrence = seen[option]++;
      const auto value = [&]() -> const std::string& { return option->results().at(occurrence); };
      const std::string name = option->get_name();
      if (option == tick || option == untick) {
        options.actions.push_back(
            Action{option == tick ? Action::Kind::kTick : Action::Kind::kUntick,
                   CheckBoxName(name, value())});
      } else if (option == minimize) {
        options.actions.push_back(Action{Action::Kind::kMinimizeAll, {}});
      } else if (option == restore) {
        options.actions.push_back(Action{Action::Kind::kRestoreAll, {}});
      } else if (option == current) {
        options.current = static_cast<int32_t>(Decimal(name, value(), INT32_MAX));
      } else if (option == settings) {
        if (value().empty()) throw UsageError("--settings: the file name is empty");
        arguments.settingsFile = Arguments::SettingsFile::kGiven;
        arguments.givenSettings = value();
      } else if (option == userSettings) {
        if (UserSettingsPath().empty()) {
          throw UsageError("--user-settings: neither XDG_CONFIG_HOME nor HOME names a directory");
        }
        arguments.settingsFile = Arguments::SettingsFile::kUser;
      } else if (option == noSettings) {
        arguments.settingsFile = Arguments::SettingsFile::kNone;
      } else if (option == policy) {
        if (value().empty()) throw UsageError("--policy: the file name is empty");
        options.policy = value();
        options.noPolicy = false;
      } else if (option == noPolicy) {
        options.policy.reset();
        options.noPolicy = true;
      } else if (option == include || option == exclude) {
        try {
          if (option == include) {
            options.walk.globs.Include(value());
          } else {
            options.walk.globs.Exclude(value());
          }
        } catch (const std::invalid_argument& error) {
          throw UsageError(name + ": " + error.what());
        }
      } else if (option == html) {
        if (value().empty()) throw UsageError("--html: the file name is empty");
        options.html = value();
      } else if (option == junit || option == markdown) {
        if (value().empty()) throw UsageError(name + ": the file name is empty");
        if (option == junit && !CanWriteJunit()) {
          throw UsageError(
              "--junit: this build cannot write JUnit XML (it has no XML library); the Linux "
              "build can");
        }
        (option == junit ? options.junit : options.markdown) = value();
      } else if (option == github || option == noGithub) {
        arguments.github = option == github ? Arguments::Github::kOn : Arguments::Github::kOff;
      } else if (option == importTimeout) {
        options.importTimeout = Decimal(name, value(), INT32_MAX);
      } else if (option == jobs) {
        options.jobs = static_cast<int>(Decimal(name, value(), 1024));
        if (options.jobs < 1) throw UsageError(name + ": must be at least 1");
        jobsGiven = true;
      } else if (option == baseline) {
        if (value().empty()) throw UsageError("--baseline: the file name is empty");
        options.baseline = value();
      } else if (option == maxGrowth) {
        char* end = nullptr;
        const double percent = std::strtod(value().c_str(), &end);
        if (value().empty() || *end != '\0' || !(percent >= 0) || percent > 1e9 ||
            value().find_first_not_of("0123456789.") != std::string::npos) {
          throw UsageError("--max-growth: '" + value() + "' is not a percent from 0");
        }
        options.maxGrowth = percent;
      } else if (option == shard) {
        const std::string& given = value();
        const std::size_t slash = given.find('/');
        const auto bad = [&] {
          std::string message = name;
          message += ": '" + given + "' is not K/N with K from 1 to N and N from 1 to 65536";
          return UsageError(message);
        };
        if (slash == std::string::npos) throw bad();
        int64_t k = 0;
        int64_t n = 0;
        try {
          k = Decimal(name, given.substr(0, slash), 65536);
          n = Decimal(name, given.substr(slash + 1), 65536);
        } catch (const UsageError&) {
          throw bad();
        }
        if (k < 1 || n < 1 || k > n) throw bad();
        options.shard = std::make_pair(static_cast<int>(k), static_cast<int>(n));
      } else if (option == reader) {
        options.reader = ReaderName(value());
      } else if (const auto found = budgets.find(option); found != budgets.end()) {
        *found->second = Decimal(name, value(), INT64_MAX);
      }
    }
    if (formats) {
      parsed.status = 0;
      parsed.message = vhost::models::FormatsText();
      if (!parsed.message.empty() && parsed.message.back() == '\n') parsed.message.pop_back();
      parsed.toStdout = true;
      return parsed;
    }
    options.walk.ignore = !noIgnore;
    if (options.maxGrowth && !options.baseline) {
      throw UsageError("--max-growth needs --baseline: the report to measure growth from");
    }
    if (!jobsGiven)
      options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // Standard input gives its content once: a second "-" would be counted empty.
    if (std::count(options.models.begin(), options.models.end(), "-") > 1) {
      throw UsageError("MODEL '-' (standard input) given more than once; it can be read once");
    }
  } catch (const CLI::CallForHelp&) {
    parsed.status = 0;
    parsed.message = app.help();
    parsed.toStdout = true;
    return parsed;
  } catch (const CLI::ParseError& error) {
    parsed.status = 2;
    parsed.message = error.what();
    return parsed;
  } catch (const UsageError& error) {
    parsed.status = 2;
    parsed.message = error.what();
    return parsed;
  }
  parsed.arguments = std::move(arguments);
  return parsed;
}

}  // namespace vtool
