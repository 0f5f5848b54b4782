#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "platform/text.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, uint32_t code_point) {
  if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    out.push_back(kReplacement);
  } else if (code_point >= 0x10000) {
    code_point -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(code_point));
  }
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-8 decoding with one U+FFFD per maximal ill-formed subpart, as the Unicode
// standard recommends and current Windows versions do.
std::u16string Utf8ToUtf16(const unsigned char* s) {
  std::u16string out;
  while (*s != 0) {
    const unsigned char lead = *s;
    if (lead < 0x80) {
      out.push_back(lead);
      ++s;
      continue;
    }
    int extra = 0;
    uint32_t cp = 0;
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
      out.push_back(kReplacement);  // a stray continuation or an impossible lead byte
      ++s;
      continue;
    }
    ++s;
    bool complete = true;
    for (int i = 0; i < extra; ++i, ++s) {
      const unsigned char next = *s;
      if (next < low || next > high) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (next & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    if (complete) {
      AppendUtf16(out, cp);
    } else {
      out.push_back(kReplacement);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const char16_t* s) {
  std::string out;
  for (; *s != 0; ++s) {
    uint32_t cp = *s;
    if (cp >= 0xD800 && cp <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // a lone surrogate
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// The locale's multibyte encoding, through the C library.
std::u16string LocaleToUtf16(const char* s) {
  std::u16string out;
  std::mbstate_t state{};
  std::size_t remaining = std::strlen(s);
  while (remaining > 0) {
    wchar_t wide = 0;
    const std::size_t used = std::mbrtowc(&wide, s, remaining, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      out.push_back(kReplacement);  // invalid or truncated: skip one byte and start over
      state = std::mbstate_t{};
      ++s;
      --remaining;
      continue;
    }
    AppendUtf16(out, static_cast<uint32_t>(wide));
    s += used;
    remaining -= used;
  }
  return out;
}

std::string Utf16ToLocale(const char16_t* s) {
  std::string out;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (; *s != 0; ++s) {
    uint32_t cp = *s;
    if (cp >= 0xD800 && cp <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    }
    const std::size_t length = std::wcrtomb(buffer, static_cast<wchar_t>(cp), &state);
    if (length == static_cast<std::size_t>(-1)) {
      out.push_back('?');  // the code page has no such character
      state = std::mbstate_t{};
    } else {
      out.append(buffer, length);
    }
  }
  return out;
}

}  // namespace

std::u16string MultiByteToWide(unsigned code_page, const char* text) {
  if (text == nullptr) return {};
  if (code_page == kUtf8CodePage) return Utf8ToUtf16(reinterpret_cast<const unsigned char*>(text));
  if (code_page == kAnsiCodePage) return LocaleToUtf16(text);
  return {};
}

std::string WideToMultiByte(unsigned code_page, const char16_t* text) {
  if (text == nullptr) return {};
  if (code_page == kUtf8CodePage) return Utf16ToUtf8(text);
  if (code_page == kAnsiCodePage) return Utf16ToLocale(text);
  return {};
}

}  // namespace platform
