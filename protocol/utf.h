// UTF-8 and UTF-16 (wide text as the protocol carries it: char16_t), one code point
// at a time and whole strings, for both sides of the protocol. Header-only and
// standard library only, so that the plug-in, its platform layer and the stand-in
// host all share one reading of well-formed text.
//
// The step functions never throw and never read past the view they are given.
// The string functions allocate and so can throw std::bad_alloc, nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mq {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// One step through text: the code point read and how many units it took.
// `valid` false: the units are ill-formed. Then `length` is the maximal
// ill-formed subpart (at least 1, so a decoder always advances) and `codePoint`
// is the first unit as it is, which a caller either replaces or passes on.
struct UtfStep {
  char32_t codePoint = 0;
  std::size_t length = 0;
  bool valid = false;
};

// The UTF-8 sequence at the start of `text`, which must not be empty. Overlong
// forms, encoded surrogates, code points above U+10FFFF and truncated sequences
// are ill-formed; a truncated one (its end, or the first byte that does not fit)
// is one maximal subpart, as the Unicode standard recommends for replacement.
constexpr UtfStep DecodeUtf8(std::string_view text) noexcept {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t extra = 0;
  char32_t cp = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {lead, 1, false};  // a stray continuation or an impossible lead byte
  }
  for (std::size_t i = 1; i <= extra; ++i) {
    if (i >= text.size()) return {lead, i, false};
    const auto next = static_cast<unsigned char>(text[i]);
    if (next < low || next > high) return {lead, i, false};
    cp = (cp << 6) | (next & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {cp, extra + 1, true};
}

// The UTF-16 code point at the start of `text`, which must not be empty: a
// unit, or a high surrogate with the low one after it. An unpaired surrogate is
// ill-formed, one unit long.
constexpr UtfStep DecodeUtf16(std::u16string_view text) noexcept {
  const char32_t unit = text[0];
  if (unit >= 0xD800 && unit <= 0xDBFF && text.size() > 1 && text[1] >= 0xDC00 &&
      text[1] <= 0xDFFF) {
    return {0x10000 + ((unit - 0xD800) << 10) + (text[1] - 0xDC00), 2, true};
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) return {unit, 1, false};
  return {unit, 1, true};
}

// Writes `cp` as UTF-8 into `out` and answers the number of bytes (1 to 4). A
// surrogate or a value above U+10FFFF is written as U+FFFD.
constexpr std::size_t EncodeUtf8(char32_t cp, char (&out)[4]) noexcept {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// Writes `cp` as UTF-16 into `out` and answers the number of units (1 or 2). A
// surrogate or a value above U+10FFFF is written as U+FFFD.
constexpr std::size_t EncodeUtf16(char32_t cp, char16_t (&out)[2]) noexcept {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
  if (cp < 0x10000) {
    out[0] = static_cast<char16_t>(cp);
    return 1;
  }
  cp -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  return 2;
}

// Whether `text` is well-formed UTF-8 throughout (empty text is).
constexpr bool IsValidUtf8(std::string_view text) noexcept {
  while (!text.empty()) {
    const UtfStep step = DecodeUtf8(text);
    if (!step.valid) return false;
    text.remove_prefix(step.length);
  }
  return true;
}

// UTF-8 → UTF-16; each maximal ill-formed subpart becomes one U+FFFD. The whole
// view is converted, NULs included.
inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const UtfStep step = DecodeUtf8(text);
    char16_t units[2] = {};
    out.append(units, EncodeUtf16(step.valid ? step.codePoint : kReplacementCharacter, units));
    text.remove_prefix(step.length);
  }
  return out;
}

// UTF-16 → UTF-8; each unpaired surrogate becomes U+FFFD. The whole view is
// converted, NULs included.
inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const UtfStep step = DecodeUtf16(text);
    char bytes[4] = {};
    out.append(bytes, EncodeUtf8(step.valid ? step.codePoint : kReplacementCharacter, bytes));
    text.remove_prefix(step.length);
  }
  return out;
}

}  // namespace mq
