// How a count reads in its field.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <locale>

#include "counter/veltrane_window.h"

namespace {

// A user locale that groups digits in threes with a comma.
struct GroupingPunctuation : std::numpunct<wchar_t> {
  wchar_t do_thousands_sep() const override { return L','; }
  std::string do_grouping() const override { return "\3"; }
};
struct GroupingPunctuationNarrow : std::numpunct<char> {
  char do_thousands_sep() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(FormatCount, PlainDecimalDigits) {
  EXPECT_EQ(FormatCount(0), u"0");
  EXPECT_EQ(FormatCount(7), u"7");
  EXPECT_EQ(FormatCount(1000000), u"1000000");
  EXPECT_EQ(FormatCount(INT32_MAX), u"2147483647");
  EXPECT_EQ(FormatCount(-5), u"-5");
  EXPECT_EQ(FormatCount(INT32_MIN), u"-2147483648");  // the longest: 11 characters
}

TEST(FormatCount, NoGroupingInAnyLocale) {
  const std::locale saved = std::locale::global(std::locale(
      std::locale(std::locale::classic(), new GroupingPunctuation), new GroupingPunctuationNarrow));
  const std::string savedC = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C.UTF-8");  // where the C library has it
  EXPECT_EQ(FormatCount(1234567), u"1234567");
  EXPECT_EQ(FormatCount(-1234567), u"-1234567");
  std::setlocale(LC_ALL, savedC.c_str());
  std::locale::global(saved);
}

}  // namespace
