#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <memory>
#include <new>

#include "platform/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace platform {

// Both directions ask for the length first (terminator included), convert into
// a buffer one character longer, and keep the text up to its first NUL.

std::u16string MultiByteToWide(unsigned code_page, const char* text) {
  if (text == nullptr) return {};
  const int length = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[length + 1]());
  if (!buffer) return {};
  if (MultiByteToWideChar(code_page, 0, text, -1, buffer.get(), length) <= 0) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.get()));
}

std::string WideToMultiByte(unsigned code_page, const char16_t* text) {
  if (text == nullptr) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text);
  const int length = WideCharToMultiByte(code_page, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[length + 1]());
  if (!buffer) return {};
  if (WideCharToMultiByte(code_page, 0, wide, -1, buffer.get(), length, nullptr, nullptr) <= 0) {
    return {};
  }
  return std::string(buffer.get());
}

}  // namespace platform
