// Code-page conversions: UTF-8 and the system's ANSI code page to UTF-16 and back,
// with invalid input replaced rather than rejected.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

using platform::kAnsiCodePage;
using platform::kUtf8CodePage;
using platform::MultiByteToWide;
using platform::WideToMultiByte;

namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const std::u16string wide = MultiByteToWide(kUtf8CodePage, utf8.c_str());
  EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(WideToMultiByte(kUtf8CodePage, wide.c_str()), utf8);
}

TEST(Utf8, EmptyAndNullGiveEmpty) {
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, ""), u"");
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, nullptr), u"");
  EXPECT_EQ(WideToMultiByte(kUtf8CodePage, u""), "");
  EXPECT_EQ(WideToMultiByte(kUtf8CodePage, nullptr), "");
}

TEST(Utf8, InvalidInputBecomesReplacementCharacters) {
  const char16_t r = 0xFFFD;
  // A stray continuation byte, a truncated sequence before ASCII, an overlong
  // form, an encoded surrogate, and a truncated sequence at the end.
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, "a\x80z"), (std::u16string{u'a', r, u'z'}));
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, "\xE2\x82z"), (std::u16string{r, u'z'}));
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, "\xC0\xAF"), (std::u16string{r, r}));
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, "x\xF0\x9F\x98"), (std::u16string{u'x', r}));
  EXPECT_EQ(MultiByteToWide(kUtf8CodePage, "\xFF"), (std::u16string{r}));
}

TEST(Utf8, EncodedSurrogatesAreNeverDecoded) {
  // Decoders differ in how many replacements an encoded surrogate yields (one per
  // byte is Unicode's advice); all that matters is that no surrogate comes out.
  const std::u16string wide = MultiByteToWide(kUtf8CodePage, "\xED\xA0\x80");
  ASSERT_FALSE(wide.empty());
  for (char16_t unit : wide) EXPECT_EQ(unit, 0xFFFD);
}

TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
  const std::u16string lone{u'a', 0xD800, u'b', 0xDC00};
  EXPECT_EQ(WideToMultiByte(kUtf8CodePage, lone.c_str()),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(AnsiCodePage, AsciiPassesThrough) {
  EXPECT_EQ(MultiByteToWide(kAnsiCodePage, "PosX"), u"PosX");
  EXPECT_EQ(WideToMultiByte(kAnsiCodePage, u"Veltrane_activate"), "Veltrane_activate");
}

#if defined(_WIN32)

TEST(AnsiCodePage, Windows1252TextReachesUtf8AndUtf16) {
  // "é" is the single byte E9 in code page 1252, C3 A9 in UTF-8, 00E9 in UTF-16.
  const std::u16string wide = MultiByteToWide(1252, "caf\xE9");
  EXPECT_EQ(wide, (std::u16string{u'c', u'a', u'f', 0x00E9}));
  EXPECT_EQ(WideToMultiByte(kUtf8CodePage, wide.c_str()), "caf\xC3\xA9");
  EXPECT_EQ(WideToMultiByte(1252, wide.c_str()), "caf\xE9");
  if (GetACP() == 1252) {
    EXPECT_EQ(MultiByteToWide(kAnsiCodePage, "caf\xE9"), wide);
  }
}

TEST(WideText, IsTheSame16BitUnitsAsWindowsWideText) {
  const std::u16string wide = MultiByteToWide(kUtf8CodePage, "caf\xC3\xA9");
  const auto* as_wchar = reinterpret_cast<const wchar_t*>(wide.c_str());
  EXPECT_EQ(std::wstring(as_wchar), std::wstring(L"caf\u00E9"));
  EXPECT_EQ(lstrlenW(as_wchar), 4);
}

#else

// On POSIX the ANSI code page is the locale's multibyte encoding.
class LocaleCodePage : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = std::setlocale(LC_CTYPE, nullptr); }
  void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }
  std::string saved_;
};

TEST_F(LocaleCodePage, Utf8LocaleReadsUtf8) {
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  EXPECT_EQ(MultiByteToWide(kAnsiCodePage, "caf\xC3\xA9"),
            (std::u16string{u'c', u'a', u'f', 0xE9}));
  EXPECT_EQ(MultiByteToWide(kAnsiCodePage, "\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
  EXPECT_EQ(WideToMultiByte(kAnsiCodePage, u"caf\u00E9"), "caf\xC3\xA9");
}

TEST_F(LocaleCodePage, BytesTheLocaleCannotReadAreReplaced) {
  std::setlocale(LC_CTYPE, "C");
  const std::u16string wide = MultiByteToWide(kAnsiCodePage, "a\xE9z");
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide[0], u'a');
  EXPECT_EQ(wide[2], u'z');
  // "C" may be plain ASCII (replacement) or pass bytes through; never a crash.
  EXPECT_TRUE(wide[1] == 0xFFFD || wide[1] == 0xE9);
}

TEST(OtherCodePages, AreNotKnownHere) {
  EXPECT_EQ(MultiByteToWide(1252, "abc"), u"");
  EXPECT_EQ(WideToMultiByte(1252, u"abc"), "");
}

#endif

}  // namespace
