// Budget policies: what each model gets from veltrane.toml, and every way a
// policy can be wrong, named by file, line and column.
#include "host/tool/policy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using vtool::FindPolicy;
using vtool::Policy;
using vtool::PolicyError;

class PolicyFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "veltrane-policy-" +
           testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    Shell("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'");
  }
  void TearDown() override { Shell("rm -rf '" + dir_ + "'"); }
  static void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0); }

  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ + name, std::ios::binary) << text;
    return dir_ + name;
  }

  // "key=limit@line" for each limit, then "waived key: reason@line" for each waiver.
  static std::vector<std::string> Summary(const vtool::ModelPolicy& policy) {
    std::vector<std::string> lines;
    for (const auto& limit : policy.limits) {
      lines.push_back(std::string(limit.key->name) + "=" + std::to_string(limit.limit) + "@" +
                      limit.rule);
    }
    for (const auto& waiver : policy.waivers) {
      for (const auto& budget : waiver.budgets) {
        lines.push_back("waived " + budget + ": " + waiver.reason + "@" + waiver.rule);
      }
    }
    return lines;
  }

  std::string dir_;
};

TEST_F(PolicyFile, TheLastMatchingTableSetsEachLimit) {
  const std::string path = Write("veltrane.toml", R"([[budget]]
paths = ["characters/**"]
max-triangles = 80000
warn-triangles = 60000

[defaults]
max-object-vertices = 65535
max-triangles = 20000

[[budget]]
paths = ["props/**", "!props/big/**"]
max-triangles = 5000
max-object-faces = 2000

[[waiver]]
paths = ["characters/boss.glb"]
budgets = ["max-triangles"]
reason = "hero asset, approved by art direction"
)");
  const Policy policy = Policy::Load(path, "veltrane.toml");
  const struct {
    std::string model;
    std::vector<std::string> summary;
  } cases[] = {
      {"characters/hero.glb",
       {"max-triangles=80000@veltrane.toml:3", "max-object-vertices=65535@veltrane.toml:7",
        "warn-triangles=60000@veltrane.toml:4"}},
      {"characters/boss.glb",
       {"max-triangles=80000@veltrane.toml:3", "max-object-vertices=65535@veltrane.toml:7",
        "warn-triangles=60000@veltrane.toml:4",
        "waived max-triangles: hero asset, approved by art direction@veltrane.toml:15"}},
      {"props/chair.obj",
       {"max-triangles=5000@veltrane.toml:12", "max-object-faces=2000@veltrane.toml:13",
        "max-object-vertices=65535@veltrane.toml:7"}},
      {"props/big/crane.obj",  // "!" leaves it to [defaults]
       {"max-triangles=20000@veltrane.toml:8", "max-object-vertices=65535@veltrane.toml:7"}},
      {"misc/rock.ply",
       {"max-triangles=20000@veltrane.toml:8", "max-object-vertices=65535@veltrane.toml:7"}},
      {"/elsewhere/characters/hero.glb",  // outside the policy's folder: [defaults] only
       {"max-triangles=20000@veltrane.toml:8", "max-object-vertices=65535@veltrane.toml:7"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    const std::string model = c.model[0] == '/' ? c.model : dir_ + c.model;
    EXPECT_EQ(Summary(policy.For(model)), c.summary);
  }
}

TEST_F(PolicyFile, AFaultIsNamedByFileLineAndColumn) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"[defaults]\nmax-faces = 1\nmax-faces = 2\n",
       "p.toml:3:13: Error while parsing key-value pair: cannot redefine existing integer "
       "'max-faces'"},
      {"[defaults]\nmax-polygons = 3\n",
       "p.toml:2:1: unknown budget \"max-polygons\" (known: max-faces, max-triangles, "
       "max-vertices, the max-object-… three, their warn-… twins, and max-growth)"},
      {"[defaults]\nmax-growth = \"a lot\"\n",
       "p.toml:2:14: max-growth must be a number (percent)"},
      {"[defaults]\nmax-growth = -5\n", "p.toml:2:14: max-growth must be a percent from 0"},
      {"[defaults]\nmax-faces = \"many\"\n", "p.toml:2:13: max-faces must be an integer"},
      {"[defaults]\nmax-faces = 2.5\n", "p.toml:2:13: max-faces must be an integer"},
      {"[defaults]\nwarn-vertices = -1\n", "p.toml:2:17: warn-vertices must not be negative"},
      {"defaults = 3\n", "p.toml:1:12: [defaults] must be a table"},
      {"[limits]\n",
       "p.toml:1:2: unknown table \"limits\" (a policy holds [defaults], [[budget]] and "
       "[[waiver]])"},
      {"[budget]\npaths = [\"a\"]\n", "p.toml:1:1: \"budget\" must be tables: [[budget]]"},
      {"[[budget]]\nmax-faces = 1\n",
       "p.toml:1:1: a [[budget]] needs \"paths\", a list of patterns"},
      {"[[budget]]\npaths = []\n", "p.toml:2:9: \"paths\" must be a list of one or more patterns"},
      {"[[budget]]\npaths = \"a/**\"\n",
       "p.toml:2:9: \"paths\" must be a list of one or more patterns"},
      {"[[budget]]\npaths = [\"a/[b\"]\n",
       "p.toml:2:10: pattern \"a/[b\" opens a set '[' it does not close"},
      {"[[budget]]\npaths = [\"a\"]\nsize = 3\n",
       "p.toml:3:1: unknown key \"size\" in a [[budget]]"},
      {"[[waiver]]\npaths = [\"a\"]\nbudgets = [\"max-faces\"]\n",
       "p.toml:1:1: a [[waiver]] needs a \"reason\""},
      {"[[waiver]]\npaths = [\"a\"]\nbudgets = [\"max-faces\"]\nreason = \" \"\n",
       "p.toml:4:10: \"reason\" must be a text saying why the waiver holds"},
      {"[[waiver]]\npaths = [\"a\"]\nreason = \"ok\"\n",
       "p.toml:1:1: a [[waiver]] needs \"budgets\", the budgets it waives"},
      {"[[waiver]]\npaths = [\"a\"]\nreason = \"ok\"\nbudgets = [\"warn-faces\"]\n",
       "p.toml:4:12: \"budgets\" names the max-… budgets a waiver lets a model exceed"},
      {"[[budget]]\npaths = [\"a\"\n",
       "p.toml:2:14: Error while parsing array: encountered end-of-file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = Write("p.toml", c.text);
    try {
      Policy::Load(path, "p.toml");
      ADD_FAILURE() << "loaded";
    } catch (const PolicyError& error) {
      EXPECT_EQ(std::string(error.what()), c.error);
    }
  }
  try {
    Policy::Load(dir_ + "missing.toml", "missing.toml");
    ADD_FAILURE() << "loaded";
  } catch (const PolicyError& error) {
    EXPECT_EQ(std::string(error.what()), "missing.toml: cannot open: No such file or directory");
  }
}

// Text beyond ASCII reaches the policy as written, in basic and literal strings.
TEST_F(PolicyFile, KeepsTextBeyondAsciiAsWritten) {
  const std::string path = Write("veltrane.toml",
                                 "[[waiver]]\npaths = ['pièces/*']\nbudgets = ['max-faces']\n"
                                 "reason = \"approuvé — \\\\ ﻼ\"\n[[waiver]]\npaths = ['*']\n"
                                 "budgets = ['max-vertices']\nreason = 'vu \\ \"q\" ﻼ'\n");
  const vtool::ModelPolicy got = Policy::Load(path, "veltrane.toml").For(dir_ + "pièces/a.obj");
  ASSERT_EQ(got.waivers.size(), 2u);
  EXPECT_EQ(got.waivers[0].reason, "approuvé — \\ ﻼ");
  EXPECT_EQ(got.waivers[1].reason, "vu \\ \"q\" ﻼ");
  // Multi-line literal strings and comments too.
  const std::string more = Write("more.toml",
                                 "# ﻼ é\n[[waiver]] # ﻼ\npaths = ['*']\nbudgets = ['max-faces']\n"
                                 "reason = '''\nvu \\ \"\"\" ﻼ''''\n");
  const vtool::ModelPolicy multi = Policy::Load(more, "more.toml").For(dir_ + "a.obj");
  ASSERT_EQ(multi.waivers.size(), 1u);
  EXPECT_EQ(multi.waivers[0].reason, "vu \\ \"\"\" ﻼ'");
  // A text toml++ reads otherwise than as a string (quotes after a number)
  // never hands it such a character either.
  const std::string odd = Write("odd.toml", "[defaults]\nmax-faces = 6'''0 ﻼ'''\n");
  EXPECT_THROW(Policy::Load(odd, "odd.toml"), PolicyError);
}

// Every code point the TOML library tells whitespace from by its table, in a
// key (where it asks of each character): under the sanitizers, one it could
// not classify would stop the test. A key is no budget, so each is refused.
TEST_F(PolicyFile, NoCodePointLeadsTheTomlLibraryAstray) {
  int refused = 0;
  for (char32_t c = 0xA0; c <= 0xFEFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string key;
    if (c < 0x800) {
      key = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      key = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
             static_cast<char>(0x80 | (c & 0x3F))};
    }
    for (const std::string& text : {"\"" + key + "\" = 1\n", "'" + key + "' = 1\n"}) {
      try {
        Policy::Parse(text, "p.toml", "/");
      } catch (const PolicyError&) {
        ++refused;
      }
    }
  }
  EXPECT_EQ(refused, 2 * (0xFEFF - 0xA0 + 1 - 0x800));
}

// Found in the folder or the nearest one above it, never above the top of the
// git work tree the folder is in.
TEST_F(PolicyFile, IsFoundUpToTheTopOfTheWorkTree) {
  Shell("cd '" + dir_ +
        "' && mkdir -p repo/.git repo/a/b outer/repo2/.git outer/repo2/c && "
        "touch repo/veltrane.toml outer/veltrane.toml");
  EXPECT_EQ(FindPolicy(dir_ + "repo"), "veltrane.toml");
  EXPECT_EQ(FindPolicy(dir_ + "repo/a/b"), "../../veltrane.toml");
  EXPECT_EQ(FindPolicy(dir_ + "outer/repo2/c"), std::nullopt);  // outer/ is above the tree
}

}  // namespace
