// The tool's units on their own: the command line resolved apart from parsing,
// budget rules, models counted one by one, and writers handed results.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/api/host_state.h"
#include "host/models/models.h"
#include "host/models/registry.h"
#include "host/tool/budgets.h"
#include "host/tool/count.h"
#include "host/tool/options.h"
#include "host/tool/result.h"
#include "host/tool/result_wire.h"
#include "host/tool/writers.h"
#include "tests/support/plugin_under_test.h"

namespace {

namespace fs = std::filesystem;
using Kind = vhost::ModelError::Kind;

// The registry's formats live for the whole program: made before the first test
// counts its allocations.
class FormatsMadeOnce : public testing::Environment {
 public:
  void SetUp() override { vhost::models::Formats(); }
};
testing::Environment* const kFormatsMadeOnce =
    testing::AddGlobalTestEnvironment(new FormatsMadeOnce);  // gtest's

vtool::Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "veltrane-host");
  return vtool::ParseCommandLine(static_cast<int>(args.size()), args.data());
}

// Everything a writer wrote into a temporary stream.
std::string Written(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

TEST(Arguments, ParsingMakesNoFolderAndResolvingMakesTheUsersOne) {
  const fs::path base = fs::temp_directory_path() / ("vtool-units-" + std::to_string(getpid()));
  fs::remove_all(base);
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string savedValue = saved != nullptr ? saved : "";
  setenv("XDG_CONFIG_HOME", base.c_str(), 1);
  const vtool::Parsed parsed = Parse({"--user-settings", "a.obj"});
  ASSERT_TRUE(parsed.arguments) << parsed.message;
  EXPECT_FALSE(fs::exists(base)) << "parsing made the settings folder";
  const vtool::Options options = vtool::Resolve(*parsed.arguments);
  EXPECT_EQ(options.settings, (base / "veltrane/settings.xml").string());
  EXPECT_TRUE(fs::is_directory(base / "veltrane"));
  if (saved != nullptr) {
    setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  fs::remove_all(base);
}

TEST(Arguments, TheLastSettingsOptionWins) {
  const struct {
    std::vector<const char*> args;
    std::optional<std::string> settings;
  } cases[] = {
      {{"a.obj"}, std::nullopt},
      {{"--settings", "x.xml", "a.obj"}, "x.xml"},
      {{"--settings", "x.xml", "--no-settings", "a.obj"}, std::nullopt},
      {{"--no-settings", "--settings", "y.xml", "a.obj"}, "y.xml"},
  };
  for (const auto& c : cases) {
    const vtool::Parsed parsed = Parse(c.args);
    ASSERT_TRUE(parsed.arguments) << parsed.message;
    EXPECT_EQ(vtool::Resolve(*parsed.arguments).settings, c.settings) << c.args.size();
  }
}

// -j: a given number of workers, at least one; by default one per core.
TEST(Arguments, JobsAreAtLeastOneAndOnePerCoreByDefault) {
  const struct {
    std::vector<const char*> args;
    std::optional<int> jobs;  // none: a usage error
  } cases[] = {
      {{"-j", "3", "a.obj"}, 3},
      {{"--jobs", "1", "a.obj"}, 1},
      {{"-j", "0", "a.obj"}, std::nullopt},
      {{"-j", "x", "a.obj"}, std::nullopt},
      {{"a.obj"}, static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const vtool::Parsed parsed = Parse(c.args);
    ASSERT_EQ(parsed.arguments.has_value(), c.jobs.has_value()) << parsed.message;
    if (c.jobs) {
      EXPECT_EQ(parsed.arguments->options.jobs, *c.jobs);
    }
  }
}

// A result sent from a worker arrives whole, every field; one cut short or
// holding a value no sender writes is refused.
TEST(ResultWire, AResultArrivesWholeOrNotAtAll) {
  vtool::ModelResult sent;
  sent.path = "art/ship.glb";
  sent.error = "art/ship.glb: accessor 3: bad";
  sent.errorKind = Kind::kSyntax;
  sent.diagnostics = {"one", "two"};
  sent.slots = 4;
  sent.currentObject = 2;
  sent.options = {true, false, true, false, false, true};
  sent.current = vtool::Counts{1, 2, 3, 4, 5, 6};
  sent.all = vtool::Counts{7, 8, 9, 10, 11, vtool::kSaturated};
  sent.picture = "V 1\nF 2\n";
  sent.objects =
      std::vector<vtool::ObjectRow>{{0, "hull", true, {1, 1, 0, 1, 0, 0}}, {3, "mast", false, {}}};
  vtool::Verdict verdict;
  verdict.budget = "max-object-vertices";
  verdict.metric = vtool::Metric::kVertices;
  verdict.object = 1;
  verdict.limit = 10;
  verdict.value = 12;
  verdict.atLeast = true;
  verdict.kind = vtool::Verdict::Kind::kWaived;
  verdict.warn = true;
  verdict.rule = "veltrane.toml:3";
  verdict.reason = "hero asset";
  verdict.waiver = "veltrane.toml:9";
  sent.verdicts = {verdict, vtool::Verdict{}};

  const auto describe = [](const vtool::ModelResult& r) {
    std::string text = vtool::ToJson({r}, vtool::RunSummary{}) + r.picture;
    for (const std::string& line : r.diagnostics) text += "\n" + line;
    text += r.errorKind ? std::to_string(static_cast<int>(*r.errorKind)) : "none";
    for (const vtool::Verdict& v : r.verdicts) text += v.warn ? "w" : "-";
    return text;
  };
  // Through a pipe, as a worker sends it; `keep` bytes of it, or all.
  const auto roundTrip = [](const vtool::ModelResult& result, std::size_t keep,
                            const std::function<void(std::string&)>& spoil,
                            vtool::ModelResult& received) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    std::string bytes;
    {
      int inner[2];
      EXPECT_EQ(pipe(inner), 0);
      vhost::proc::FrameWriter out(inner[1]);
      vtool::SendResult(out, result);
      out.Flush();
      close(inner[1]);
      char buffer[4096];
      for (ssize_t n = 0; (n = read(inner[0], buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
      close(inner[0]);
    }
    if (spoil) spoil(bytes);
    bytes.resize(std::min(keep, bytes.size()));
    EXPECT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(ends[1]);
    vhost::proc::FrameReader in(ends[0], std::nullopt);
    const bool ok = vtool::ReceiveResult(in, received);
    close(ends[0]);
    return ok;
  };
  vtool::ModelResult received;
  ASSERT_TRUE(roundTrip(sent, SIZE_MAX, nullptr, received));
  EXPECT_EQ(describe(received), describe(sent));
  ASSERT_TRUE(roundTrip(vtool::ModelResult{}, SIZE_MAX, nullptr, received));
  EXPECT_EQ(describe(received), describe(vtool::ModelResult{}));

  EXPECT_FALSE(roundTrip(sent, 100, nullptr, received));  // cut short
  // The error kind's byte past the last kind: an optional's flag, then the value.
  const std::size_t kindAt = 8 + sent.path.size() + 8 + sent.error.size() + 1;
  EXPECT_FALSE(roundTrip(
      sent, SIZE_MAX, [&](std::string& bytes) { bytes[kindAt] = 99; }, received));
}

TEST(BudgetRules, NameTheirMetricAndComeInTheOrderVerdictsAreSaid) {
  vtool::Budgets model;
  model.vertices = 2;
  model.faces = 1;
  vtool::Budgets object;
  object.triangles = 3;
  const std::vector<vtool::BudgetRule> rules = vtool::BudgetRules(model, object);
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[0].metric, vtool::Metric::kFaces);
  EXPECT_EQ(rules[0].source, "max-faces");
  EXPECT_EQ(rules[1].metric, vtool::Metric::kVertices);
  EXPECT_EQ(rules[1].scope, vtool::Scope::kModel);
  EXPECT_EQ(rules[2].metric, vtool::Metric::kTriangles);
  EXPECT_EQ(rules[2].scope, vtool::Scope::kObject);
  EXPECT_EQ(rules[2].source, "max-object-triangles");
  EXPECT_EQ(rules[2].limit, 3);
}

TEST(Writers, TextShowsCountedModelsAsHandedAndJsonIsOneDocumentAtTheEnd) {
  vtool::ModelResult counted;
  counted.path = "a.obj";
  counted.picture = "(window)\n";
  vtool::ModelResult failed;
  failed.path = "b.obj";
  failed.error = "b.obj: cannot open";
  vtool::Identity identity;
  identity.path = "Veltrane.so";
  identity.name = "Veltrane";

  std::FILE* text = std::tmpfile();
  std::FILE* json = std::tmpfile();
  ASSERT_NE(text, nullptr);
  ASSERT_NE(json, nullptr);
  std::vector<std::unique_ptr<vtool::Writer>> writers = vtool::WritersFor(false, text);
  for (auto& writer : vtool::WritersFor(true, json)) writers.push_back(std::move(writer));
  for (auto& writer : writers) writer->Begin(identity);
  for (auto& writer : writers) writer->Model(counted);
  std::fflush(json);
  EXPECT_EQ(std::ftell(json), 0) << "the JSON document is written whole, at the end";
  for (auto& writer : writers) writer->Model(failed);
  for (auto& writer : writers) writer->End({2, "", std::nullopt, {}, {}, {}, {}, {}});

  EXPECT_EQ(Written(text), vtool::ToText(identity) + "a.obj\n(window)\n");
  const std::string document = Written(json);
  EXPECT_EQ(document,
            vtool::ToJson({counted, failed}, {2, "", identity, {}, {}, {}, {}, {}}) + "\n");
  EXPECT_EQ(nlohmann::json::parse(document)["models"][1]["error"], "b.obj: cannot open");
}

// A model that was not counted keeps the kind of its fault beside its text:
// what a reader found in the file, memory running out, or none for a fault
// that is not the file's. The text is the same either way.
TEST(CountModel, AModelsFaultKeepsItsKind) {
  const fs::path dir = fs::temp_directory_path() / ("vtool-kinds-" + std::to_string(getpid()));
  fs::remove_all(dir);
  const std::string missing = (dir / "missing.obj").string();
  const std::string folder = (dir / "folder.obj").string();
  fs::create_directories(folder);
  const auto write = [&](const char* name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  };
  const std::string syntax = write("syntax.obj", "v 0 0 0\nbogus line\n");
  const std::string unknown = write("model.xyz", "v 0 0 0\np 1\n");
  // Larger than a scene may be, taking no room on disk: refused before it is read.
  const std::string huge = write("huge.json", "");
  fs::resize_file(huge, vhost::kMaxSceneBytes + 1);
  const std::string cage = std::string(VHOST_SAMPLES_DIR) + "/cage.obj";
  const auto throws = [](auto fault) { return vtool::LoadWatch{{}, [fault] { throw fault; }}; };

  const struct {
    std::string path;
    vtool::LoadWatch watch;
    std::optional<Kind> kind;
    std::string error;  // how the error starts; empty for a model counted
  } cases[] = {
      {missing, {}, Kind::kCannotOpen, missing + ": "},
      {syntax, {}, Kind::kSyntax, syntax + ":2: "},
      {unknown, {}, Kind::kUnsupported, unknown + ": "},
      {folder, {}, Kind::kUnsupported, folder + ": is a folder"},
      {huge, {}, Kind::kLimit, huge + ": larger than 256 MiB"},
      {cage, throws(std::bad_alloc()), Kind::kOutOfMemory, cage + ": out of memory"},
      // A fault of the host's own, not of the file: no kind to give it.
      {cage, throws(std::runtime_error("the window is gone")), std::nullopt,
       cage + ": the window is gone"},
      {cage, {}, std::nullopt, ""},
  };
  {
    vtool::CountingHost host(testing_support::PluginUnderTest());
    vhost::VeltraneSession& session = host.session();
    session.Start();
    session.Activate(nullptr, true);
    host.FindFields();
    session.SetTicked(vhost::veltrane::kCheckBoxes[0], true, nullptr);
    session.SetTicked(vhost::veltrane::kCheckBoxes[1], true, nullptr);
    for (const auto& c : cases) {
      const vtool::ModelResult result = vtool::CountModel(host, c.path, {}, c.watch);
      SCOPED_TRACE(result.error);
      EXPECT_EQ(result.errorKind, c.kind) << c.path;
      EXPECT_EQ(result.error.rfind(c.error, 0), 0u) << c.path;
      EXPECT_EQ(result.error.empty(), c.error.empty()) << c.path;
      EXPECT_EQ(result.all.has_value(), c.error.empty()) << c.path;
    }
    session.Exit();
  }
  vhost::State().Reset();
  fs::remove_all(dir);
}

}  // namespace
