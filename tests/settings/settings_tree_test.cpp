// The stand-in host's settings tree: its element operations, message 505 and its
// faults, and (where the host keeps a file) loading and saving that file.
#include "host/module/settings_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/module/host_module.h"

extern "C" int32_t MQXmlElem_Value(void* element, int32_t operation, void* record);

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#endif

namespace {

using vhost::SettingsEntry;
using vhost::SettingsTree;

void* Find(SettingsTree& tree, void* element, const char* name) {
  XmlFindChildRecord find{name, nullptr};
  tree.ElementValue(element, kXmlFindChild, &find);
  return find.result;
}

void* Add(SettingsTree& tree, void* element, const char* name) {
  XmlAddChildRecord add{name, nullptr};
  tree.ElementValue(element, kXmlAddChild, &add);
  return add.result;
}

const char* Text(SettingsTree& tree, void* element) {
  XmlGetTextRecord get{nullptr};
  tree.ElementValue(element, kXmlGetText, &get);
  return get.result;
}

void SetText(SettingsTree& tree, void* element, const char* text) {
  XmlSetTextRecord set{text};
  tree.ElementValue(element, kXmlSetText, &set);
}

std::vector<std::string> Names(const std::vector<SettingsEntry>& entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const SettingsEntry& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(SettingsTree, ElementOperationsWorkOnTheHostsOwnNodes) {
  SettingsTree tree;
  void* settings = tree.PluginSettings();
  EXPECT_EQ(tree.PluginSettings(), settings);  // found again, not added twice

  void* section = Add(tree, settings, "Plugin-5A3C9E41-2D7B6F18");
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(tree.FindSection("Plugin-5A3C9E41-2D7B6F18"), section);
  void* first = Add(tree, section, "PosX");
  void* second = Add(tree, section, "PosX");
  ASSERT_NE(first, second);
  EXPECT_EQ(Find(tree, section, "PosX"), first);  // the first of duplicates
  EXPECT_EQ(Find(tree, section, "posx"), nullptr);
  EXPECT_EQ(Find(tree, section, nullptr), nullptr);

  EXPECT_EQ(Text(tree, first), nullptr);  // no text until one is set
  SetText(tree, first, "120");
  EXPECT_STREQ(Text(tree, first), "120");
  SetText(tree, first, "");
  EXPECT_STREQ(Text(tree, first), "");
  SetText(tree, first, nullptr);
  EXPECT_EQ(Text(tree, first), nullptr);

  int32_t removed = 0;
  XmlRemoveChildRecord remove{first, &removed};
  tree.ElementValue(section, kXmlRemoveChild, &remove);
  EXPECT_EQ(removed, 1);
  EXPECT_FALSE(tree.IsLive(first));
  EXPECT_EQ(Find(tree, section, "PosX"), second);
  ASSERT_EQ(tree.ListChildren(section).size(), 1u);

  // Removing a grandchild through the wrong parent, or anything twice, does nothing.
  void* key = Add(tree, section, "update");
  XmlRemoveChildRecord wrong{key, nullptr};
  tree.ElementValue(settings, kXmlRemoveChild, &wrong);
  EXPECT_TRUE(tree.IsLive(key));
  tree.ElementValue(section, kXmlRemoveChild, &remove);
  EXPECT_EQ(Names(tree.ListChildren(section)), (std::vector<std::string>{"PosX", "update"}));
}

TEST(SettingsTree, UnknownHandlesAreAnsweredWithNothing) {
  SettingsTree tree;
  void* section = Add(tree, tree.PluginSettings(), "section");
  void* key = Add(tree, section, "key");
  XmlRemoveChildRecord remove{key, nullptr};
  tree.ElementValue(section, kXmlRemoveChild, &remove);

  int not_an_element = 0;
  for (void* element : {static_cast<void*>(nullptr), key, static_cast<void*>(&not_an_element)}) {
    EXPECT_EQ(Add(tree, element, "child"), nullptr);
    EXPECT_EQ(Text(tree, element), nullptr);
    SetText(tree, element, "x");
  }
  EXPECT_EQ(tree.ElementValue(section, kXmlGetText, nullptr), 0);
  EXPECT_EQ(tree.ElementValue(section, 0x999, &remove), 0);
  EXPECT_TRUE(tree.ListChildren(section).empty());

  // The call log tells known from unknown handles.
  int unknown = 0;
  for (const vhost::ElementCall& call : tree.Calls()) unknown += call.known ? 0 : 1;
  EXPECT_EQ(unknown, 9);
}

TEST(SettingsTree, RefusesNamesAFileCouldNotHoldAndNestingBeyondTheLimit) {
  SettingsTree tree;
  void* settings = tree.PluginSettings();
  for (const char* bad : {"", "1abc", "a b", "-x", "<x>", "a&b", "\xFF", "caf\xC3"}) {
    EXPECT_EQ(Add(tree, settings, bad), nullptr) << bad;
  }
  for (const char* good : {"Plugin-5A3C9E41-2D7B6F18", "PosX", "Veltrane_activate", "a.b-c",
                           "caf\xC3\xA9", "\xE8\xA8\xAD\xE5\xAE\x9A"}) {
    EXPECT_NE(Add(tree, settings, good), nullptr) << good;
  }

  void* element = settings;  // depth 2
  for (int depth = 3; depth <= SettingsTree::kMaxDepth; ++depth) {
    element = Add(tree, element, "n");
    ASSERT_NE(element, nullptr) << depth;
  }
  EXPECT_EQ(Add(tree, element, "n"), nullptr);
}

TEST(SettingsTree, Message505HandsOutTheSettingsElementUnlessToldNotTo) {
  SettingsTree tree;
  char root[] = "root";
  char plugin_settings[] = "pluginsettings";
  void* options[] = {root, nullptr, plugin_settings, nullptr, nullptr};
  PluginMessage message{1, 2, 0, options};
  tree.AnswerSettingsRequest(message);
  EXPECT_EQ(options[3], tree.PluginSettings());
  EXPECT_NE(options[1], nullptr);
  EXPECT_EQ(Find(tree, options[1], "pluginsettings"), options[3]);

  tree.faults.noSettingsElement = true;
  options[1] = options[3] = nullptr;
  tree.AnswerSettingsRequest(message);
  EXPECT_EQ(options[1], nullptr);
  EXPECT_EQ(options[3], nullptr);

  tree.faults.refuseAddChild = true;
  EXPECT_EQ(Add(tree, tree.PluginSettings(), "section"), nullptr);

  tree.Reset();  // a freshly started host commits no faults and holds nothing
  options[3] = nullptr;
  tree.AnswerSettingsRequest(message);
  EXPECT_NE(options[3], nullptr);
  EXPECT_NE(Add(tree, options[3], "section"), nullptr);
  EXPECT_FALSE(tree.IsLive(nullptr));
}

TEST(SettingsTree, HostFunctionForwardsToTheProcessTree) {
  vhost::State().Reset();
  void* settings = vhost::State().settings.PluginSettings();
  XmlAddChildRecord add{"section", nullptr};
  MQXmlElem_Value(settings, kXmlAddChild, &add);
  EXPECT_EQ(vhost::State().settings.FindSection("section"), add.result);
  vhost::State().Reset();
}

#if !defined(_WIN32)

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "vhost-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = dir / "settings.xml";
  }
  void TearDown() override { fs::remove_all(dir); }

  std::vector<std::string> DirectoryEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
  fs::path path;
};

TEST_F(SettingsFile, MissingFileStartsEmptyAndTheTreeRoundTrips) {
  SettingsTree tree;
  const vhost::SettingsFileReport first = tree.LoadFile(path.string());
  EXPECT_EQ(first.outcome, vhost::SettingsFileReport::Outcome::kMissing);
  EXPECT_TRUE(first.ok());
  EXPECT_TRUE(first.message.empty());
  EXPECT_EQ(tree.FindSection("Plugin-5A3C9E41-2D7B6F18"), nullptr);

  void* section = Add(tree, tree.PluginSettings(), "Plugin-5A3C9E41-2D7B6F18");
  const std::vector<std::pair<const char*, const char*>> keys = {
      {"PosX", "120"},
      {"PosY", "-5"},
      {"lead", " 7"},
      {"spaces", "   "},
      {"markup", "<&>\"'"},
      {"empty", ""},
      {"caf\xC3\xA9", "\xE2\x82\xAC"},
      {"broken", "\xFF\xFE"},
  };
  for (const auto& [name, text] : keys) SetText(tree, Add(tree, section, name), text);
  Add(tree, section, "notext");
  EXPECT_EQ(tree.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kSaved);

  SettingsTree reloaded;
  EXPECT_EQ(reloaded.LoadFile(path.string()).outcome, vhost::SettingsFileReport::Outcome::kLoaded);
  const std::vector<SettingsEntry> entries =
      reloaded.ListChildren(reloaded.FindSection("Plugin-5A3C9E41-2D7B6F18"));
  ASSERT_EQ(entries.size(), keys.size() + 1);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(entries[i].name, keys[i].first);
    // An empty text and no text are one and the same in a file: both load as no text.
    if (*keys[i].second == '\0') {
      EXPECT_FALSE(entries[i].text.has_value());
    } else {
      EXPECT_EQ(entries[i].text.value_or("<none>"), keys[i].second) << keys[i].first;
    }
  }
  EXPECT_FALSE(entries.back().text.has_value());
}

TEST_F(SettingsFile, SaveReplacesTheFileInOneStepAndKeepsWhatItDoesNotKnow) {
  WriteFile(path,
            "<?xml version=\"1.0\"?>\n<settings version=\"3\"><other a=\"b\">x</other>"
            "<pluginsettings/></settings>\n");
  SettingsTree tree;
  ASSERT_TRUE(tree.LoadFile(path.string()).ok());
  Add(tree, tree.PluginSettings(), "Plugin-5A3C9E41-2D7B6F18");

  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  std::ifstream old_reader(path, std::ios::binary);  // sees the old file throughout
  const std::string old_content = ReadFile(path);
  ASSERT_TRUE(tree.SaveFile().ok());

  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // renamed into place, never rewritten in place
  std::ostringstream seen;
  seen << old_reader.rdbuf();
  EXPECT_EQ(seen.str(), old_content);
  EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"settings.xml"});  // no temporary left

  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("version=\"3\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("<other a=\"b\">x</other>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Plugin-5A3C9E41-2D7B6F18"), std::string::npos) << saved;
}

TEST_F(SettingsFile, MalformedFilesAreMovedAsideReportedAndReplacedByAnEmptyTree) {
  std::string too_deep;
  for (int d = 0; d <= SettingsTree::kMaxDepth; ++d) too_deep += "<n>";
  for (int d = 0; d <= SettingsTree::kMaxDepth; ++d) too_deep += "</n>";
  const std::vector<std::string> bad = {
      "<settings><pluginsettings><Plugin-1-2><PosX>1</PosX>",  // torn
      "",                                                      // empty
      "<a/><b/>",                                              // two documents
      std::string("\x00\x01garbage", 9),
      too_deep,
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    const std::string& content = bad[i];
    WriteFile(path, content);
    SettingsTree tree;
    const vhost::SettingsFileReport report = tree.LoadFile(path.string());
    EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kRecovered) << i;
    EXPECT_FALSE(report.ok());
    EXPECT_NE(report.message.find(path.string()), std::string::npos) << report.message;
    EXPECT_NE(report.message.find("malformed"), std::string::npos) << report.message;
    EXPECT_NE(report.message.find(report.movedTo), std::string::npos) << report.message;
    EXPECT_EQ(report.movedTo.rfind(path.string() + ".broken-", 0), 0u) << report.movedTo;
    EXPECT_EQ(ReadFile(report.movedTo), content);  // kept byte for byte
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(tree.ListChildren(tree.PluginSettings()).empty());

    // The next save writes a fresh file; the broken ones stay beside it.
    ASSERT_TRUE(tree.SaveFile().ok());
    SettingsTree reloaded;
    EXPECT_EQ(reloaded.LoadFile(path.string()).outcome,
              vhost::SettingsFileReport::Outcome::kLoaded);
  }
  EXPECT_EQ(DirectoryEntries().size(), bad.size() + 1);  // distinct names within one second
}

TEST_F(SettingsFile, WhatCanBeNeitherReadNorMovedIsNeverOverwritten) {
  fs::create_directory(path);  // a directory where the file should be
  SettingsTree tree;
  const vhost::SettingsFileReport report = tree.LoadFile(path.string());
  EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kFailed);
  EXPECT_NE(report.message.find("not a regular file"), std::string::npos) << report.message;
  const vhost::SettingsFileReport save = tree.SaveFile();
  EXPECT_EQ(save.outcome, vhost::SettingsFileReport::Outcome::kFailed);
  EXPECT_FALSE(save.message.empty());
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(SettingsFile, UnreadableFileIsMovedAside) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  WriteFile(path, "<settings/>");
  fs::permissions(path, fs::perms::none);
  SettingsTree tree;
  const vhost::SettingsFileReport report = tree.LoadFile(path.string());
  EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kRecovered);
  EXPECT_NE(report.message.find("cannot be read"), std::string::npos) << report.message;
  EXPECT_TRUE(fs::exists(report.movedTo));
}

TEST_F(SettingsFile, FailedWriteReportsAndLeavesNoTrace) {
  SettingsTree tree;
  EXPECT_EQ(tree.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kFailed);  // no file yet

  const fs::path nowhere = dir / "missing-directory" / "settings.xml";
  EXPECT_EQ(tree.LoadFile(nowhere.string()).outcome, vhost::SettingsFileReport::Outcome::kMissing);
  const vhost::SettingsFileReport report = tree.SaveFile();
  EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kFailed);
  EXPECT_NE(report.message.find(nowhere.string()), std::string::npos) << report.message;
  EXPECT_TRUE(DirectoryEntries().empty());
}

#else

TEST(SettingsFile, IsNotKeptOnWindows) {
  SettingsTree tree;
  EXPECT_EQ(tree.LoadFile("settings.xml").outcome,
            vhost::SettingsFileReport::Outcome::kUnsupported);
  EXPECT_EQ(tree.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kUnsupported);
}

#endif

}  // namespace
