// The tool's units on their own: the command line resolved apart from parsing,
// budget rules, models counted one by one, and writers handed results.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/api/host_state.h"
#include "host/models/models.h"
#include "host/models/registry.h"
#include "host/tool/budgets.h"
#include "host/tool/count.h"
#include "host/tool/options.h"
#include "host/tool/result.h"
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
  for (auto& writer : writers) writer->End({2, "", std::nullopt});

  EXPECT_EQ(Written(text), vtool::ToText(identity) + "a.obj\n(window)\n");
  const std::string document = Written(json);
  EXPECT_EQ(document, vtool::ToJson({counted, failed}, {2, "", identity}) + "\n");
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
