// Reading one field of a statement: a blank, a digit, the next field, where a
// comment starts, a number's value, a piece of the file for a message. Both the
// splitter and the builder call these for every field they read, so they are
// defined here, inline, rather than behind a call each. They read the caller's
// text in place and keep nothing.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "host/models/model_error.h"
#include "host/models/source_text.h"

namespace vhost::models::obj {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The next blank-separated field at or after `p`, empty at the end of the line
// or where a comment starts (a `#` after a blank; fields are split at blanks,
// so a field that starts with `#` is one).
inline std::string_view NextField(char*& p, char* end) {
  while (p < end && IsBlank(*p)) ++p;
  if (p < end && *p == '#') p = end;
  char* start = p;
  while (p < end && !IsBlank(*p)) ++p;
  return {start, static_cast<std::size_t>(p - start)};
}

// Where the comment in [p, end) starts, or `end`.
inline char* CommentStart(char* p, char* end) {
  for (char* c = p; c < end; ++c) {
    if (*c == '#' && (c == p || IsBlank(c[-1]))) return c;
  }
  return end;
}

// A decimal number with an exponent of at most 4 digits; the whole field must be one.
inline bool IsNumber(std::string_view s) { return IsDecimalNumber(s, 4); }

// The value of a field IsNumber accepted, rounded to the nearest double; past
// the range of a double, infinity or zero with the number's sign.
inline double NumberValue(std::string_view s) {
  const char* begin = s.data();
  const char* const end = begin + s.size();
  if (*begin == '+') ++begin;  // from_chars takes only a minus
  double value = 0;
  if (std::from_chars(begin, end, value).ec == std::errc()) return value;
  // Out of range: the decimal exponent of the first significant digit tells
  // which way (no file holds the hundreds of digits it takes to be near).
  const bool negative = *begin == '-';
  if (negative) ++begin;
  const char* c = begin;
  while (c < end && *c == '0') ++c;
  int64_t magnitude = 0;  // of the first significant digit
  if (c < end && IsDigit(*c)) {
    for (const char* d = c + 1; d < end && IsDigit(*d); ++d) ++magnitude;
  } else if (c < end && *c == '.') {
    for (++c, magnitude = -1; c < end && *c == '0'; ++c) --magnitude;
  }
  const char* e = begin;
  while (e < end && *e != 'e' && *e != 'E') ++e;
  if (e < end) {
    const bool down = e[1] == '-';
    int64_t exponent = 0;
    for (++e; e < end; ++e) {
      if (IsDigit(*e)) exponent = exponent * 10 + (*e - '0');
    }
    magnitude += down ? -exponent : exponent;
  }
  const double limit = magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -limit : limit;
}

// Shows a piece of the file in a message: short, and printable.
inline std::string Quote(std::string_view text) {
  return vhost::Quote(text, {'\'', 40, /*controlsAsQuestionMarks=*/true});
}

}  // namespace vhost::models::obj
