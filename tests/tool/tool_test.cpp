// veltrane-host as a person or a pipeline runs it: a process with arguments,
// judged by its output and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Outcome {
  std::string out;  // stdout
  std::string err;  // stderr
  int status = -1;  // exit status
};

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "veltrane-tool-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str());
    settings_ = dir_ + "/settings.xml";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  Outcome Start(const std::string& args) const {
    const std::string errFile = dir_ + "/stderr";
    const std::string command = std::string(VELTRANE_HOST_TOOL) + " --settings '" + settings_ +
                                "' " + args + " 2>'" + errFile + "'";
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = Read(errFile);
    return run;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string File(const std::string& name, const std::string& text) const {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  void ExpectGolden(const std::string& name, const std::string& text) const {
    const std::string path = std::string(VELTRANE_TOOL_GOLDEN_DIR) + "/" + name;
    if (std::getenv("VELTRANE_UPDATE_GOLDEN") != nullptr) {
      std::ofstream(path, std::ios::binary) << text;
      return;
    }
    EXPECT_EQ(text, Read(path)) << "differs from " << path;
  }

  static std::string Sample(const std::string& name) {
    return std::string(VHOST_SAMPLES_DIR) + "/" + name;
  }

  std::string dir_;
  std::string settings_;
};

// Sample paths appear in the output; make them stable for golden comparisons.
std::string Relative(std::string text) {
  const std::string prefix = std::string(VHOST_SAMPLES_DIR) + "/";
  for (std::size_t at; (at = text.find(prefix)) != std::string::npos;) {
    text.replace(at, prefix.size(), "samples/");
  }
  return text;
}

TEST_F(Tool, CountsTheSampleSceneAndShowsTheWindow) {
  const Outcome run = Start("--tick Update --tick All --tick Freeze " + Sample("scene.json"));
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectGolden("scene_frozen.txt", Relative(run.out));
}

TEST_F(Tool, OptionsPersistThroughTheSettingsFile) {
  ASSERT_EQ(Start("--tick Update --tick all --untick Polygon " + Sample("cage.obj")).status, 0);
  const Outcome second = Start(Sample("cage.obj"));
  EXPECT_EQ(second.status, 0);
  EXPECT_NE(second.out.find("[x] Update    [x] All"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("[ ] Polygon"), std::string::npos);
  EXPECT_EQ(second.out.find("  2  ["), std::string::npos);  // rows 2 to 5 hidden
  EXPECT_NE(Read(settings_).find("<polygon>0</polygon>"), std::string::npos);
}

TEST_F(Tool, JsonCarriesTheCountsAndTheOptions) {
  const Outcome run =
      Start("--tick Update --tick All --json " + Sample("props.obj") + " " + Sample("wires.obj"));
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectGolden("props_wires.json", Relative(run.out));
}

TEST_F(Tool, BudgetsFailTheModelsOverThem) {
  const Outcome run = Start("--tick Update --tick All --max-triangles 10 --max-vertices 1000 " +
                            Sample("cage.obj") + " " + Sample("scene.json"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.find("cage.obj"), std::string::npos) << run.err;  // within budget
  EXPECT_NE(run.err.find("scene.json: 40 triangles, over the budget of 10"), std::string::npos)
      << run.err;
  EXPECT_EQ(Start("--max-faces 100 " + Sample("cage.obj")).status, 0);
}

TEST_F(Tool, ABudgetItCannotCheckIsAnError) {
  const Outcome run = Start("--untick All --max-faces 100 " + Sample("cage.obj"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("tick Update and All"), std::string::npos) << run.err;
}

TEST_F(Tool, BadModelsAreNamedAndTheOthersStillCounted) {
  const std::string junk = File("junk.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nbogus line\n");
  const std::string range = File("range.obj", "v 0 0 0\nf 1 2 3\n");
  const std::string scene = File("broken.json", "{\n  \"format\": \"veltrane-scene\",\n  oops\n}");
  const Outcome run = Start("--tick Update --json " + junk + " " + Sample("cage.obj") + " " +
                            range + " " + scene + " " + dir_ + "/missing.obj");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(junk + ":5:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(range + ":2:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(scene + ":3:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("missing.obj"), std::string::npos) << run.err;
  // The good model in the middle is counted.
  EXPECT_NE(run.out.find("\"vertices\": 6"), std::string::npos) << run.out;
  // And the settings file holds a whole tree.
  EXPECT_NE(Read(settings_).find("<update>1</update>"), std::string::npos);
}

TEST_F(Tool, ClosingTheWindowIsRemembered) {
  ASSERT_EQ(Start("--close " + Sample("cage.obj")).status, 0);
  EXPECT_NE(Read(settings_).find("<Veltrane_activate>0</Veltrane_activate>"), std::string::npos);
}

TEST_F(Tool, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Start("--tick Sideways x.obj").status, 2);
  EXPECT_EQ(Start("--max-faces -3 x.obj").status, 2);
  const Outcome help = Start("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
}

}  // namespace
