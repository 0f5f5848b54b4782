// How a stored option text must read, worked out from the bytes alone and apart
// from the settings store, so tests can hold the store to it: leading blanks, an
// optional sign, decimal digits up to the first other byte, saturating at the
// 32-bit range; no digits read 0; an empty text reads the default. Bytes that
// are not ASCII never count as blanks, signs or digits.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

inline int32_t ReadStoredSetting(const std::string& text, int32_t fallback) {
  if (text.empty()) return fallback;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t magnitude = 0;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace testing_support
