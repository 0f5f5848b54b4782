// The one UTF-8/UTF-16 codec both sides share: the edges of well-formedness, and
// that it keeps to the text it is given (views carry no terminator).
#include "protocol/utf.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

TEST(UtfCodec, Utf8ValidityFollowsTheTableAtEveryEdge) {
  EXPECT_TRUE(mq::IsValidUtf8(""));
  EXPECT_TRUE(mq::IsValidUtf8("\xE0\xA0\x80"));       // U+0800, the first three-byte form
  EXPECT_FALSE(mq::IsValidUtf8("\xE0\x9F\xBF"));      // overlong
  EXPECT_TRUE(mq::IsValidUtf8("\xED\x9F\xBF"));       // U+D7FF
  EXPECT_FALSE(mq::IsValidUtf8("\xED\xA0\x80"));      // an encoded surrogate
  EXPECT_TRUE(mq::IsValidUtf8("\xF0\x90\x80\x80"));   // U+10000
  EXPECT_FALSE(mq::IsValidUtf8("\xF0\x8F\xBF\xBF"));  // overlong
  EXPECT_TRUE(mq::IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
  EXPECT_FALSE(mq::IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(mq::IsValidUtf8("\xC1\xBF"));          // an impossible lead byte
  EXPECT_FALSE(mq::IsValidUtf8("\xC3"));              // truncated at the end
}

TEST(UtfCodec, StaysInsideTheViewItIsGiven) {
  // A lead byte whose continuations lie beyond the view: the bytes after it in
  // memory would complete it, and must not be read.
  const std::string_view euro = "\xE2\x82\xAC";
  const mq::UtfStep cut = mq::DecodeUtf8(euro.substr(0, 2));
  EXPECT_FALSE(cut.valid);
  EXPECT_EQ(cut.length, 2u);
  EXPECT_EQ(mq::Utf8ToUtf16(euro.substr(0, 2)), u"\xFFFD");
  EXPECT_FALSE(mq::IsValidUtf8(euro.substr(0, 1)));

  // A high surrogate at the end of the view, with its partner just past it.
  const std::u16string_view pair = u"\xD83D\xDE00";
  EXPECT_FALSE(mq::DecodeUtf16(pair.substr(0, 1)).valid);
  EXPECT_EQ(mq::Utf16ToUtf8(pair.substr(0, 1)), "\xEF\xBF\xBD");
  EXPECT_EQ(mq::Utf16ToUtf8(pair), "\xF0\x9F\x98\x80");
}

TEST(UtfCodec, ConvertsWholeViewsNulsIncluded) {
  EXPECT_EQ(mq::Utf16ToUtf8(u"a\0b"sv), "a\0b"sv);
  EXPECT_EQ(mq::Utf8ToUtf16("a\0b"sv), u"a\0b"sv);
}

TEST(UtfCodec, IllFormedStepsReportTheUnitsAsTheyAre) {
  // A caller that passes a lone surrogate on (to the C library, say) gets it back.
  const mq::UtfStep lone = mq::DecodeUtf16(u"\xDC00x");
  EXPECT_FALSE(lone.valid);
  EXPECT_EQ(lone.codePoint, 0xDC00u);
  EXPECT_EQ(lone.length, 1u);
  // Encoding never produces a surrogate or anything above U+10FFFF.
  char16_t units[2] = {};
  ASSERT_EQ(mq::EncodeUtf16(0xD800, units), 1u);
  EXPECT_EQ(units[0], 0xFFFD);
  ASSERT_EQ(mq::EncodeUtf16(0x110000, units), 1u);
  EXPECT_EQ(units[0], 0xFFFD);
  char bytes[4] = {};
  EXPECT_EQ(std::string(bytes, mq::EncodeUtf8(0xDFFF, bytes)), "\xEF\xBF\xBD");
}

}  // namespace
