#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "platform/text.h"
#include "protocol/utf.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = mq::kReplacementCharacter;

void AppendUtf16(std::u16string& out, char32_t code_point) {
  char16_t units[2] = {};
  out.append(units, mq::EncodeUtf16(code_point, units));
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
    AppendUtf16(out, static_cast<char32_t>(wide));
    s += used;
    remaining -= used;
  }
  return out;
}

std::string Utf16ToLocale(const char16_t* s) {
  std::string out;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (std::u16string_view rest(s); !rest.empty();) {
    // A lone surrogate goes to the C library as it is: its answer decides.
    const mq::UtfStep step = mq::DecodeUtf16(rest);
    rest.remove_prefix(step.length);
    const std::size_t length = std::wcrtomb(buffer, static_cast<wchar_t>(step.codePoint), &state);
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
  if (code_page == kUtf8CodePage) return mq::Utf8ToUtf16(text);
  if (code_page == kAnsiCodePage) return LocaleToUtf16(text);
  return {};
}

std::string WideToMultiByte(unsigned code_page, const char16_t* text) {
  if (text == nullptr) return {};
  if (code_page == kUtf8CodePage) return mq::Utf16ToUtf8(text);
  if (code_page == kAnsiCodePage) return Utf16ToLocale(text);
  return {};
}

}  // namespace platform
