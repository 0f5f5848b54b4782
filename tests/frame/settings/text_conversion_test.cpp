// The frame's text conversions, and that names and texts reach the host's tree
// in UTF-8 whatever the plug-in's own code page.
#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "frame/setting.h"
#include "host/api/host_state.h"
#include "test_station.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The planes themselves are the platform conversion's to test; here only what the
// frame's wrappers add: UTF-8 whatever the plug-in's own code page, and no failure
// on null or invalid text.
TEST(TextConversion, WrappersSpeakUtf8AndNeverFail) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C");  // an ANSI code page that cannot spell any of it
  const std::string utf8 = "A\xC3\xA9\xF0\x9F\x98\x80";  // A é 😀
  const std::u16string wide = Utf8ToWide(utf8.c_str());
  EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0xD83D, 0xDE00}));
  EXPECT_EQ(WideToUtf8(wide.c_str()), utf8);
  EXPECT_EQ(AnsiToUtf8("Veltrane_activate"), "Veltrane_activate");
  std::setlocale(LC_CTYPE, saved.c_str());

  EXPECT_EQ(AnsiToUtf8(nullptr), "");
  EXPECT_EQ(Utf8ToWide(nullptr), u"");
  EXPECT_EQ(WideToUtf8(nullptr), "");
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(Utf8ToWide("a\x80z"), (std::u16string{u'a', kReplacement, u'z'}));
  EXPECT_EQ(Utf8ToWide("\xFF"), (std::u16string{kReplacement}));
  const std::u16string lone{u'a', 0xD800};
  EXPECT_EQ(WideToUtf8(lone.c_str()), "a\xEF\xBF\xBD");
}

class ElementText : public testing_support::BoundHost {};

TEST_F(ElementText, IsCopiedAndAbsentTextIsFalse) {
  vhost::SettingsTree& tree = vhost::State().settings;
  void* settings = tree.PluginSettings();
  std::u16string text = u"stale";
  EXPECT_FALSE(GetElementText(nullptr, text));
  EXPECT_TRUE(text.empty());

  text = u"stale";
  EXPECT_FALSE(GetElementText(settings, text));  // an element without text
  EXPECT_TRUE(text.empty());
  XmlSetTextRecord set{"caf\xC3\xA9"};
  tree.ElementValue(settings, kXmlSetText, &set);
  EXPECT_TRUE(GetElementText(settings, text));
  EXPECT_EQ(text, (std::u16string{u'c', u'a', u'f', 0x00E9}));
  XmlSetTextRecord empty{""};
  tree.ElementValue(settings, kXmlSetText, &empty);
  EXPECT_TRUE(GetElementText(settings, text));  // a text, if an empty one
  EXPECT_TRUE(text.empty());
}

// "café" in the plug-in's own 8-bit code page, or null where this machine has none
// that can spell it.
const char* CafeInAnsi() {
#if defined(_WIN32)
  return GetACP() == 1252 ? "caf\xE9" : nullptr;
#else
  return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr ? "caf\xC3\xA9" : nullptr;
#endif
}

class AnsiNames : public testing_support::BoundHost {
 protected:
  void SetUp() override {
    BoundHost::SetUp();
    saved_ = std::setlocale(LC_CTYPE, nullptr);
  }
  void TearDown() override {
    std::setlocale(LC_CTYPE, saved_.c_str());
    BoundHost::TearDown();
  }
  std::string saved_;
};

TEST_F(AnsiNames, ReachTheHostInUtf8) {
  const char* cafe = CafeInAnsi();
  if (cafe == nullptr) GTEST_SKIP() << "no code page here spells the name";
  EXPECT_EQ(AnsiToUtf8(cafe), "caf\xC3\xA9");

  std::unique_ptr<MQSetting> setting(new MQSetting(vhost::State().settings.PluginSettings(), cafe));
  setting->Save(cafe, 3);
  void* section = vhost::State().settings.FindSection("caf\xC3\xA9");
  ASSERT_NE(section, nullptr);
  const auto entries = vhost::State().settings.ListChildren(section);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "caf\xC3\xA9");
  int32_t value = 0;
  setting->Load(cafe, value, -1);
  EXPECT_EQ(value, 3);
}

}  // namespace
