// Patterns in gitignore's syntax, as --include and --exclude use them.
#include "host/tool/globs.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using vtool::Glob;
using vtool::GlobRules;

TEST(Glob, MatchesAsGitignoreDoes) {
  const struct {
    const char* pattern;
    const char* path;
    bool matches;
  } cases[] = {
      {"*.glb", "hero.glb", true},
      {"*.glb", "characters/hero.glb", true},  // no '/': a name at any depth
      {"*.glb", "hero.glb.bak", false},
      {"hero.glb", "characters/hero.glb", true},
      {"/hero.glb", "characters/hero.glb", false},  // anchored to the top
      {"/hero.glb", "hero.glb", true},
      {"characters/*.glb", "characters/hero.glb", true},
      {"characters/*.glb", "old/characters/hero.glb", false},  // a '/' inside anchors
      {"characters/*.glb", "characters/npc/hero.glb", false},  // '*' stops at '/'
      {"characters/**", "characters/npc/hero.glb", true},
      {"characters/**", "characters", false},  // what is inside, not the folder
      {"**/npc/*.obj", "npc/a.obj", true},     // "**/" takes no folder too
      {"**/npc/*.obj", "a/b/npc/a.obj", true},
      {"a/**/b.obj", "a/b.obj", true},
      {"a/**/b.obj", "a/x/y/b.obj", true},
      {"a/**/b.obj", "ab/b.obj", false},
      {"wip", "props/wip/chair.obj", true},  // a folder matched: all below it
      {"wip/", "props/wip/chair.obj", true},
      {"wip/", "props/wip", false},  // folders only: a file named so is not one
      {"h?ro.glb", "hero.glb", true},
      {"h?ro.glb", "h/ro.glb", false},
      {"[a-c]*.obj", "box.obj", true},
      {"[a-c]*.obj", "door.obj", false},
      {"[!a-c]*.obj", "door.obj", true},
      {"[^a-c]*.obj", "box.obj", false},
      {"[]x]y", "]y", true},
      {"\\*.obj", "*.obj", true},
      {"\\*.obj", "a.obj", false},
      {"*", "a/b/c.obj", true},
      {"*.OBJ", "a.obj", false},  // case counts, as in git
      {"a*b*c*d*e*f*g*h*i*j*k", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaax",
       false},
      {"**/**/**/**/**/**/**/**/x", "a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/y", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.path);
    EXPECT_EQ(Glob(c.pattern).Matches(c.path), c.matches);
  }
}

TEST(Glob, RefusesPatternsThatMeanNothing) {
  for (const char* pattern : {"", "!", "/", "a//b", "[ab", "a\\", "!/"}) {
    SCOPED_TRACE(pattern);
    EXPECT_THROW(Glob{pattern}, std::invalid_argument);
  }
}

TEST(GlobRules, TheLastMatchingPatternDecides) {
  const auto takes = [](const std::vector<std::pair<bool, const char*>>& rules, const char* path) {
    GlobRules globs;
    for (const auto& [include, pattern] : rules) {
      if (include) {
        globs.Include(pattern);
      } else {
        globs.Exclude(pattern);
      }
    }
    return globs.Takes(path);
  };
  EXPECT_TRUE(takes({}, "a.obj"));
  EXPECT_FALSE(takes({{false, "*.obj"}}, "a.obj"));
  EXPECT_TRUE(takes({{false, "*.obj"}}, "a.glb"));
  EXPECT_FALSE(takes({{true, "*.glb"}}, "a.obj"));  // an include leaves out what it misses
  EXPECT_TRUE(takes({{false, "props/**"}, {true, "props/hero.obj"}}, "props/hero.obj"));
  EXPECT_FALSE(takes({{true, "props/hero.obj"}, {false, "props/**"}}, "props/hero.obj"));
  EXPECT_TRUE(takes({{false, "*.obj"}, {false, "!keep.obj"}}, "keep.obj"));  // "!" swaps
  EXPECT_FALSE(takes({{true, "!*.obj"}}, "a.obj"));
}

}  // namespace
