// The stand-in host's settings tree: its element operations, message 505 and its
// faults, and (where the host keeps a file) loading and saving that file.
#include "host/model/settings_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "host/api/host_state.h"
#include "host/probe/veltrane_facts.h"
#include "tests/support/counting_allocator.h"

extern "C" int32_t MQXmlElem_Value(void* element, int32_t operation, void* record);

#if !defined(_WIN32)
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
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

  void* section = Add(tree, settings, vhost::veltrane::kSectionName);
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(tree.FindSection(vhost::veltrane::kSectionName), section);
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

  // Every call on a handle that is no live element is a misbehaviour on record.
  EXPECT_EQ(tree.faultLog().Entries().size(), 9u) << tree.faultLog().Describe();
}

TEST(SettingsTree, AnElementOperationThatRunsOutOfMemoryLeavesEveryListedElementLive) {
  // Replacing a key as a plug-in does (remove, then add), with each allocation
  // of it failing in turn: whatever the tree still lists, a plug-in may use.
  namespace alloc = testing_support::alloc;
  bool reachedTheEnd = false;
  for (int64_t nth = 0; !reachedTheEnd; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
    SettingsTree tree;
    ASSERT_NE(tree.StoreSetting("Section", "key", "1"), nullptr);
    void* section = tree.FindSection("Section");
    alloc::SetCounting(true);
    alloc::ArmFailure(nth);
    try {
      int32_t removed = 0;
      XmlRemoveChildRecord remove{tree.FindChild(section, "key"), &removed};
      tree.ElementValue(section, kXmlRemoveChild, &remove);
      XmlAddChildRecord add{"key", nullptr};
      tree.ElementValue(section, kXmlAddChild, &add);
    } catch (const std::bad_alloc&) {
    }
    reachedTheEnd = !alloc::Fired();
    alloc::Disarm();
    alloc::SetCounting(false);
    for (const SettingsEntry& entry : tree.ListChildren(section)) {
      EXPECT_TRUE(tree.IsLive(tree.FindChild(section, entry.name))) << entry.name;
    }
    ASSERT_LT(nth, 100);
  }
}

TEST(SettingsTree, RefusesNamesAFileCouldNotHoldAndNestingBeyondTheLimit) {
  SettingsTree tree;
  void* settings = tree.PluginSettings();
  for (const char* bad : {"", "1abc", "a b", "-x", "<x>", "a&b", "\xFF", "caf\xC3"}) {
    EXPECT_EQ(Add(tree, settings, bad), nullptr) << bad;
  }
  for (const char* good : {vhost::veltrane::kSectionName, "PosX", "Veltrane_activate", "a.b-c",
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

  tree.faults().noSettingsElement = true;
  options[1] = options[3] = nullptr;
  tree.AnswerSettingsRequest(message);
  EXPECT_EQ(options[1], nullptr);
  EXPECT_EQ(options[3], nullptr);

  tree.faults().refuseAddChild = true;
  EXPECT_EQ(Add(tree, tree.PluginSettings(), "section"), nullptr);

  tree.Reset();  // a freshly started host commits no faults and holds nothing
  options[3] = nullptr;
  tree.AnswerSettingsRequest(message);
  EXPECT_NE(options[3], nullptr);
  EXPECT_NE(Add(tree, options[3], "section"), nullptr);
  EXPECT_FALSE(tree.IsLive(nullptr));
}

TEST(SettingsTree, StoringASettingReplacesItsKeyAndStopsWhereTheTreeRefuses) {
  SettingsTree tree;
  void* first = tree.StoreSetting("Section", "key", "1");
  ASSERT_NE(first, nullptr);
  EXPECT_NE(tree.StoreSetting("Section", "other", "2"), nullptr);
  void* second = tree.StoreSetting("Section", "key", "3");
  ASSERT_NE(second, nullptr);
  const std::vector<SettingsEntry> entries = tree.ListChildren(tree.FindSection("Section"));
  ASSERT_EQ(entries.size(), 2u);  // one section, the key once, with its last text
  EXPECT_EQ(entries[0].name, "other");
  EXPECT_EQ(entries[1].name, "key");
  EXPECT_EQ(entries[1].text, std::optional<std::string>("3"));
  EXPECT_FALSE(tree.IsLive(first));

  EXPECT_EQ(tree.StoreSetting("Section", "not a name", "4"), nullptr);
  tree.faults().refuseAddChild = true;
  EXPECT_EQ(tree.StoreSetting("Missing", "key", "5"), nullptr);
  EXPECT_EQ(tree.FindSection("Missing"), nullptr);
  EXPECT_TRUE(tree.faultLog().Empty()) << tree.faultLog().Describe();
}

// A key stored twice (a merged file): the plug-in reads the first and replaces
// it at the end, so the second would be read next time. Only the first stays.
TEST(SettingsTree, DroppingRepeatedChildrenKeepsTheFirstOfTheName) {
  SettingsTree tree;
  void* section = Add(tree, tree.PluginSettings(), "Section");
  for (const char* name : {"update", "all", "update", "update"}) Add(tree, section, name);
  void* first = Find(tree, section, "update");
  EXPECT_EQ(tree.DropRepeatedChildren(section, "update"), 2u);
  EXPECT_EQ(Names(tree.ListChildren(section)), (std::vector<std::string>{"update", "all"}));
  EXPECT_EQ(Find(tree, section, "update"), first);
  EXPECT_EQ(tree.DropRepeatedChildren(section, "all"), 0u);
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

  // Runs `body` in a fork()ed child, which an alarm ends should it hang, and gives
  // its pid for Wait; the body returns the child's exit code (0: all held).
  // `unprivileged`: as root, the child runs as nobody, so that permissions count.
  static pid_t InChildAsync(const std::function<int()>& body, bool unprivileged = false) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(10);
      if (unprivileged && ::geteuid() == 0 &&
          (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        _exit(90);
      }
      _exit(body());
    }
    return pid;
  }

  // The child's wait status.
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  static int InChild(const std::function<int()>& body, bool unprivileged = false) {
    return Wait(InChildAsync(body, unprivileged));
  }

  static std::string Explain(int status) {
    if (WIFEXITED(status)) return "child exited with " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "child killed by signal " + std::to_string(WTERMSIG(status));
    return "child status " + std::to_string(status);
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
  EXPECT_EQ(tree.FindSection(vhost::veltrane::kSectionName), nullptr);

  void* section = Add(tree, tree.PluginSettings(), vhost::veltrane::kSectionName);
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
      reloaded.ListChildren(reloaded.FindSection(vhost::veltrane::kSectionName));
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
  Add(tree, tree.PluginSettings(), vhost::veltrane::kSectionName);

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
  EXPECT_NE(saved.find(std::string("<") + vhost::veltrane::kSectionName), std::string::npos)
      << saved;
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
  EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kUnusable);
  EXPECT_TRUE(report.canGoOn());
  EXPECT_NE(report.message.find("not a regular file"), std::string::npos) << report.message;
  const vhost::SettingsFileReport save = tree.SaveFile();
  EXPECT_EQ(save.outcome, vhost::SettingsFileReport::Outcome::kUnusable);
  EXPECT_FALSE(save.message.empty());
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(SettingsFile, UnreadableFileIsLeftInPlaceAndNeverSavedOver) {
  // Nothing is wrong with what the file holds: moving it aside as broken would hide
  // settings that only need their permissions fixed.
  WriteFile(path, "<settings/>");
  fs::permissions(dir, fs::perms::all);
  fs::permissions(path, fs::perms::none);
  const int status = InChild(
      [this] {
        SettingsTree tree;
        const vhost::SettingsFileReport report = tree.LoadFile(path.string());
        if (report.outcome != vhost::SettingsFileReport::Outcome::kUnusable) return 1;
        if (report.message.find("cannot be read") == std::string::npos) return 2;
        if (tree.SaveFile().outcome != vhost::SettingsFileReport::Outcome::kUnusable) return 3;
        return 0;
      },
      /*unprivileged=*/true);
  EXPECT_EQ(status, 0) << Explain(status);
  EXPECT_EQ(ReadFile(path), "<settings/>");  // read back as this test's user
  EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"settings.xml"});
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

std::vector<std::string> Entries(const fs::path& where) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(where)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Loads `file`, adds `key` with `text` to the plug-in's section and saves; the
// child's exit code says which step failed.
int AddKeyAndSave(const std::string& file, const char* key, const char* text) {
  SettingsTree tree;
  if (!tree.LoadFile(file).ok()) return 10;
  void* section = tree.FindSection("section");
  if (section == nullptr) section = Add(tree, tree.PluginSettings(), "section");
  SetText(tree, Add(tree, section, key), text);
  return tree.SaveFile().ok() ? 0 : 11;
}

TEST_F(SettingsFile, WhatIsNoRegularFileStartsEmptyIsNeverOpenedAndNeverSavedOver) {
  const fs::path fifo = dir / "fifo.xml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path directory = dir / "directory.xml";
  fs::create_directory(directory);

  for (const fs::path& target : {fs::path("/dev/null"), fifo, directory}) {
    // In a child: opening the FIFO for reading would block until a writer came.
    const int status = InChild([&target] {
      SettingsTree tree;
      const vhost::SettingsFileReport report = tree.LoadFile(target.string());
      if (report.outcome != vhost::SettingsFileReport::Outcome::kUnusable) return 1;
      if (!report.canGoOn() || report.ok()) return 2;
      if (report.message.find("not a regular file") == std::string::npos) return 3;
      if (report.message.find("starting with empty settings") == std::string::npos) return 4;
      if (!tree.ListChildren(tree.PluginSettings()).empty()) return 5;
      Add(tree, tree.PluginSettings(), "section");
      const vhost::SettingsFileReport save = tree.SaveFile();
      if (save.outcome != vhost::SettingsFileReport::Outcome::kUnusable) return 6;
      if (save.message.find(target.string()) == std::string::npos) return 7;
      return 0;
    });
    EXPECT_EQ(status, 0) << target << ": " << Explain(status);
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_empty(directory));
  // Nothing is created beside them: no lock file, no temporary.
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{"directory.xml", "fifo.xml"}));
  EXPECT_FALSE(fs::exists("/dev/null.lock"));

  // A link to one is the same.
  const fs::path link = dir / "link.xml";
  fs::create_symlink("/dev/null", link);
  SettingsTree tree;
  EXPECT_EQ(tree.LoadFile(link.string()).outcome, vhost::SettingsFileReport::Outcome::kUnusable);
  EXPECT_EQ(tree.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kUnusable);
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(SettingsFile, ASymlinkStaysAndItsTargetIsReplaced) {
  const fs::path real = dir / "real";
  fs::create_directory(real);
  WriteFile(real / "settings.xml", "<settings><pluginsettings/></settings>");
  fs::create_symlink("real/settings.xml", path);               // relative, as users make them
  fs::create_symlink(path, dir / "chained.xml");               // a link to the link
  fs::create_symlink(real / "new.xml", dir / "dangling.xml");  // its target comes later

  ASSERT_EQ(AddKeyAndSave((dir / "chained.xml").string(), "first", "1"), 0);
  ASSERT_EQ(AddKeyAndSave(path.string(), "second", "2"), 0);
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_TRUE(fs::is_symlink(dir / "chained.xml"));
  EXPECT_EQ(fs::read_symlink(path), "real/settings.xml");
  const std::string saved = ReadFile(real / "settings.xml");
  EXPECT_NE(saved.find("<first>1</first>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<second>2</second>"), std::string::npos) << saved;

  SettingsTree tree;
  EXPECT_EQ(tree.LoadFile((dir / "dangling.xml").string()).outcome,
            vhost::SettingsFileReport::Outcome::kMissing);
  // The lock belongs beside the target, where the temporary file goes too.
  EXPECT_EQ(Entries(real), (std::vector<std::string>{"new.xml.lock", "settings.xml"}));
  ASSERT_EQ(tree.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kSaved);
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.xml"));
  EXPECT_TRUE(fs::is_regular_file(real / "new.xml"));
  EXPECT_EQ(Entries(dir),
            (std::vector<std::string>{"chained.xml", "dangling.xml", "real", "settings.xml"}));
  EXPECT_EQ(Entries(real), (std::vector<std::string>{"new.xml", "settings.xml"}));

  // A broken target is what moves aside; the link stays and gets a fresh target.
  WriteFile(real / "settings.xml", "<settings>");
  const vhost::SettingsFileReport broken = tree.LoadFile(path.string());
  EXPECT_EQ(broken.outcome, vhost::SettingsFileReport::Outcome::kRecovered);
  EXPECT_EQ(broken.movedTo.rfind((real / "settings.xml.broken-").string(), 0), 0u)
      << broken.movedTo;
  EXPECT_TRUE(fs::is_symlink(path));
  ASSERT_TRUE(tree.SaveFile().ok());
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_TRUE(fs::is_regular_file(real / "settings.xml"));

  // A loop of links cannot be followed: used as nothing, never written.
  fs::create_symlink("loop-b.xml", dir / "loop-a.xml");
  fs::create_symlink("loop-a.xml", dir / "loop-b.xml");
  const vhost::SettingsFileReport loop = tree.LoadFile((dir / "loop-a.xml").string());
  EXPECT_EQ(loop.outcome, vhost::SettingsFileReport::Outcome::kUnusable);
  EXPECT_NE(loop.message.find("cannot be examined"), std::string::npos) << loop.message;
  EXPECT_EQ(tree.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kUnusable);
  EXPECT_TRUE(fs::is_symlink(dir / "loop-a.xml"));
}

// The signal a test sends itself from inside the save.
int g_signal_in_save = 0;

void RaiseWhileSaving(const char* temporary) {
  if (::access(temporary, F_OK) != 0) _exit(20);  // the hook must see the temporary file
  ::raise(g_signal_in_save);
}

TEST_F(SettingsFile, ASignalDuringTheSaveLeavesNoTemporaryFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    const std::string key = "key" + std::to_string(signal);
    const int status = InChild([this, signal, &key] {
      const rlimit no_core{0, 0};
      ::setrlimit(RLIMIT_CORE, &no_core);  // SIGQUIT would dump one
      SettingsTree tree;
      if (!tree.LoadFile(path.string()).ok()) return 1;
      SetText(tree, Add(tree, tree.PluginSettings(), key.c_str()), "1");
      g_signal_in_save = signal;
      tree.whileSaving = RaiseWhileSaving;
      tree.SaveFile();
      return 2;  // the signal should have ended the process on the way out
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
        << signal << ": " << Explain(status);
    // Nor a lock file: its removal happens before the signal is let through.
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"settings.xml"}) << signal;
    // The signal waited for the rename: the save is whole.
    EXPECT_NE(ReadFile(path).find("<" + key + ">1</" + key + ">"), std::string::npos) << signal;
  }

  // Without a signal, the mask is as it was before the save.
  sigset_t before;
  sigset_t after;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &before);
  SettingsTree tree;
  ASSERT_TRUE(tree.LoadFile(path.string()).ok());
  ASSERT_TRUE(tree.SaveFile().ok());
  ::pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD}) {
    EXPECT_EQ(sigismember(&before, signal), sigismember(&after, signal)) << signal;
  }
}

// A run that a termination signal ends while it holds the lock (loading a large
// model, say) removes the lock file and ends as the signal would have ended it;
// the settings file is not touched.
TEST_F(SettingsFile, AStopSignalWhileLockedTakesTheLockFileAlong) {
  const std::string stored = "<settings><kept/></settings>";
  WriteFile(path, stored);
  const std::string lock_file = path.string() + ".lock";
  // A pipeline's reader gone: SIGPIPE (the tool's test sends the others).
  const int piped = InChild([&] {
    std::signal(SIGPIPE, SIG_DFL);
    SettingsTree tree;
    if (!tree.LoadFile(path.string()).ok() || !fs::exists(lock_file)) return 1;
    ::raise(SIGPIPE);
    return 2;
  });
  EXPECT_TRUE(WIFSIGNALED(piped) && WTERMSIG(piped) == SIGPIPE) << Explain(piped);
  EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"settings.xml"});
  EXPECT_EQ(ReadFile(path), stored);

  // A signal the process ignores stays ignored; a fork()ed child (an import's)
  // ended by a signal leaves its parent's lock alone; and once the lock is let
  // go, the actions are what they were.
  const int status = InChild([&] {
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    {
      SettingsTree tree;
      if (!tree.LoadFile(path.string()).ok()) return 1;
      ::raise(SIGTERM);
      std::fflush(nullptr);
      const pid_t child = ::fork();
      if (child == 0) {
        ::raise(SIGINT);
        _exit(2);
      }
      const int child_status = Wait(child);
      if (!WIFSIGNALED(child_status) || WTERMSIG(child_status) != SIGINT) return 3;
      if (!fs::exists(lock_file)) return 4;
      struct sigaction during {};
      ::sigaction(SIGINT, nullptr, &during);
      if (during.sa_handler == SIG_DFL) return 5;
    }
    struct sigaction after {};
    ::sigaction(SIGINT, nullptr, &after);
    if (after.sa_handler != SIG_DFL) return 6;
    ::sigaction(SIGTERM, nullptr, &after);
    return after.sa_handler == SIG_IGN ? 0 : 7;
  });
  EXPECT_EQ(status, 0) << Explain(status);
  EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"settings.xml"});
}

TEST_F(SettingsFile, TwoRunsAtOnceSerialiseAndBothChangesSurvive) {
  int loaded[2];
  ASSERT_EQ(::pipe(loaded), 0);
  const int first = InChildAsync([&] {
    SettingsTree tree;
    if (!tree.LoadFile(path.string()).ok()) return 1;
    SetText(tree, Add(tree, tree.PluginSettings(), "first"), "1");
    if (::write(loaded[1], "x", 1) != 1) return 2;  // the second run starts now
    ::usleep(300 * 1000);
    return tree.SaveFile().ok() ? 0 : 3;
  });
  char byte = 0;
  ASSERT_EQ(::read(loaded[0], &byte, 1), 1);
  const int second = InChildAsync([&] {
    SettingsTree tree;
    bool told = false;
    const vhost::SettingsFileReport report =
        tree.LoadFile(path.string(), [&told](const std::string&) { told = true; });
    if (!report.ok()) return 1;
    if (!told) return 2;
    if (report.message.find("waited") == std::string::npos) return 3;
    SetText(tree, Add(tree, tree.PluginSettings(), "second"), "2");
    return tree.SaveFile().ok() ? 0 : 4;
  });
  ::close(loaded[0]);
  ::close(loaded[1]);
  const int first_status = Wait(first);
  const int second_status = Wait(second);
  EXPECT_EQ(first_status, 0) << Explain(first_status);
  EXPECT_EQ(second_status, 0) << Explain(second_status);
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("<first>1</first>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<second>2</second>"), std::string::npos) << saved;

  // A run that does not have to wait says nothing.
  SettingsTree tree;
  const vhost::SettingsFileReport report = tree.LoadFile(path.string());
  EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kLoaded);
  EXPECT_TRUE(report.message.empty()) << report.message;
}

TEST_F(SettingsFile, TheLockLastsFromLoadUntilSaveOrReset) {
  // Whether another process finds the lock file taken right now.
  const auto locked_elsewhere = [this] {
    return InChild([this] {
             const int fd = ::open((path.string() + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
             if (fd < 0) return 1;
             return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 2;
           }) == 0;
  };
  const fs::path lock_file = path.string() + ".lock";
  SettingsTree tree;
  ASSERT_TRUE(tree.LoadFile(path.string()).ok());
  EXPECT_TRUE(locked_elsewhere());

  // A fork()ed copy letting its tree go does not free the parent's lock.
  const int status = InChild([&tree] {
    tree.Reset();
    return 0;
  });
  EXPECT_EQ(status, 0) << Explain(status);
  EXPECT_TRUE(locked_elsewhere());

  // A second tree of this process is refused at once instead of waiting for itself,
  // through a link too. (Here, not in a child: a fork()ed child is another run and
  // would wait for this one.)
  fs::create_symlink(path, dir / "link.xml");
  for (const fs::path& same : {path, dir / "link.xml"}) {
    SettingsTree other;
    const vhost::SettingsFileReport report = other.LoadFile(same.string());
    EXPECT_EQ(report.outcome, vhost::SettingsFileReport::Outcome::kFailed) << same;
    EXPECT_NE(report.message.find("this process"), std::string::npos) << report.message;
    EXPECT_EQ(other.SaveFile().outcome, vhost::SettingsFileReport::Outcome::kFailed) << same;
  }
  EXPECT_TRUE(locked_elsewhere());  // the refused trees took nothing from the holder

  ASSERT_TRUE(tree.SaveFile().ok());
  EXPECT_FALSE(locked_elsewhere());
  EXPECT_FALSE(fs::exists(lock_file));  // the holder removes it as it lets go
  // The file is another run's now: saving again without loading it is refused.
  const vhost::SettingsFileReport again = tree.SaveFile();
  EXPECT_EQ(again.outcome, vhost::SettingsFileReport::Outcome::kFailed);
  EXPECT_NE(again.message.find("already saved"), std::string::npos) << again.message;

  ASSERT_TRUE(tree.LoadFile(path.string()).ok());
  EXPECT_TRUE(locked_elsewhere());
  tree.Reset();
  EXPECT_FALSE(locked_elsewhere());
  {
    SettingsTree scoped;
    ASSERT_TRUE(scoped.LoadFile(path.string()).ok());
    EXPECT_TRUE(locked_elsewhere());
  }
  EXPECT_FALSE(locked_elsewhere());
  EXPECT_FALSE(fs::exists(lock_file));

  // A run that waited wakes holding the lock file its holder just removed: it must
  // take the file now named instead, or a newcomer would lock that one at once.
  ASSERT_TRUE(tree.LoadFile(path.string()).ok());
  int waiting[2];
  int loaded[2];
  int done[2];
  ASSERT_EQ(::pipe(waiting), 0);
  ASSERT_EQ(::pipe(loaded), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t waiter = InChildAsync([&] {
    SettingsTree later;
    const auto told = [&waiting](const std::string&) { (void)!::write(waiting[1], "w", 1); };
    const char ok = later.LoadFile(path.string(), told).ok() ? 'y' : 'n';
    if (::write(loaded[1], &ok, 1) != 1) return 1;
    char byte = 0;
    return ::read(done[0], &byte, 1) == 1 ? 0 : 2;  // holds the lock until told
  });
  // Only the child writes there: should it end early, the reads below see the end.
  ::close(waiting[1]);
  ::close(loaded[1]);
  char byte = 0;
  ASSERT_EQ(::read(waiting[0], &byte, 1), 1);
  ASSERT_TRUE(tree.SaveFile().ok());
  ASSERT_EQ(::read(loaded[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y');
  EXPECT_TRUE(locked_elsewhere());
  ASSERT_EQ(::write(done[1], "q", 1), 1);
  const int waiter_status = Wait(waiter);
  EXPECT_EQ(waiter_status, 0) << Explain(waiter_status);
  EXPECT_FALSE(fs::exists(lock_file));
  for (int fd : {waiting[0], loaded[0], done[0], done[1]}) ::close(fd);
}

TEST_F(SettingsFile, ARunGoesOnUnlockedWhereNoLockFileCanBeMade) {
  WriteFile(path, "<settings/>");
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const int status = InChild(
      [this] {
        SettingsTree tree;
        const vhost::SettingsFileReport report = tree.LoadFile(path.string());
        if (report.outcome != vhost::SettingsFileReport::Outcome::kLoaded) return 1;
        if (report.message.find("cannot lock") == std::string::npos) return 2;
        // The save cannot succeed there either, and says so.
        const vhost::SettingsFileReport save = tree.SaveFile();
        if (save.outcome != vhost::SettingsFileReport::Outcome::kFailed) return 3;
        return 0;
      },
      /*unprivileged=*/true);
  EXPECT_EQ(status, 0) << Explain(status);

  // A lock file this user may not write still serves: flock() needs no write access.
  fs::permissions(dir, fs::perms::owner_all);
  WriteFile(path.string() + ".lock", "");
  fs::permissions(dir, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                           fs::perms::group_read | fs::perms::group_exec);
  fs::permissions(path.string() + ".lock",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const int read_only = InChild(
      [this] {
        SettingsTree tree;
        const vhost::SettingsFileReport report = tree.LoadFile(path.string());
        if (report.outcome != vhost::SettingsFileReport::Outcome::kLoaded) return 1;
        return report.message.empty() ? 0 : 2;
      },
      /*unprivileged=*/true);
  EXPECT_EQ(read_only, 0) << Explain(read_only);
  fs::permissions(dir, fs::perms::owner_all);
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
