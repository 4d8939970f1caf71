// Internal: decimal numbers, read and written. The reader is shared by the
// address parsers and the programs' number fields. It reads as
// strtoul(text, &end, 10) does in the C locale, but on a bounded text, in
// any unsigned width, and it tells the caller what strtoul folds away:
// whether there were digits at all, the sign, and whether the digits
// overflowed the width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace velmor {

template <class Unsigned>
struct DecimalNumber {
  Unsigned value = 0;     // the digits' value; meaningless after overflow
  bool digits = false;    // at least one digit was read
  bool negative = false;  // a '-' came before the digits
  bool overflow = false;  // the digits do not fit Unsigned
  const char *end;        // first byte after the number (the start without digits)
};

// White space as the C locale's isspace sees it; the programs never set a
// locale, and a table must read the same in every one.
inline bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

// Reads leading white space, one optional sign and the digits of [p, end).
template <class Unsigned>
DecimalNumber<Unsigned> scan_decimal(const char *p, const char *end) {
  DecimalNumber<Unsigned> number;
  number.end = p;
  while (p < end && is_c_space(*p)) ++p;
  if (p < end && (*p == '+' || *p == '-')) number.negative = *p++ == '-';
  constexpr Unsigned last_safe = std::numeric_limits<Unsigned>::max() / 10;
  constexpr Unsigned last_digit = std::numeric_limits<Unsigned>::max() % 10;
  const char *first_digit = p;
  // So many digits never overflow: no test for it while they last.
  constexpr ptrdiff_t safe_digits = std::numeric_limits<Unsigned>::digits10;
  const char *safe_end = end - p > safe_digits ? p + safe_digits : end;
  for (; p < safe_end && is_decimal_digit(*p); ++p)
    number.value = number.value * 10 + static_cast<Unsigned>(*p - '0');
  for (; p < end && is_decimal_digit(*p); ++p) {
    const auto digit = static_cast<Unsigned>(*p - '0');
    if (number.value > last_safe || (number.value == last_safe && digit > last_digit))
      number.overflow = true;
    number.value = number.value * 10 + digit;
  }
  number.digits = p != first_digit;
  if (!number.digits) number.negative = false;
  if (number.digits) number.end = p;
  return number;
}

// What strtoul gives for the number: the maximum after an overflow (whatever
// the sign), else the value negated in unsigned arithmetic after a '-'.
inline uint64_t strtoul_value(const DecimalNumber<uint64_t> &number) {
  if (number.overflow) return UINT64_MAX;
  return number.negative ? 0 - number.value : number.value;
}

// Room for the decimal text of any Unsigned and its NUL (a byte holds
// fewer than three decimal digits).
template <class Unsigned>
constexpr size_t decimal_text_size = 3 * sizeof(Unsigned) + 1;

// Writes value in decimal and a NUL into dst (decimal_text_size<Unsigned>
// bytes), for widths printf has no conversion for: the number of digits.
template <class Unsigned>
size_t format_decimal(Unsigned value, char *dst) {
  char reversed[decimal_text_size<Unsigned>];
  size_t length = 0;
  do {
    reversed[length++] = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  for (size_t i = 0; i < length; ++i) dst[i] = reversed[length - 1 - i];
  dst[length] = '\0';
  return length;
}

}  // namespace velmor
