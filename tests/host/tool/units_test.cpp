// The tool's units on their own: the command line resolved apart from parsing,
// budget rules, and writers handed results one by one.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/tool/budgets.h"
#include "host/tool/options.h"
#include "host/tool/result.h"
#include "host/tool/writers.h"

namespace {

namespace fs = std::filesystem;

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

}  // namespace
