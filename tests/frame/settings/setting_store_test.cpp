// The plug-in's settings store against the stand-in host: opening the section,
// loading with defaults and _wtoi-style parsing, saving with replacement, and the
// store's behaviour when the host gives no element.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "frame/host_functions.h"
#include "frame/setting.h"
#include "host/api/host_state.h"
#include "test_station.h"

namespace {

using testing_support::kSectionName;
using testing_support::Station;

vhost::SettingsTree& Tree() { return vhost::State().settings; }

std::unique_ptr<MQSetting> Open() { return std::unique_ptr<MQSetting>(Station().OpenSetting()); }

// Puts a key into the section as a hand-edited or foreign file might hold it;
// `text` null: an element without text.
void Seed(const char* name, const char* text) {
  void* section = Tree().FindSection(kSectionName);
  if (section == nullptr) {
    XmlAddChildRecord add{kSectionName, nullptr};
    Tree().ElementValue(Tree().PluginSettings(), kXmlAddChild, &add);
    section = add.result;
  }
  XmlAddChildRecord key{name, nullptr};
  Tree().ElementValue(section, kXmlAddChild, &key);
  if (text != nullptr) {
    XmlSetTextRecord set{text};
    Tree().ElementValue(key.result, kXmlSetText, &set);
  }
}

std::vector<vhost::SettingsEntry> SectionEntries() {
  return Tree().ListChildren(Tree().FindSection(kSectionName));
}

bool AnyCallOnNull() {
  const auto& calls = Tree().Calls();
  return std::any_of(calls.begin(), calls.end(),
                     [](const vhost::ElementCall& call) { return call.element == nullptr; });
}

class SettingStore : public testing_support::BoundHost {};

TEST_F(SettingStore, OpenSettingAsksForTheElementAndCreatesTheSectionOnce) {
  std::unique_ptr<MQSetting> setting = Open();
  ASSERT_NE(setting, nullptr);
  ASSERT_EQ(vhost::State().messages.size(), 1u);
  const vhost::SentMessage& sent = vhost::State().messages[0];
  EXPECT_EQ(sent.code, 505);
  EXPECT_EQ(sent.product, testing_support::kProduct);
  EXPECT_EQ(sent.id, testing_support::kPluginId);
  EXPECT_EQ(sent.reserved, 0);
  EXPECT_EQ(sent.optionNames, (std::vector<std::string>{"root", "pluginsettings"}));

  EXPECT_EQ(setting->parent, Tree().PluginSettings());
  EXPECT_EQ(setting->sectionName, kSectionName);
  EXPECT_NE(setting->section, nullptr);
  EXPECT_EQ(setting->section, Tree().FindSection(kSectionName));
  EXPECT_TRUE(SectionEntries().empty());

  setting = Open();  // found again, not created twice; deleting wrote nothing
  EXPECT_EQ(setting->section, Tree().FindSection(kSectionName));
  EXPECT_EQ(Tree().ListChildren(Tree().PluginSettings()).size(), 1u);
}

TEST_F(SettingStore, NoSettingsElementGivesNoStoreAndNoElementCalls) {
  Tree().faults().noSettingsElement = true;
  EXPECT_EQ(Station().OpenSetting(), nullptr);
  EXPECT_EQ(vhost::State().messages.size(), 1u);
  EXPECT_TRUE(Tree().Calls().empty());

  // An unbound host table: nothing to ask, nothing answered, no crash.
  void* saved[mq::kHostFunctionCount];
  std::copy(std::begin(mq::detail::g_hostFunctions), std::end(mq::detail::g_hostFunctions), saved);
  std::fill(std::begin(mq::detail::g_hostFunctions), std::end(mq::detail::g_hostFunctions),
            nullptr);
  Tree().faults().noSettingsElement = false;
  EXPECT_EQ(Station().OpenSetting(), nullptr);
  std::copy(std::begin(saved), std::end(saved), mq::detail::g_hostFunctions);
}

TEST_F(SettingStore, FirstRunLoadsEveryDefault) {
  std::unique_ptr<MQSetting> setting = Open();
  bool on = false;
  bool off = true;
  int32_t position = 0;
  setting->Load("visible", on, true);
  setting->Load("update", off, false);
  setting->Load("PosX", position, -1);
  EXPECT_TRUE(on);
  EXPECT_FALSE(off);
  EXPECT_EQ(position, -1);
  EXPECT_TRUE(SectionEntries().empty());  // loading creates no keys
}

TEST_F(SettingStore, SavedValuesComeBackThroughANewStore) {
  {
    std::unique_ptr<MQSetting> setting = Open();
    setting->Save("PosX", 120);
    setting->Save("PosY", -5);
    setting->Save("update", true);
    setting->Save("all", false);
    setting->Save("min", INT32_MIN);
  }
  const std::vector<vhost::SettingsEntry> entries = SectionEntries();
  ASSERT_EQ(entries.size(), 5u);
  const char* expected[][2] = {
      {"PosX", "120"}, {"PosY", "-5"}, {"update", "1"}, {"all", "0"}, {"min", "-2147483648"}};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, expected[i][0]);
    EXPECT_EQ(entries[i].text.value_or("<none>"), expected[i][1]);
  }

  std::unique_ptr<MQSetting> setting = Open();
  int32_t x = 0;
  int32_t y = 0;
  int32_t min = 0;
  bool update = false;
  bool all = true;
  setting->Load("PosX", x, -1);
  setting->Load("PosY", y, -1);
  setting->Load("min", min, -1);
  setting->Load("update", update, false);
  setting->Load("all", all, true);
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, -5);
  EXPECT_EQ(min, INT32_MIN);
  EXPECT_TRUE(update);
  EXPECT_FALSE(all);
}

TEST_F(SettingStore, SavingAKeyAgainReplacesItsElement) {
  std::unique_ptr<MQSetting> setting = Open();
  setting->Save("PosX", 1);
  setting->Save("freeze", true);
  setting->Save("PosX", 2);
  setting->Save("freeze", false);
  const std::vector<vhost::SettingsEntry> entries = SectionEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "PosX");
  EXPECT_EQ(entries[0].text.value_or(""), "2");
  EXPECT_EQ(entries[1].name, "freeze");
  EXPECT_EQ(entries[1].text.value_or(""), "0");
}

TEST_F(SettingStore, StoredTextIsReadTheWayWtoiReadsIt) {
  struct Case {
    const char* text;  // null: an element without text
    int32_t number;    // loaded with default -1
    bool truth;        // loaded with default true
  };
  const Case cases[] = {
      {"2", 2, true},
      {" 7", 7, true},
      {"\t\n-3", -3, true},
      {"+4", 4, true},
      {"12abc", 12, true},
      {"abc", 0, false},
      {"0", 0, false},
      {"-0", 0, false},
      {"- 5", 0, false},
      {"-5", -5, true},
      {"", -1, true},  // empty text: the default, not 0
      {nullptr, -1, true},
      {"2147483647", INT32_MAX, true},
      {"-2147483648", INT32_MIN, true},
      {"2147483648", INT32_MAX, true},  // beyond 32 bits: the nearest 32-bit value
      {"99999999999", INT32_MAX, true},
      {"-99999999999", INT32_MIN, true},
      {"000000000000000000000000042", 42, true},
      {"\xFF\xFE", 0, false},  // not UTF-8: replacement characters, no digit
      {"9\xC0\xAF", 9, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Seed(("k" + std::to_string(i)).c_str(), cases[i].text);
  }
  std::unique_ptr<MQSetting> setting = Open();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string key = "k" + std::to_string(i);
    const char* shown = cases[i].text != nullptr ? cases[i].text : "(no text)";
    int32_t number = 1234;
    bool truth = false;
    setting->Load(key.c_str(), number, -1);
    setting->Load(key.c_str(), truth, true);
    EXPECT_EQ(number, cases[i].number) << '"' << shown << '"';
    EXPECT_EQ(truth, cases[i].truth) << '"' << shown << '"';
  }
}

TEST_F(SettingStore, WithoutASectionLoadGivesDefaultsAndSaveWritesNothing) {
  Tree().faults().refuseAddChild = true;  // the host can neither find nor create it
  std::unique_ptr<MQSetting> setting = Open();
  ASSERT_NE(setting, nullptr);
  EXPECT_EQ(setting->section, nullptr);
  Tree().faults().refuseAddChild = false;
  Seed("PosX", "5");  // present, but not in a section the store holds

  int32_t x = 0;
  bool on = false;
  setting->Load("PosX", x, -1);
  setting->Load("visible", on, true);
  setting->Save("PosX", 9);
  setting->Save("visible", false);
  EXPECT_EQ(x, -1);
  EXPECT_TRUE(on);
  EXPECT_FALSE(AnyCallOnNull());
  ASSERT_EQ(SectionEntries().size(), 1u);
  EXPECT_EQ(SectionEntries()[0].text.value_or(""), "5");

  // A store built on no parent at all asks the host nothing.
  const std::size_t calls = Tree().Calls().size();
  MQSetting orphan(nullptr, kSectionName);
  orphan.Load("PosX", x, 3);
  orphan.Save("PosX", 4);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(Tree().Calls().size(), calls);
}

TEST_F(SettingStore, KeysWithoutANameAreNeitherReadNorWritten) {
  std::unique_ptr<MQSetting> setting = Open();
  int32_t x = 0;
  setting->Load(nullptr, x, 7);
  EXPECT_EQ(x, 7);
  setting->Load("", x, 8);
  EXPECT_EQ(x, 8);
  setting->Save(nullptr, 1);
  setting->Save("", true);
  EXPECT_TRUE(SectionEntries().empty());
}

}  // namespace
