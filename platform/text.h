// Conversions between 8-bit code pages and UTF-16, with the semantics of the
// Windows functions MultiByteToWideChar / WideCharToMultiByte called without flags:
// invalid input becomes U+FFFD (or '?' where a code page has no such character),
// never an error, and a failure yields an empty string.
//
// Code page 0 is the system's ANSI code page: on Windows CP_ACP, elsewhere the
// multibyte encoding of the C library's current LC_CTYPE locale. Code page 65001
// is UTF-8. Other numbers are supported on Windows only (empty result elsewhere).
#pragma once

#include <string>

namespace platform {

inline constexpr unsigned kAnsiCodePage = 0;
inline constexpr unsigned kUtf8CodePage = 65001;

// NUL-terminated 8-bit text → UTF-16. Null text gives an empty string.
std::u16string MultiByteToWide(unsigned code_page, const char* text);

// NUL-terminated UTF-16 text → 8-bit text. Null text gives an empty string.
std::string WideToMultiByte(unsigned code_page, const char16_t* text);

}  // namespace platform
