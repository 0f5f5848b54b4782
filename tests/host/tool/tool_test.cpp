// veltrane-host as a person or a pipeline runs it: a process with arguments,
// judged by its output and exit status. Every run gets a fresh, empty HOME and
// XDG_CONFIG_HOME of its own, which must stay empty unless a settings option
// asks for a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/tool/github_writer.h"
#include "tests/support/golden.h"

namespace {

using Json = nlohmann::json;

struct Outcome {
  std::string out;  // stdout
  std::string err;  // stderr
  int status = -1;  // exit status
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Sample paths appear in the output; make them stable for golden comparisons.
std::string Relative(std::string text) {
  const std::string prefix = std::string(VHOST_SAMPLES_DIR) + "/";
  for (std::size_t at; (at = text.find(prefix)) != std::string::npos;) {
    text.replace(at, prefix.size(), "samples/");
  }
  return text;
}

std::string Sample(const std::string& name) { return std::string(VHOST_SAMPLES_DIR) + "/" + name; }

// The plug-in's section of the settings file.
const std::string kSection = "Plugin-5A3C9E41-2D7B6F18";

// The lines of `text`, without their ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    // Named by process too: other checkouts' suites may run the same test at once.
    dir_ = ::testing::TempDir() + "veltrane-tool-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Shell("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "/home/config'");
    settings_ = dir_ + "/settings.xml";
  }
  void TearDown() override {
    // Nothing under HOME, whatever the test ran.
    EXPECT_EQ(Shell("[ -z \"$(ls -A '" + dir_ + "/home/config')\" ] && [ \"$(ls -A '" + dir_ +
                    "/home')\" = config ]"),
              0)
        << "the tool wrote under HOME";
    Shell("rm -rf '" + dir_ + "'");
  }

  static int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // Runs `command` through the shell, with `veltrane-host` on the PATH, in the
  // test's directory, with a fresh home.
  Outcome Sh(const std::string& command) const {
    const std::string tool = VELTRANE_HOST_TOOL;
    const std::string errFile = dir_ + "/stderr";
    // Outside GitHub Actions, whatever runs the suite: a test asks for it.
    const std::string full =
        "cd '" + dir_ + "' && unset GITHUB_ACTIONS GITHUB_STEP_SUMMARY && HOME='" + dir_ +
        "/home' XDG_CONFIG_HOME='" + dir_ + "/home/config' PATH='" +
        tool.substr(0, tool.rfind('/')) + "':\"$PATH\" " + command + " 2>'" + errFile + "'";
    Outcome run;
    FILE* pipe = popen(full.c_str(), "r");
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = Read(errFile);
    return run;
  }

  Outcome Start(const std::string& args) const { return Sh("veltrane-host " + args); }

  // With the settings kept in the test's settings file.
  Outcome Persisted(const std::string& args) const {
    return Start("--settings '" + settings_ + "' " + args);
  }

  std::string File(const std::string& name, const std::string& text) const {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  void ExpectGolden(const std::string& name, const std::string& text) const {
    testing_support::ExpectGolden(std::string(VELTRANE_TOOL_GOLDEN_DIR) + "/" + name, text);
  }

  // Parses stdout as the one JSON document it must be.
  static Json Document(const Outcome& run) {
    Json document;
    EXPECT_NO_THROW(document = Json::parse(run.out)) << run.out;
    return document;
  }

  std::string dir_;
  std::string settings_;
};

TEST_F(Tool, CountsTheSampleSceneAndShowsTheWindow) {
  const Outcome run = Start("--tick Freeze " + Sample("scene.json"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  ExpectGolden("scene_frozen.txt", Relative(run.out));
}

// The JSON document as a reader sees it: every key, in order.
TEST_F(Tool, JsonCarriesTheCountsAndTheOptions) {
  const Outcome run = Start("--json --objects " + Sample("props.obj") + " " + Sample("wires.obj"));
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectGolden("props_wires.json", Relative(run.out));
}

TEST_F(Tool, CountsWithNoFlagsAndWritesNothing) {
  // A fresh host whose user ticked Update and All: both groups hold numbers.
  const Outcome run = Start(Sample("cage.obj"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("[x] Update    [x] All"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("|   V  [         6]"), std::string::npos) << run.out;
  const Json doc = Document(Start("--json " + Sample("cage.obj") + " " + Sample("props.obj")));
  for (const Json& model : doc["models"]) {
    EXPECT_TRUE(model["current"].is_object()) << model;
    EXPECT_TRUE(model["all"].is_object()) << model;
  }
  // No run changes the next one.
  ASSERT_EQ(Start("--untick Triangle --minimize-all " + Sample("cage.obj")).status, 0);
  EXPECT_EQ(Start("--max-triangles 8 " + Sample("cage.obj")).status, 0);
  // A bare run is a usage error, and writes nothing either.
  EXPECT_EQ(Start("").status, 2);
}

// The examples of the README, as written there, with a fresh home.
TEST_F(Tool, TheReadmeExamplesRunAsDocumented) {
  const std::string readme = Read(std::string(VELTRANE_SOURCE_DIR) + "/README.md");
  const std::size_t section = readme.find("**EXAMPLES**");
  ASSERT_NE(section, std::string::npos);
  const std::size_t start = readme.find("```sh\n", section);
  const std::size_t end = readme.find("```\n", start + 6);
  ASSERT_NE(end, std::string::npos);
  std::vector<std::string> examples;
  for (const std::string& line : Lines(readme.substr(start + 6, end - start - 6))) {
    if (line.rfind("veltrane-host", 0) == 0) examples.push_back(line);
  }
  ASSERT_GE(examples.size(), 5u);
  // The files the examples name.
  Shell("cd '" + dir_ + "' && ln -s '" + VHOST_SAMPLES_DIR + "' samples && mkdir assets && cp '" +
        Sample("cage.obj") + "' model.obj && cp '" + Sample("props.obj") + "' a.obj && cp '" +
        Sample("wires.obj") + "' b.obj && cp samples/*.obj assets/");
  for (const std::string& example : examples) {
    SCOPED_TRACE(example);
    const Outcome run = Sh(example);
    // What a README line promises in its comment: "exit 1 ..." where it says so.
    const bool overBudget = example.find("# exit 1") != std::string::npos;
    EXPECT_EQ(run.status, overBudget ? 1 : 0) << run.err;
    if (!overBudget) {
      EXPECT_EQ(run.err, "");
    }
    if (example.find("> counts.json") != std::string::npos) {
      const Json doc = Json::parse(Read(dir_ + "/counts.json"));
      EXPECT_EQ(doc["models"].size(), 2u);
      EXPECT_EQ(doc["exit_status"], 0);
    } else if (example.find(" > ") == std::string::npos) {
      EXPECT_NE(run.out, "");
    }
  }
}

// The README shows the Linux build's --formats between two marker comments, and
// must show what this build prints. (This suite is built only where assimp is,
// the build whose list the README shows: see tests/CMakeLists.txt.)
TEST_F(Tool, TheReadmeShowsWhatFormatsPrints) {
  const std::string readme = Read(std::string(VELTRANE_SOURCE_DIR) + "/README.md");
  const std::string begin = "<!-- formats: begin -->\n```text\n";
  const std::string end = "```\n<!-- formats: end -->\n";
  const std::size_t from = readme.find(begin);
  ASSERT_NE(from, std::string::npos) << "README.md has no \"" << begin << "\"";
  const std::size_t to = readme.find(end, from + begin.size());
  ASSERT_NE(to, std::string::npos) << "README.md has no \"" << end << "\" after its begin";
  const Outcome run = Start("--formats");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), run.out)
      << "README.md's list of formats is not what `veltrane-host --formats` prints. Put "
         "this output, as it is, between the README's \"```text\" and \"```\" lines inside "
         "its formats markers (or run build/linux/bin/veltrane-host --formats):\n"
      << run.out;
}

TEST_F(Tool, OptionsPersistOnlyInASettingsFileAskedFor) {
  ASSERT_EQ(Persisted("--untick Polygon " + Sample("cage.obj")).status, 0);
  const Outcome second = Persisted(Sample("cage.obj"));
  EXPECT_EQ(second.status, 0);
  EXPECT_NE(second.out.find("[x] Update    [x] All"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("[ ] Polygon"), std::string::npos);
  EXPECT_EQ(second.out.find("  2  ["), std::string::npos);  // rows 2 to 5 hidden
  EXPECT_NE(Read(settings_).find("<polygon>0</polygon>"), std::string::npos);
  // A stored choice is the user's: a file that clears Update counts nothing.
  ASSERT_EQ(Persisted("--untick Update " + Sample("cage.obj")).status, 0);
  const Json doc = Document(Persisted("--json " + Sample("cage.obj")));
  EXPECT_TRUE(doc["models"][0]["current"].is_null()) << doc;
  EXPECT_EQ(doc["models"][0]["options"]["update"], false);
}

TEST_F(Tool, TheUsersSettingsFileOnlyWithItsFlag) {
  const std::string xdg = dir_ + "/xdg";
  ASSERT_EQ(Sh("XDG_CONFIG_HOME='" + xdg + "' veltrane-host --user-settings --untick Visible '" +
               Sample("cage.obj") + "'")
                .status,
            0);
  EXPECT_NE(Read(xdg + "/veltrane/settings.xml").find("<visible>0</visible>"), std::string::npos);
  // The last settings option wins.
  ASSERT_EQ(Start("--settings '" + settings_ + "' --no-settings " + Sample("cage.obj")).status, 0);
  EXPECT_EQ(access(settings_.c_str(), F_OK), -1);
}

TEST_F(Tool, ActionsApplyInCommandLineOrder) {
  const auto freeze = [&](const std::string& args) {
    return Document(
        Start("--json " + args + " " + Sample("cage.obj")))["models"][0]["options"]["freeze"];
  };
  EXPECT_EQ(freeze("--tick Freeze --untick Freeze"), false);
  EXPECT_EQ(freeze("--untick Freeze --tick freeze"), true);
  const Json minimized =
      Document(Start("--json --minimize-all --restore-all --minimize-all " + Sample("cage.obj")));
  EXPECT_EQ(minimized["models"][0]["options"]["all"], false);
  EXPECT_TRUE(minimized["models"][0]["all"].is_null());
}

TEST_F(Tool, IntegersAreDecimalAndInRange) {
  const auto limit = [&](const std::string& value) {
    const Outcome run = Start("--json --max-faces " + value + " " + Sample("cage.obj"));
    return std::make_pair(run.status, run.status == 2 ? Json() : Document(run));
  };
  EXPECT_EQ(limit("010").second["models"][0]["budgets"][0]["limit"], 10);
  EXPECT_EQ(limit("08").second["models"][0]["budgets"][0]["limit"], 8);
  for (const char* bad : {"0x10", "-3", "+4", "1e3", "", "99999999999999999999"}) {
    const Outcome run = Start(std::string("--max-faces '") + bad + "' " + Sample("cage.obj"));
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.out, "") << bad;
  }
  EXPECT_NE(Start("--current 2147483648 x.obj").err.find("from 0 to 2147483647"),
            std::string::npos);
}

TEST_F(Tool, BudgetsFailTheModelsOverThem) {
  const Outcome run = Start("--max-triangles 10 --max-vertices 1000 " + Sample("cage.obj") + " " +
                            Sample("scene.json"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, Sample("scene.json") + ": 40 triangles, over the budget of 10\n");
  EXPECT_EQ(Start("--max-faces 100 " + Sample("cage.obj")).status, 0);
  // And in the JSON: a verdict for every budget of every model.
  const Json doc = Document(
      Start("--json --max-triangles 10 " + Sample("cage.obj") + " " + Sample("scene.json")));
  EXPECT_EQ(doc["exit_status"], 1);
  EXPECT_EQ(doc["models"][0]["budgets"][0]["verdict"], "within");
  EXPECT_EQ(doc["models"][1]["budgets"][0]["verdict"], "over");
  EXPECT_EQ(doc["models"][1]["budgets"][0]["value"], 40);
}

TEST_F(Tool, ABudgetItCannotCheckIsAnError) {
  Outcome run = Start("--untick All --max-faces 100 " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, Sample("cage.obj") +
                         ": the budget of 100 faces (--max-faces) cannot be checked: All is "
                         "clear: the objects were not summed\n");
  run = Start("--untick Triangle --max-object-triangles 100 " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("Triangle is clear"), std::string::npos) << run.err;
}

TEST_F(Tool, PerObjectRowsComeFromThePlugin) {
  const Outcome run = Start("--objects --tick Freeze " + Sample("scene.json"));
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectGolden("scene_objects.txt", Relative(run.out));
  const Json doc = Document(Start("--json --objects --tick Freeze " + Sample("scene.json")));
  const Json& model = doc["models"][0];
  // The rows add up to the all-objects counts, hidden objects aside.
  int64_t vertices = 0;
  for (const Json& row : model["objects"]) {
    if (row["visible"] == true) vertices += row["counts"]["vertices"].get<int64_t>();
  }
  EXPECT_EQ(vertices, model["all"]["vertices"]);
  EXPECT_EQ(model["objects"][3]["name"], "lid");
  EXPECT_EQ(model["objects"][3]["visible"], false);
  // The pass leaves the user's options as they were.
  EXPECT_EQ(model["options"]["all"], true);
}

TEST_F(Tool, PerObjectBudgetsNameEachObjectOver) {
  const Outcome run = Start("--max-object-vertices 20 --tick Freeze " + Sample("scene.json"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, Sample("scene.json") + ": object vase: 65 vertices, over the budget of 20\n");
  const Json doc =
      Document(Start("--json --max-object-vertices 20 --tick Freeze " + Sample("scene.json")));
  const Json& verdicts = doc["models"][0]["budgets"];
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_EQ(verdicts[0]["object"], 1);
  EXPECT_EQ(doc["models"][0]["objects"][1]["over_budget"][0], "max-object-vertices");
}

TEST_F(Tool, BadModelsAreNamedAndTheOthersStillCounted) {
  const std::string junk = File("junk.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nbogus line\n");
  const std::string range = File("range.obj", "v 0 0 0\nf 1 2 3\n");
  const std::string scene = File("broken.json", "{\n  \"format\": \"veltrane-scene\",\n  oops\n}");
  const Outcome run = Persisted("--json " + junk + " " + Sample("cage.obj") + " " + range + " " +
                                scene + " " + dir_ + "/missing.obj");
  EXPECT_EQ(run.status, 2);
  // One line per fault, each starting with the file's name (and line).
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 4u) << run.err;
  EXPECT_EQ(lines[0].rfind(junk + ":5:", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind(range + ":2:", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind(scene + ":3:", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3].rfind(dir_ + "/missing.obj: ", 0), 0u) << lines[3];
  // The good model in the middle is counted; the others are entries with their error.
  const Json doc = Document(run);
  EXPECT_EQ(doc["exit_status"], 2);
  ASSERT_EQ(doc["models"].size(), 5u);
  EXPECT_EQ(doc["models"][1]["all"]["vertices"], 6);
  EXPECT_EQ(doc["models"][0]["error"], lines[0]);
  EXPECT_TRUE(doc["models"][0]["all"].is_null());
  // And the settings file holds a whole tree.
  EXPECT_NE(Read(settings_).find("<update>1</update>"), std::string::npos);
}

// Files of other tools, read through assimp: one cut short among good ones.
TEST_F(Tool, ABrokenModelOfAnotherToolIsNamedAndTheOthersStillCounted) {
  const std::string models = "/usr/share/assimp/models/";
  const std::string cube = models + "PLY/cube.ply";             // 8 vertices, 6 quads
  const std::string spider = models + "STL/Spider_binary.stl";  // 722 positions, 1368 facets
  const std::string glb = Read(models + "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb");
  ASSERT_FALSE(glb.empty());
  const std::string cut = File("cut.glb", glb.substr(0, glb.size() / 2));

  const Outcome text = Start(cube + " " + cut + " " + spider);
  EXPECT_EQ(text.status, 2);
  const std::vector<std::string> lines = Lines(text.err);
  ASSERT_EQ(lines.size(), 1u) << text.err;
  EXPECT_EQ(lines[0].rfind(cut + ": ", 0), 0u) << lines[0];
  EXPECT_NE(text.out.find("|   V  [         8]"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("|   V  [       722]"), std::string::npos) << text.out;

  // Nothing assimp says gets into the JSON document.
  const Outcome json = Start("--json " + cube + " " + cut + " " + spider);
  EXPECT_EQ(json.status, 2);
  EXPECT_EQ(Lines(json.err), lines);
  const Json doc = Document(json);
  EXPECT_EQ(doc["exit_status"], 2);
  ASSERT_EQ(doc["models"].size(), 3u);
  EXPECT_EQ(doc["models"][0]["all"]["vertices"], 8);
  EXPECT_EQ(doc["models"][0]["all"]["quads"], 6);
  EXPECT_EQ(doc["models"][1]["error"], lines[0]);
  EXPECT_TRUE(doc["models"][1]["all"].is_null());
  EXPECT_EQ(doc["models"][2]["all"]["vertices"], 722);
  EXPECT_EQ(doc["models"][2]["all"]["triangles"], 1368);
}

// A file one of assimp's readers crashes on (a binary COB cut short aborts
// inside assimp): the run says which and still writes its whole report.
TEST_F(Tool, AModelAssimpCrashesOnIsNamedAndTheReportStillWritten) {
  const std::string models = "/usr/share/assimp/models/";
  const std::string cube = models + "PLY/cube.ply";
  const std::string cob = Read(models + "COB/molecule.cob");
  ASSERT_FALSE(cob.empty());
  const std::string cut = File("cut.cob", cob.substr(0, 1000));

  const Outcome json = Start("--json " + cut + " " + cube);
  EXPECT_EQ(json.status, 2);
  const std::vector<std::string> lines = Lines(json.err);
  ASSERT_EQ(lines.size(), 1u) << json.err;
  EXPECT_EQ(lines[0], cut + ": assimp's importer crashed on it (Aborted)");
  const Json doc = Document(json);
  EXPECT_EQ(doc["exit_status"], 2);
  ASSERT_EQ(doc["models"].size(), 2u);
  EXPECT_EQ(doc["models"][0]["error"], lines[0]);
  EXPECT_TRUE(doc["models"][0]["all"].is_null());
  EXPECT_EQ(doc["models"][1]["all"]["vertices"], 8);
}

// assimp's OpenGEX reader spins for ever on a cut file: the import is stopped
// at the limit given, the file named, and the run goes on to its report.
TEST_F(Tool, AnImportThatDoesNotEndIsStoppedAtTheLimitGiven) {
  const std::string spins = File("cut.ogex", "Mesh {\n\nV");
  const Outcome json = Start("--json --import-timeout 1 " + spins + " " + Sample("cage.obj"));
  EXPECT_EQ(json.status, 2);
  const std::string error =
      spins + ": assimp's importer did not finish in 1 s (--import-timeout sets the limit)";
  EXPECT_EQ(Lines(json.err), std::vector<std::string>{error});
  const Json doc = Document(json);
  EXPECT_EQ(doc["models"][0]["error"], error);
  EXPECT_EQ(doc["models"][1]["all"]["vertices"], 6);
}

TEST_F(Tool, JsonStaysValidWhateverTheNamesHold) {
  // A PNG renamed .obj, under a name that is not UTF-8 and holds a newline.
  const std::string png = File("pic\xff\n.obj", "\x89PNG\r\n\x1a\n\xc3\x28\xa0\xa1 junk");
  const std::string bad = File("bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 \xe9\n");
  const Outcome run = Start("--json '" + png + "' " + bad + " " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  const Json doc = Document(run);
  ASSERT_EQ(doc["models"].size(), 3u);
  EXPECT_TRUE(doc["models"][0]["error"].is_string());
  EXPECT_TRUE(doc["models"][1]["error"].is_string());
  EXPECT_EQ(doc["models"][2]["all"]["vertices"], 6);
  // Every error stays one line, the newline of the name written as \u000a.
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 2u) << run.err;
  EXPECT_NE(lines[0].find("pic\xff\\u000a.obj"), std::string::npos) << lines[0];
}

TEST_F(Tool, AFailedWriteIsAnError) {
  Outcome run = Start(Sample("cage.obj") + " > /dev/full");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("cannot write the report"), std::string::npos) << run.err;
  run = Start("--json " + Sample("cage.obj") + " > /dev/full");
  EXPECT_EQ(run.status, 2);
}

TEST_F(Tool, ClosingTheWindowIsRemembered) {
  ASSERT_EQ(Persisted("--close " + Sample("cage.obj")).status, 0);
  EXPECT_NE(Read(settings_).find("<Veltrane_activate>0</Veltrane_activate>"), std::string::npos);
}

TEST_F(Tool, UsageErrorsExitWithTwo) {
  Outcome run = Start("--tick Sideways x.obj");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  // With --json, the error is a JSON document too.
  run = Start("--json --max-faces -3 x.obj");
  EXPECT_EQ(run.status, 2);
  const Json doc = Document(run);
  EXPECT_EQ(doc["exit_status"], 2);
  EXPECT_TRUE(doc["error"].is_string());
  const Outcome help = Start("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status:"), std::string::npos);
}

// --reader assimp reads glTF as the tool did before it had its own reader, to
// compare the two: the same report; a reader it does not know is a usage error.
TEST_F(Tool, TheReadersGiveTheSameReportOnTheSample) {
  const Outcome own = Start("--json --objects " + Sample("crates.glb"));
  const Outcome assimp = Start("--json --objects --reader assimp " + Sample("crates.glb"));
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_EQ(own.out, assimp.out);
  EXPECT_EQ(Document(own)["models"][0]["objects"][1]["name"], "crate.001/crate");
  EXPECT_EQ(Document(own)["models"][0]["all"]["vertices"], 48);
  const Outcome unknown = Start("--reader fast " + Sample("crates.glb"));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--reader: 'fast' is neither 'own' nor 'assimp'"), std::string::npos)
      << unknown.err;
}

// Files a real tool writes: Debian's gltfpack, quantized (KHR_mesh_quantization)
// and compressed (EXT_meshopt_compression), counts as the sample it came from.
TEST_F(Tool, GltfpackOutputCountsAsItsSource) {
  for (const char* options : {"-noq", "", "-cc"}) {
    SCOPED_TRACE(options);
    ASSERT_EQ(Shell("gltfpack -i '" + Sample("crates.glb") + "' -o '" + dir_ + "/packed.glb' " +
                    options + " >/dev/null"),
              0);
    const Outcome run = Start("--json " + dir_ + "/packed.glb");
    ASSERT_EQ(run.status, 0) << run.err;
    const Json all = Document(run)["models"][0]["all"];
    EXPECT_EQ(all["vertices"], 48);
    EXPECT_EQ(all["triangles"], 24);
  }
}

// No MODEL walks the current folder; a walk that finds nothing counted nothing,
// and saying all is well would pass any budget. --identify alone still has its
// answer to give.
TEST_F(Tool, NoModelWalksTheCurrentFolderAndNothingFoundIsAnError) {
  Outcome run = Start("--max-triangles 10");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            ".: no model file below it: none with an extension --formats lists; hidden files "
            "skipped (--hidden takes them)\n");
  run = Start("--json --settings '" + settings_ + "'");
  EXPECT_EQ(run.status, 2);
  const Json doc = Document(run);
  EXPECT_EQ(doc["exit_status"], 2);
  EXPECT_EQ(doc["models"][0]["file"], ".");
  EXPECT_NE(doc["models"][0]["error"].get<std::string>().find("no model file"), std::string::npos);
  run = Start("--identify");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("identity "), std::string::npos) << run.out;
  Shell("cp '" + Sample("cage.obj") + "' '" + dir_ + "/cage.obj'");
  run = Start("--files");
  EXPECT_EQ(run.out, "cage.obj\n");
  EXPECT_EQ(run.status, 0) << run.err;
  // What --files prints is a list, never JSON: asking for both is a usage error.
  run = Start("--files --json");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Document(run)["exit_status"], 2);
}

// "-" is standard input, read as OBJ and named "<stdin>" in messages; the JSON
// keeps the name as given.
TEST_F(Tool, StandardInputIsAModelNamedStdin) {
  const std::string cage = Sample("cage.obj");
  Outcome run = Sh("veltrane-host --json - < '" + cage + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  Json doc = Document(run);
  EXPECT_EQ(doc["models"][0]["file"], "-");
  EXPECT_EQ(doc["models"][0]["all"]["vertices"], 6);
  run = Sh("veltrane-host - < '" + cage + "'");
  EXPECT_EQ(run.out.rfind("<stdin>\n+- Veltrane", 0), 0u) << run.out;
  File("bad", "v 0 0 0\nbogus\n");
  run = Sh("veltrane-host --json - '" + cage + "' < bad");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "<stdin>:2: unknown statement 'bogus'\n");
  doc = Document(run);
  EXPECT_EQ(doc["models"][0]["error"], "<stdin>:2: unknown statement 'bogus'");
  EXPECT_EQ(doc["models"][1]["all"]["vertices"], 6);
  // A second "-" would read nothing and count an empty model.
  run = Sh("veltrane-host - - < '" + cage + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("more than once"), std::string::npos) << run.err;
}

// A folder is walked: the files below it that a reader takes (only scenes among
// .json files), by path sorted bytewise, hidden ones and what git ignores left
// out unless asked for; links to files followed, links to folders not.
TEST_F(Tool, AFolderGivesTheModelFilesBelowItSorted) {
  const std::string samples = VHOST_SAMPLES_DIR;
  ASSERT_EQ(Shell("cd '" + dir_ + "' && S='" + samples +
                  "' && mkdir -p m/sub m/.hidden m/ignored m/empty && git init -q m && "
                  "for f in b.obj A.obj sub/c.OBJ .hidden/h.obj .h.obj ignored/i.obj "
                  "excluded.obj; do cp \"$S/cage.obj\" m/$f || exit 1; done && "
                  "cp \"$S\"/*.obj \"$S/scene.json\" m/sub/ && "
                  "cp /usr/share/assimp/models/PLY/cube.ply m/sub/ && "
                  "cp /usr/share/assimp/models/STL/triangle.stl m/Tri.STL && "
                  "echo '<settings/>' > m/settings.xml && "
                  "echo '{\"name\": \"a package\"}' > m/package.json && echo x > m/notes.txt && "
                  "echo 'v 0 0 0' > m/noext && echo 'ignored/' > m/.gitignore && "
                  "echo excluded.obj >> m/.git/info/exclude && "
                  "ln -s sub/c.OBJ m/link.obj && ln -s .. m/sub/loop"),
            0);
  const std::vector<std::string> taken = {"m/A.obj",
                                          "m/Tri.STL",
                                          "m/b.obj",
                                          "m/link.obj",
                                          "m/sub/c.OBJ",
                                          "m/sub/cage.obj",
                                          "m/sub/cube.ply",
                                          "m/sub/cup_half.obj",
                                          "m/sub/props.obj",
                                          "m/sub/scene.json",
                                          "m/sub/vase_profile.obj",
                                          "m/sub/wires.obj"};
  Outcome run = Start("--files m");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out), taken);
  run = Start("--files --hidden --no-ignore m/");
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{"m/.h.obj", "m/.hidden/h.obj", "m/A.obj", "m/Tri.STL",
                                      "m/b.obj", "m/excluded.obj", "m/ignored/i.obj", "m/link.obj",
                                      "m/sub/c.OBJ", "m/sub/cage.obj", "m/sub/cube.ply",
                                      "m/sub/cup_half.obj", "m/sub/props.obj", "m/sub/scene.json",
                                      "m/sub/vase_profile.obj", "m/sub/wires.obj"}));
  // Patterns from the folder walked; the last one matching a file decides.
  run = Start(
      "--files --exclude 'sub/**' --include sub/c.OBJ --include '*.obj' --exclude '[ab].obj' m");
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{"m/A.obj", "m/link.obj", "m/sub/c.OBJ", "m/sub/cage.obj",
                                      "m/sub/cup_half.obj", "m/sub/props.obj",
                                      "m/sub/vase_profile.obj", "m/sub/wires.obj"}));
  run = Start("--files --include '*.glb' m");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--include and --exclude applied"), std::string::npos) << run.err;
  run = Start("--json --include '[ab' m");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Document(run)["error"], "--include: pattern \"[ab\" opens a set '[' it does not close");
  // Inside the tree, the rules still apply; the current folder's paths have no prefix.
  run = Sh("sh -c 'cd m/sub && exec veltrane-host --files'");
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{"c.OBJ", "cage.obj", "cube.ply", "cup_half.obj", "props.obj",
                                      "scene.json", "vase_profile.obj", "wires.obj"}));
  // Every model counted, in the walk's order; a file named is taken as it is.
  run = Start("--json m m/notes.txt m/empty");
  EXPECT_EQ(run.status, 2);
  const Json doc = Document(run);
  ASSERT_EQ(doc["models"].size(), taken.size() + 2);
  for (std::size_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(doc["models"][i]["file"], taken[i]);
    EXPECT_TRUE(doc["models"][i]["error"].is_null()) << doc["models"][i];
  }
  EXPECT_EQ(doc["models"][0]["all"]["vertices"], 6);
  EXPECT_NE(doc["models"][taken.size()]["error"].get<std::string>().find("m/notes.txt: "),
            std::string::npos);
  EXPECT_EQ(doc["models"][taken.size() + 1]["error"],
            "m/empty: no model file below it: none with an extension --formats lists; hidden "
            "files skipped (--hidden takes them), files git ignores skipped (--no-ignore takes "
            "them)");
}

// A folder the walk cannot read (here: one whose path is longer than the
// system takes, which holds even for root) is an error in its place, and the
// walk goes on.
TEST_F(Tool, AFolderThatCannotBeReadIsAnErrorAndTheWalkGoesOn) {
  ASSERT_EQ(Shell("cd '" + dir_ + "' && mkdir m && cp '" + Sample("cage.obj") + "' m/z.obj"), 0);
  // Made a step at a time from an open folder: no path this long can be named whole.
  int folder = open((dir_ + "/m").c_str(), O_RDONLY | O_DIRECTORY);
  const std::string step(200, 'd');
  for (int i = 0; i < 24 && folder >= 0; ++i) {
    ASSERT_EQ(mkdirat(folder, step.c_str(), 0700), 0);
    const int below = openat(folder, step.c_str(), O_RDONLY | O_DIRECTORY);
    close(folder);
    folder = below;
  }
  ASSERT_GE(folder, 0);
  close(folder);
  const Outcome run = Start("--files m");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "m/z.obj\n");
  EXPECT_NE(run.err.find(": cannot read: File name too long"), std::string::npos) << run.err;
}

// A policy in the repository sets each model's budgets by its path: the last
// table matching wins, warnings never fail, a waiver lets a model exceed what
// it names, and the command line overrides the policy for every model.
TEST_F(Tool, APolicyFileSetsTheBudgetsOfEachModelByItsPath) {
  const std::string cage = Sample("cage.obj");
  ASSERT_EQ(Shell("cd '" + dir_ +
                  "' && mkdir -p repo/chars repo/props/keep && git init -q repo && "
                  "cp '" +
                  cage + "' repo/chars/ && cp '" + cage + "' repo/props/ && cp '" + cage +
                  "' repo/props/keep/ && cp '" + Sample("props.obj") + "' repo/props/"),
            0);
  File("repo/veltrane.toml",
       "[defaults]\nmax-triangles = 100\n[[budget]]\npaths = [\"props/**\"]\n"
       "max-triangles = 5\nwarn-vertices = 10\n[[budget]]\npaths = [\"props/keep/**\"]\n"
       "max-triangles = 7\n[[waiver]]\npaths = [\"props/keep/cage.obj\"]\n"
       "budgets = [\"max-triangles\"]\nreason = \"approved\"\n");
  Outcome run = Sh("sh -c 'cd repo && exec veltrane-host --json'");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Lines(run.err),
            (std::vector<std::string>{
                "veltrane-host: budgets from veltrane.toml",
                "props/cage.obj: 8 triangles, over the budget of 5 (veltrane.toml:5)",
                "props/keep/cage.obj: 8 triangles, over the budget of 7 (veltrane.toml:9), waived "
                "(veltrane.toml:10): approved",
                "props/props.obj: 12 triangles, over the budget of 5 (veltrane.toml:5)",
                "props/props.obj: 15 vertices, over the warning level of 10 (veltrane.toml:6)"}));
  const Json doc = Document(run);
  ASSERT_EQ(doc["models"].size(), 4u);
  const auto verdicts = [&](std::size_t model) {
    std::vector<std::string> lines;
    for (const Json& v : doc["models"][model]["budgets"]) {
      lines.push_back(v["budget"].get<std::string>() + " " + v["verdict"].get<std::string>() + " " +
                      v["rule"].get<std::string>() +
                      (v["waiver"].is_null() ? "" : " " + v["waiver"].get<std::string>()));
    }
    return lines;
  };
  EXPECT_EQ(verdicts(0), std::vector<std::string>{"max-triangles within veltrane.toml:2"});
  EXPECT_EQ(verdicts(1), (std::vector<std::string>{"max-triangles over veltrane.toml:5",
                                                   "warn-vertices within veltrane.toml:6"}));
  EXPECT_EQ(verdicts(2),
            (std::vector<std::string>{"max-triangles waived veltrane.toml:9 veltrane.toml:10",
                                      "warn-vertices within veltrane.toml:6"}));
  EXPECT_EQ(doc["models"][2]["budgets"][0]["reason"], "approved");
  EXPECT_EQ(verdicts(3), (std::vector<std::string>{"max-triangles over veltrane.toml:5",
                                                   "warn-vertices warning veltrane.toml:6"}));
  // The command line overrides the policy for every model; warnings still speak.
  run = Sh("sh -c 'cd repo && exec veltrane-host --max-triangles 1000 props'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.err).back(),
            "props/props.obj: 15 vertices, over the warning level of 10 (veltrane.toml:6)");
  // From a folder below, the policy is found above and paths stay the policy's.
  run = Sh("sh -c 'cd repo/props && exec veltrane-host cage.obj'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Lines(run.err),
            (std::vector<std::string>{
                "veltrane-host: budgets from ../veltrane.toml",
                "cage.obj: 8 triangles, over the budget of 5 (../veltrane.toml:5)"}));
  run = Sh("sh -c 'cd repo && exec veltrane-host --no-policy props'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

// The policy docs/ci/ shows is one the tool reads, and it gates a tree as its
// comments say.
TEST_F(Tool, TheDocumentedPolicyIsValidAndGates) {
  const std::string policy = std::string(VELTRANE_SOURCE_DIR) + "/docs/ci/veltrane.toml";
  ASSERT_EQ(
      Shell("cd '" + dir_ + "' && mkdir -p characters props/hero && cp '" + policy + "' . && cp '" +
            Sample("cage.obj") + "' characters/boss.glb.obj && cp '" + Sample("props.obj") +
            "' props/crate_lod1.obj && cp '" + Sample("cage.obj") + "' props/hero/"),
      0);
  const Outcome run = Start("--json");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.err).front(), "veltrane-host: budgets from veltrane.toml");
  const Json doc = Document(run);
  ASSERT_EQ(doc["models"].size(), 3u);
  EXPECT_EQ(doc["models"][1]["file"], "props/crate_lod1.obj");
  // The last matching table wins: the level of detail's budget, not the props'.
  EXPECT_EQ(doc["models"][1]["budgets"][0]["limit"], 2500);
  EXPECT_EQ(doc["models"][1]["budgets"][0]["rule"], "veltrane.toml:27");
}

// The CI jobs docs/ci/ shows run veltrane-host as written: each command line
// in them, run on a tree of models under the documented policy, passes and
// leaves the JUnit report the job publishes, valid against the schema.
TEST_F(Tool, TheDocumentedCiJobsRunAsWritten) {
  const std::string docs = std::string(VELTRANE_SOURCE_DIR) + "/docs/ci/";
  ASSERT_EQ(Shell("cd '" + dir_ + "' && mkdir assets && cp '" + docs + "veltrane.toml' . && cp '" +
                  std::string(VHOST_SAMPLES_DIR) + "'/*.obj assets/"),
            0);
  int jobs = 0;
  for (const char* job : {"github-actions.yml", "gitlab-ci.yml"}) {
    std::istringstream text(Read(docs + job));
    for (std::string line; std::getline(text, line);) {
      const std::string tool = "/bin/veltrane-host ";
      const std::size_t at = line.find(tool);
      if (at == std::string::npos) continue;
      SCOPED_TRACE(std::string(job) + ": " + line);
      ++jobs;
      Shell("rm -f '" + dir_ + "/veltrane-junit.xml'");
      const Outcome run = Start(line.substr(at + tool.size()));
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(Shell("xmllint --noout --schema '" + std::string(VELTRANE_SOURCE_DIR) +
                      "/tests/host/tool/junit-10.xsd' '" + dir_ + "/veltrane-junit.xml'"),
                0);
    }
  }
  EXPECT_EQ(jobs, 2);
}

// The sharded CI example: each shard's command for shards 1 to 3 as the
// matrix gives them, then the merge, make the report one run over the tree
// makes, beside the same baseline.
TEST_F(Tool, TheDocumentedShardedCiJobsMakeTheWholeRunsReport) {
  const std::string docs = std::string(VELTRANE_SOURCE_DIR) + "/docs/ci/";
  ASSERT_EQ(Shell("cd '" + dir_ + "' && mkdir assets && cp '" + docs + "veltrane.toml' . && cp '" +
                  std::string(VHOST_SAMPLES_DIR) + "'/*.obj assets/"),
            0);
  // The main branch's last report, with a model deleted since.
  ASSERT_EQ(Sh("veltrane-host --json assets/ > main.json").status, 0);
  Shell("rm '" + dir_ + "/assets/cage.obj'");
  std::istringstream text(Read(docs + "github-actions-shards.yml"));
  int commands = 0;
  for (std::string line; std::getline(text, line);) {
    const std::string tool = "/bin/veltrane-host ";
    const std::size_t at = line.find(tool);
    if (at == std::string::npos) continue;
    std::string command = line.substr(at + tool.size());
    SCOPED_TRACE(command);
    const std::string matrix = "${{ matrix.shard }}";
    const bool perShard = command.find(matrix) != std::string::npos;
    for (int shard = 1; shard <= (perShard ? 3 : 1); ++shard) {
      std::string run = command;
      for (std::size_t m; (m = run.find(matrix)) != std::string::npos;) {
        run.replace(m, matrix.size(), std::to_string(shard));
      }
      ++commands;
      EXPECT_EQ(Sh("veltrane-host " + run).status, 0);
    }
  }
  EXPECT_EQ(commands, 4);
  const Outcome whole = Start("--json --baseline main.json --max-growth 10 assets/");
  EXPECT_EQ(Read(dir_ + "/veltrane.json"), whole.out);
  const Json report = Document(whole);
  EXPECT_EQ(report["baseline"]["removed"], Json::parse(R"(["assets/cage.obj"])"));
  EXPECT_EQ(Shell("xmllint --noout --schema '" + std::string(VELTRANE_SOURCE_DIR) +
                  "/tests/host/tool/junit-10.xsd' '" + dir_ + "/veltrane-junit.xml'"),
            0);
}

// A policy that is not valid stops the run before anything is counted.
TEST_F(Tool, APolicyThatIsNotValidIsAnErrorNamingItsPlace) {
  File("bad.toml", "[defaults]\nmax-faces = -1\n");
  Outcome run = Start("--policy bad.toml " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "veltrane-host: bad.toml:2:13: max-faces must not be negative\n");
  run = Start("--json --policy bad.toml " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  const Json doc = Document(run);
  EXPECT_EQ(doc["error"], "bad.toml:2:13: max-faces must not be negative");
  EXPECT_TRUE(doc["models"].empty());
  run = Start("--policy missing.toml " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "veltrane-host: missing.toml: cannot open: No such file or directory\n");
}

// A library that cannot be loaded says why, in the loader's words; and a name
// without a folder is the file in the working directory, never one the loader
// finds in its search path (the plug-in beside the tool).
TEST_F(Tool, APluginThatCannotBeLoadedSaysWhy) {
  File("Veltrane.so", "not a library\n");
  const struct {
    std::string plugin;
    std::string reason;  // the loader's words
  } cases[] = {
      {dir_ + "/none.so", "cannot open shared object file: No such file or directory"},
      {"Veltrane.so", "file too short"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plugin);
    const Outcome run = Start("--json --plugin " + c.plugin + " " + Sample("cage.obj"));
    EXPECT_EQ(run.status, 2);
    const std::string error = c.plugin + ": cannot load the plug-in library: " + c.reason;
    EXPECT_EQ(run.err, "veltrane-host: " + error + "\n");
    EXPECT_EQ(Document(run)["error"], error);
  }
}

TEST_F(Tool, AMissingPluginIsAJsonErrorForEveryModel) {
  const Outcome run = Start("--json --plugin " + dir_ + "/none.so " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  const Json doc = Document(run);
  EXPECT_TRUE(doc["error"].is_string());
  ASSERT_EQ(doc["models"].size(), 1u);
  EXPECT_NE(doc["models"][0]["error"].get<std::string>().find("not counted"), std::string::npos);
}

TEST_F(Tool, ASettingsFileThatIsNoFileStartsEmptyAndCounts) {
  Shell("mkfifo '" + dir_ + "/fifo' && mkdir '" + dir_ + "/dir'");
  for (const std::string& path : {std::string("/dev/null"), dir_ + "/fifo", dir_ + "/dir"}) {
    SCOPED_TRACE(path);
    const Outcome run = Start("--json --settings '" + path + "' " + Sample("cage.obj"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("empty settings"), std::string::npos) << run.err;
    EXPECT_EQ(Document(run)["models"][0]["all"]["vertices"], 6);
  }
  struct stat status {};
  ASSERT_EQ(stat("/dev/null", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));  // not saved over
}

// Settings that cannot be saved fail the run after every model was counted: the
// JSON's own error says why, as stderr does.
TEST_F(Tool, SettingsThatCannotBeSavedAreTheRunsError) {
  const std::string nowhere = dir_ + "/missing/settings.xml";
  const Outcome run = Start("--json --settings '" + nowhere + "' " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  const std::string reason =
      "cannot write settings file " + nowhere + " (No such file or directory)";
  EXPECT_EQ(run.err, "veltrane-host: " + reason + "\n");
  const Json doc = Document(run);
  EXPECT_EQ(doc["exit_status"], 2);
  EXPECT_EQ(doc["error"], reason);
  EXPECT_TRUE(doc["models"][0]["error"].is_null());
  EXPECT_EQ(doc["models"][0]["all"]["vertices"], 6);
}

// A hand-edited or merged settings file holding a key twice: the value the
// plug-in reads on the first run stays, run after run.
TEST_F(Tool, AKeyStoredTwiceKeepsItsFirstValue) {
  File("settings.xml", std::string("<settings><pluginsettings><") + kSection +
                           "><update>1</update><all>1</all><update>0</update></" + kSection +
                           "></pluginsettings></settings>");
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Outcome run = Persisted("--json " + Sample("cage.obj"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Document(run)["models"][0]["options"]["update"], true);
    EXPECT_EQ(run.err.find("\"update\" is stored 2 times") != std::string::npos, i == 0) << run.err;
  }
  const std::string saved = Read(settings_);
  EXPECT_EQ(saved.find("<update>"), saved.rfind("<update>")) << saved;
}

// A run stopped while a model loads (here: waiting for a FIFO that nobody
// writes) takes its lock file with it and leaves the settings file as it was.
TEST_F(Tool, AStoppedRunRemovesItsLockAndKeepsTheSettings) {
  ASSERT_EQ(Persisted(Sample("cage.obj")).status, 0);
  const std::string before = Read(settings_);
  const std::string fifo = dir_ + "/slow.obj";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string lock = settings_ + ".lock";
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      // As a shell starts a foreground job: the signals at their defaults.
      std::signal(signal, SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
      execl(VELTRANE_HOST_TOOL, "veltrane-host", "--settings", settings_.c_str(), fifo.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (access(lock.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(access(lock.c_str(), F_OK), 0) << "the run took no lock";
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(access(lock.c_str(), F_OK), -1) << "the lock file was left behind";
    EXPECT_EQ(Read(settings_), before);
  }
}

// A frozen copy the host cannot make is an error for its model, never a count of
// the unfrozen object; OpenSubdiv's own words stay off stdout.
TEST_F(Tool, AFrozenCopyThatCannotBeMadeIsAnError) {
  std::string obj = "o ring\n";
  for (int i = 0; i < 65536; ++i) obj += "v " + std::to_string(i) + " 0 0\n";
  obj += "f";
  for (int i = 1; i <= 65536; ++i) obj += " " + std::to_string(i);
  File("ring.obj", obj + "\n");
  File("ring.json",
       R"({"format": "veltrane-scene", "version": 1, "objects": [
            {"file": "ring.obj", "patch": {"type": "on", "segments": 1}}]})");
  const std::string scene = dir_ + "/ring.json";
  Outcome run = Start("--tick Freeze " + scene + " " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind(scene + ": object ring: the frozen copy could not be made: ", 0), 0u)
      << run.err;
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_EQ(run.out.find(scene), std::string::npos) << run.out;  // no picture of it
  EXPECT_EQ(run.out.find("Error"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("cage.obj"), std::string::npos);  // the others still counted
  run = Start("--json --tick Freeze " + scene);
  const Json doc = Document(run);
  EXPECT_EQ(doc["exit_status"], 2);
  EXPECT_TRUE(doc["models"][0]["all"].is_null());
  EXPECT_NE(doc["models"][0]["error"].get<std::string>().find("frozen copy"), std::string::npos);
  // Without Freeze the object itself is counted, exactly.
  EXPECT_EQ(Start("--max-object-vertices 65536 " + scene).status, 0);
}

// On a terminal a large file shows a progress bar; a message clears it first and
// so starts a line of its own.
TEST_F(Tool, AMessageClearsTheProgressBarFirst) {
  if (Shell("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to make a terminal";
  std::string text;
  for (int i = 0; i < 1200000; ++i) text += "v 0 0 0\n";
  const std::string big = File("big.obj", text + "bogus\n");
  // script(1) gives the tool a terminal and passes on what it writes there.
  const Outcome run = Sh("script -qec \"veltrane-host '" + big + "'\" /dev/null");
  const std::size_t error = run.out.find(big + ":1200001: unknown statement");
  ASSERT_NE(error, std::string::npos) << run.out;
  ASSERT_NE(run.out.find("loading "), std::string::npos) << "no progress bar was shown";
  EXPECT_EQ(run.out.substr(error - 4, 4), "\r\033[K") << run.out.substr(0, error);
}

// --jsonl: each model's line is its object in --json's "models", with any
// number of workers, and the last line sums the run up.
TEST_F(Tool, JsonLinesHoldTheDocumentsModelsAndASummary) {
  File("bad.obj", "bogus\n");
  const std::string models = Sample("cage.obj") + " bad.obj " + Sample("scene.json") + " " +
                             Sample("crates.glb") + " --no-policy --max-triangles 20";
  const Json document = Document(Start("--json " + models));
  for (const char* jobs : {"1", "3"}) {
    SCOPED_TRACE(jobs);
    const Outcome run = Start(std::string("--jsonl -j ") + jobs + " " + models);
    EXPECT_EQ(run.status, 2);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u) << run.out;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(Json::parse(lines[i]), document["models"][i]);
    EXPECT_EQ(Json::parse(lines[4]),
              Json::parse(R"({"schema":"veltrane-host/1","exit_status":2,"error":null,"models":4,)"
                          R"("counted":3,"not_counted":1,"totals":{"vertices":101,"total":72,)"
                          R"("lines":9,"triangles":28,"quads":14,"ngons":2},"verdicts":)"
                          R"({"within":1,"over":2,"unchecked":0,"warning":0,"waived":0}})"));
  }
  // A usage error is still a summary line.
  const Outcome usage = Start("--jsonl --json x.obj");
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(Json::parse(usage.out)["error"], "--json excludes --jsonl");
}

// The first line is written while a later model is still being read (here:
// a FIFO nobody has written yet).
TEST_F(Tool, JsonLinesArriveAsModelsAreDone) {
  const std::string fifo = dir_ + "/slow.obj";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(ends[1], 1);
    close(ends[0]);
    if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    const std::string cage = Sample("cage.obj");
    execl(VELTRANE_HOST_TOOL, "veltrane-host", "--no-policy", "--jsonl", "-j", "1", cage.c_str(),
          fifo.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  close(ends[1]);
  std::string first;
  for (char c = 0; c != '\n' && read(ends[0], &c, 1) == 1;) first += c;
  // Only now is the FIFO given its (empty) content: the tool was still waiting on it.
  const int writer = open(fifo.c_str(), O_WRONLY);
  close(writer);
  std::string rest;
  char buffer[4096];
  for (ssize_t n = 0; (n = read(ends[0], buffer, sizeof buffer)) > 0;) rest.append(buffer, n);
  close(ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(Json::parse(first)["file"], Sample("cage.obj"));
  EXPECT_EQ(Lines(rest).size(), 2u) << rest;
}

// A strip of `quads` quads: 2 × quads triangles, 2 × quads + 2 vertices.
std::string Strip(int quads) {
  std::string obj = "o strip\n";
  for (int i = 0; i <= quads; ++i)
    obj += "v " + std::to_string(i) + " 0 0\nv " + std::to_string(i) + " 1 0\n";
  for (int i = 0; i < quads; ++i) {
    const int a = 2 * i + 1;
    obj += "f " + std::to_string(a) + " " + std::to_string(a + 2) + " " + std::to_string(a + 3) +
           " " + std::to_string(a + 1) + "\n";
  }
  return obj;
}

// A small file of any format takes little memory: a reader that sized a
// buffer by a limit rather than by the file (a PLY file's trailing bytes were
// looked for 64 MiB deep) took 80 MB and 40 ms for 8 KB.
TEST_F(Tool, ASmallFileOfAnyFormatTakesLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' shadow memory is most of a small run's peak";
#endif
  const std::string obj = Strip(4);
  File("small.obj", obj);
  std::string ply =
      "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
      "property float y\nproperty float z\nelement face 1\n"
      "property list uchar int vertex_indices\nend_header\n";
  for (const float value : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) {
    ply.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  ply += '\3';
  for (const int32_t index : {0, 1, 2}) ply.append(reinterpret_cast<const char*>(&index), 4);
  File("small.ply", ply);
  File("small.stl",
       "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
       "vertex 0 1 0\nendloop\nendfacet\nendsolid s\n");
  for (const char* name : {"small.obj", "small.ply", "small.stl", "crates.glb"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string(name) == "crates.glb" ? Sample(name) : dir_ + "/" + name;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
      execl(VELTRANE_HOST_TOOL, "veltrane-host", "--no-policy", path.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(usage.ru_maxrss, 48 * 1024) << "KiB at the peak";
  }
}

// --version says what the tool is, and still answers when the plug-in cannot
// be loaded; the version is the one the JSON names.
TEST_F(Tool, VersionNamesTheToolThePlugInAndTheReaders) {
  const Json document = Document(Start("--no-policy --json " + Sample("cage.obj")));
  const Outcome run = Start("--version");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "veltrane-host " + document["tool_version"].get<std::string>());
  EXPECT_NE(lines[1].find("interface version "), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2].rfind("readers: OBJ, ", 0), 0u) << lines[2];
  EXPECT_NE(lines[2].find("glTF, PLY, STL"), std::string::npos) << lines[2];
  const Outcome missing = Start("--version --plugin missing.so");
  EXPECT_EQ(missing.status, 0);
  EXPECT_NE(missing.out.find("plug-in: missing.so: cannot load the plug-in library"),
            std::string::npos)
      << missing.out;
}

// --- Shards and merge -------------------------------------------------------------

class Shards : public Tool {
 protected:
  // A tree of 14 models in folders, one of them refused, and a file named.
  void SetUp() override {
    Tool::SetUp();
    for (int i = 0; i < 12; ++i) {
      std::string obj = "o part" + std::to_string(i) + "\n";
      for (int v = 0; v < 3 + i; ++v)
        obj += "v " + std::to_string(v) + " " + std::to_string(v % 2) + " 0\n";
      for (int f = 1; f + 2 <= 3 + i; ++f) {
        obj += "f " + std::to_string(f) + " " + std::to_string(f + 1) + " " +
               std::to_string(f + 2) + "\n";
      }
      Shell("mkdir -p '" + dir_ + "/tree/f" + std::to_string(i % 3) + "'");
      File("tree/f" + std::to_string(i % 3) + "/m" + std::to_string(i) + ".obj", obj);
    }
    File("tree/f1/bad.obj", "bogus\n");
  }
  static constexpr const char* kArgs =
      "--no-policy --max-triangles 8 tree " VHOST_SAMPLES_DIR "/cage.obj";
};

// The N shards of a tree take every model exactly once, and merging their
// reports gives the report of one run over the whole tree, byte for byte,
// and the same JUnit report.
TEST_F(Shards, PartitionTheTreeAndMergeBackIntoTheWholeRun) {
  // Per-object rows, which the report page has whatever the options.
  const Outcome whole =
      Start(std::string("--json --objects --junit whole.xml --html whole.html ") + kArgs);
  ASSERT_EQ(whole.status, 2) << whole.err;
  const Json all = Document(whole);
  ASSERT_EQ(all["models"].size(), 14u);
  for (const int n : {1, 2, 3, 7}) {
    SCOPED_TRACE(n);
    std::multiset<std::string> seen;
    std::string reports;
    for (int k = 1; k <= n; ++k) {
      const std::string name = "shard" + std::to_string(k) + ".json";
      const Outcome shard = Sh("veltrane-host --json --objects --shard " + std::to_string(k) + "/" +
                               std::to_string(n) + " " + kArgs + " > " + name);
      const Json document = Json::parse(Read(dir_ + "/" + name));
      EXPECT_EQ(document["shard"], std::to_string(k) + "/" + std::to_string(n));
      for (const Json& model : document["models"]) seen.insert(model["file"].get<std::string>());
      reports += " " + name;
    }
    std::multiset<std::string> expected;
    for (const Json& model : all["models"]) expected.insert(model["file"].get<std::string>());
    EXPECT_EQ(seen, expected);
    const Outcome merged = Start("merge --junit merged.xml --html merged.html" + reports);
    EXPECT_EQ(merged.status, whole.status) << merged.err;
    EXPECT_EQ(merged.out, whole.out);
    EXPECT_EQ(Read(dir_ + "/merged.xml"), Read(dir_ + "/whole.xml"));
    EXPECT_EQ(Read(dir_ + "/merged.html"), Read(dir_ + "/whole.html"));
  }
}

// Reports that would not make one run's report are refused, saying why, as a
// JSON document with the error and no models.
TEST_F(Shards, MergeRefusesReportsThatDoNotMakeOneRun) {
  for (int k = 1; k <= 3; ++k) {
    Sh("veltrane-host --json --shard " + std::to_string(k) + "/3 " + kArgs + " > s" +
       std::to_string(k) + ".json");
  }
  Sh(std::string("veltrane-host --json --shard 3/3 --max-vertices 5 ") + kArgs + " > other.json");
  Shell("sed 's/\"tool_version\": \"[^\"]*\"/\"tool_version\": \"0.9.0\"/' '" + dir_ +
        "/s3.json' > '" + dir_ + "/old.json'");
  Sh(std::string("veltrane-host --json ") + kArgs + " > whole.json");
  const struct {
    const char* reports;
    const char* says;
  } cases[] = {
      {"s1.json s2.json", "shard 3 of 3 missing"},
      {"s1.json s2.json s3.json s3.json", "is given twice"},
      {"s1.json s2.json other.json", "judged by another policy"},
      {"s1.json s2.json old.json", "made by veltrane-host 0.9.0"},
      {"s1.json whole.json", "shards are merged with shards"},
      {"s1.json missing.json", "missing.json: cannot be read"},
      {"", "REPORT is required"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reports);
    const Outcome run = Start(std::string("merge ") + c.reports);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    if (*c.reports != '\0') {
      const Json document = Document(run);
      EXPECT_NE(document["error"].get<std::string>().find(c.says), std::string::npos);
      EXPECT_TRUE(document["models"].empty());
    }
  }
}

// --- Baseline ---------------------------------------------------------------------

class Growth : public Tool {
 protected:
  // The baseline: hero 10 quads, prop 10, gone 1; now hero 12 (+20%), prop 11
  // (+10% triangles, +9.1% vertices) and a new one.
  void SetUp() override {
    Tool::SetUp();
    Shell("mkdir -p '" + dir_ + "/art/hero' '" + dir_ + "/art/props'");
    File("art/hero/hero.obj", Strip(10));
    File("art/props/prop.obj", Strip(10));
    File("art/props/gone.obj", Strip(1));
    Sh("veltrane-host --no-policy --json art > old.json");
    File("art/hero/hero.obj", Strip(12));
    File("art/props/prop.obj", Strip(11));
    Shell("rm '" + dir_ + "/art/props/gone.obj'");
    File("art/props/new.obj", Strip(2));
  }
};

// Each model beside the baseline, growth past the limit a failure (exit 1)
// in every report, new and gone models listed.
TEST_F(Growth, GrowthPastTheLimitFailsAndNewAndGoneModelsAreListed) {
  const Outcome run =
      Start("--no-policy --json --junit j.xml --baseline old.json --max-growth 15 art");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err,
            "art/hero/hero.obj: 24 triangles, grew from 20 (+20.0%; at most +15.0%)\n"
            "art/hero/hero.obj: 26 vertices, grew from 22 (+18.2%; at most +15.0%)\n");
  const Json document = Document(run);
  EXPECT_EQ(
      document["baseline"],
      Json::parse(
          R"({"file":"old.json","new":["art/props/new.obj"],"removed":["art/props/gone.obj"]})"));
  const Json& hero = document["models"][0];
  EXPECT_EQ(hero["baseline"]["change"]["total"], 4);
  EXPECT_EQ(hero["budgets"][0]["budget"], "max-growth-triangles");
  EXPECT_EQ(hero["budgets"][0]["verdict"], "over");
  EXPECT_EQ(hero["budgets"][0]["limit"], 23);
  EXPECT_EQ(document["models"][1]["baseline"]["found"], false);
  EXPECT_TRUE(document["models"][1]["budgets"].empty());
  EXPECT_EQ(document["models"][2]["budgets"][0]["verdict"], "within");
  const std::string junit = Read(dir_ + "/j.xml");
  EXPECT_NE(junit.find("type=\"max-growth-triangles\""), std::string::npos) << junit;

  const Outcome text = Start("--no-policy --baseline old.json art/hero/hero.obj art/props/new.obj");
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("baseline: V 22 -> 26 (+4), F 20 -> 24 (+4),"), std::string::npos);
  EXPECT_NE(text.out.find("baseline: new (not in the baseline report)"), std::string::npos);
  EXPECT_NE(text.out.find("gone since the baseline (old.json):\n  art/props/gone.obj\n  "
                          "art/props/prop.obj\n"),
            std::string::npos)
      << text.out;
  EXPECT_EQ(Start("--max-growth 5 art").status, 2);  // no baseline to grow from
}

// The policy's max-growth holds per rule, the last table matching a model
// deciding; --max-growth overrides it for every model.
TEST_F(Growth, ThePolicySetsGrowthPerPathAndTheCommandLineOverridesIt) {
  File("veltrane.toml",
       "[defaults]\nmax-growth = 25\n\n[[budget]]\npaths = [\"art/props/**\"]\nmax-growth = 5\n");
  const Json policy = Document(Start("--json --baseline old.json art"));
  EXPECT_EQ(policy["exit_status"], 1);
  EXPECT_EQ(policy["models"][0]["budgets"][0]["verdict"], "within");  // hero: +20% of 25%
  EXPECT_EQ(policy["models"][0]["budgets"][0]["rule"], "veltrane.toml:2");
  EXPECT_EQ(policy["models"][2]["budgets"][0]["verdict"], "over");  // prop: +10% of 5%
  EXPECT_EQ(policy["models"][2]["budgets"][0]["rule"], "veltrane.toml:6");
  const Json given = Document(Start("--json --baseline old.json --max-growth 50 art"));
  EXPECT_EQ(given["exit_status"], 0);
  EXPECT_EQ(given["models"][2]["budgets"][0]["rule"], "command line");
}

// Shards set beside one baseline merge into the whole run's report: the gone
// models each shard lists of its own share, joined.
TEST_F(Growth, ShardsBesideABaselineMergeIntoTheWholeRun) {
  const std::string args = "--no-policy --json --baseline old.json --max-growth 15 art";
  const Outcome whole = Start(args);
  std::string reports;
  for (int k = 1; k <= 3; ++k) {
    const std::string name = "g" + std::to_string(k) + ".json";
    Sh("veltrane-host --shard " + std::to_string(k) + "/3 " + args + " > " + name);
    reports += " " + name;
  }
  const Outcome merged = Start("merge" + reports);
  EXPECT_EQ(merged.status, whole.status);
  EXPECT_EQ(merged.out, whole.out);
}

// --- Worker processes (-j) -------------------------------------------------------

// Waits (at most 30 s) until a process opens `fifo` to read it, then kills
// every process that holds it open but this one. Answers how many it killed.
int KillWhoOpens(const std::string& fifo) {
  int fd = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  // Opening a FIFO to write without waiting fails until a reader has it open.
  while ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (fd < 0) return 0;
  int killed = 0;
  const std::string self = std::to_string(getpid());
  FILE* list = popen("ls /proc", "r");
  char name[64];
  while (fscanf(list, "%63s", name) == 1) {
    if (self == name || std::string(name).find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    FILE* fds = popen(("ls -l /proc/" + std::string(name) + "/fd 2>/dev/null").c_str(), "r");
    char line[1024];
    bool holds = false;
    while (fgets(line, sizeof line, fds) != nullptr)
      holds = holds || std::strstr(line, fifo.c_str());
    pclose(fds);
    if (holds && kill(std::stoi(name), SIGKILL) == 0) ++killed;
  }
  pclose(list);
  close(fd);
  return killed;
}

// The models of a tree counted one after another in the tool's process (-j 1)
// or by three workers at once give the same report, byte for byte, in every
// form: counted models, refused files, a model over budget.
TEST_F(Tool, WorkersWriteWhatOneProcessWrites) {
  Shell("mkdir -p '" + dir_ + "/tree/a' '" + dir_ + "/tree/b' && cp '" + Sample("cage.obj") +
        "' '" + Sample("props.obj") + "' '" + Sample("crates.glb") + "' '" + dir_ +
        "/tree/a/' && cp '" + Sample("scene.json") + "' '" + Sample("wires.obj") + "' '" + dir_ +
        "/tree/b/'");
  File("tree/a/bad.obj", "bogus\n");
  File("tree/b/empty.ply", "");
  const std::string args = "--no-policy --max-triangles 20 --objects tree";
  const struct {
    const char* what;
    std::string args;
  } forms[] = {{"text", args}, {"json", "--json " + args}, {"junit", "--junit j.xml " + args}};
  for (const auto& form : forms) {
    SCOPED_TRACE(form.what);
    const Outcome one = Start("-j 1 " + form.args);
    const std::string junit = Read(dir_ + "/j.xml");
    const Outcome three = Start("-j 3 " + form.args);
    EXPECT_EQ(one.status, 2) << one.err;
    EXPECT_EQ(three.status, one.status);
    EXPECT_EQ(three.out, one.out);
    EXPECT_EQ(three.err, one.err);
    EXPECT_EQ(Read(dir_ + "/j.xml"), junit);
  }
  EXPECT_EQ(Start("-j 0 tree").status, 2);
}

// A worker killed while it counts is that model's error (exit 2), the same
// whatever the number of workers; the models after it are counted by a new one.
TEST_F(Tool, AWorkerThatDiesIsItsModelsErrorAndTheRunGoesOn) {
  const std::string fifo = dir_ + "/slow.obj";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string models = Sample("cage.obj") + " slow.obj " + Sample("props.obj") + " " +
                             Sample("wires.obj") + " " + Sample("cup_half.obj");
  std::string first;
  for (const int jobs : {2, 3}) {
    SCOPED_TRACE(jobs);
    int killed = 0;
    std::thread killer([&] { killed = KillWhoOpens(fifo); });
    const Outcome run = Start("--no-policy --json -j " + std::to_string(jobs) + " " + models);
    killer.join();
    EXPECT_EQ(killed, 1);
    EXPECT_EQ(run.status, 2);
    const Json document = Document(run);
    ASSERT_EQ(document["models"].size(), 5u);
    EXPECT_EQ(document["models"][1]["error"],
              "slow.obj: not counted: the worker process counting it ended (Killed)");
    for (const int i : {0, 2, 3, 4}) EXPECT_TRUE(document["models"][i]["error"].is_null()) << i;
    EXPECT_EQ(run.err, "slow.obj: not counted: the worker process counting it ended (Killed)\n");
    if (first.empty()) first = run.out;
    EXPECT_EQ(run.out, first);
  }
}

// Ctrl-C stops the workers: what was counted is written, the rest named as not
// counted, the JSON whole, and the run ends with 130.
TEST_F(Tool, CtrlCStopsTheWorkersAndWritesWhatWasCounted) {
  const std::string fifo = dir_ + "/slow.obj";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::fflush(nullptr);
  const std::string out = dir_ + "/out.json";
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGINT, SIG_DFL);
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(126);
    if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    const std::string cage = Sample("cage.obj");
    execl(VELTRANE_HOST_TOOL, "veltrane-host", "--no-policy", "--json", "-j", "2", cage.c_str(),
          fifo.c_str(), cage.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // Once a worker waits on the FIFO, the other has counted or soon counts the rest.
  int fd = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GE(fd, 0) << "no worker opened the FIFO";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  close(fd);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  Json document;
  ASSERT_NO_THROW(document = Json::parse(Read(out)));
  EXPECT_EQ(document["exit_status"], 130);
  EXPECT_EQ(document["error"], "interrupted (Ctrl-C)");
  ASSERT_EQ(document["models"].size(), 3u);
  EXPECT_EQ(document["models"][1]["error"], fifo + ": not counted: interrupted (Ctrl-C)");
  // The others were counted meanwhile, unless the machine was too slow for it.
  for (const int i : {0, 2}) {
    const Json& error = document["models"][i]["error"];
    EXPECT_TRUE(error.is_null() ||
                error == Sample("cage.obj") + ": not counted: interrupted (Ctrl-C)")
        << error;
  }
  EXPECT_TRUE(document["models"][0]["error"].is_null() || document["models"][2]["error"].is_null());
}

}  // namespace
