// Numbers of the text bodies that the PLY and STL readers scan: one field, all
// of it a number, read with std::from_chars (no locale, no copy, correctly
// rounded). Inline: a reader asks it of every field.
#pragma once

#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

namespace vhost::models {

// `text` as a float or double, rounded to the nearest; also "inf" and "nan" in
// any case. Past the type's range the value is infinity or zero with the
// number's sign, as a C library's strtof gives it. False when `text` is
// anything else, or holds more.
template <typename Real>
bool ParseReal(std::string_view text, Real& value) {
  const char* begin = text.data();
  const char* const end = begin + text.size();
  if (begin < end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (stop != end || begin == end) return false;
  if (error == std::errc::result_out_of_range) {
    // Which way it went: the decimal exponent of the first significant digit
    // says (no file holds the hundreds of digits it takes to be near).
    const bool negative = *begin == '-';
    const char* c = negative ? begin + 1 : begin;
    int64_t magnitude = 0;
    while (c < end && *c == '0') ++c;
    if (c < end && *c >= '1' && *c <= '9') {
      for (++c; c < end && *c >= '0' && *c <= '9'; ++c) ++magnitude;
    } else if (c < end && *c == '.') {
      for (++c, magnitude = -1; c < end && *c == '0'; ++c) --magnitude;
    }
    while (c < end && *c != 'e' && *c != 'E') ++c;
    if (c < end) {
      const bool down = c + 1 < end && c[1] == '-';
      int64_t exponent = 0;
      for (++c; c < end && exponent < (int64_t{1} << 40); ++c) {
        if (*c >= '0' && *c <= '9') exponent = exponent * 10 + (*c - '0');
      }
      magnitude += down ? -exponent : exponent;
    }
    const Real limit = magnitude >= 0 ? std::numeric_limits<Real>::infinity() : Real(0);
    value = negative ? -limit : limit;
    return true;
  }
  return error == std::errc();
}

// `text` as a whole number in [low, high]: an optional sign and decimal digits.
inline bool ParseInteger(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  const char* begin = text.data();
  const char* const end = begin + text.size();
  if (begin < end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return begin < end && stop == end && error == std::errc() && value >= low && value <= high;
}

}  // namespace vhost::models
