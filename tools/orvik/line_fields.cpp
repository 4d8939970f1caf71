// Reading the fields of one input line.
#include <cstdint>

#include "orvik.h"
#include "str.h"

uint32_t orvik_parse_number(const char *p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  // Beyond this, one more digit no longer fits 64 bits.
  constexpr uint64_t kLastSafe = UINT64_MAX / 10;
  constexpr uint64_t kLastDigit = UINT64_MAX % 10;
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const auto digit = static_cast<uint64_t>(*p - '0');
    if (value > kLastSafe || (value == kLastSafe && digit > kLastDigit)) {
      return UINT32_MAX;  // saturated: all bits set
    }
    value = value * 10 + digit;
  }
  if (negative) value = 0 - value;
  return static_cast<uint32_t>(value);
}

void orvik_read_line(const char *line, orvik_line *out) {
  char first[32], last[32], start[32], end[32];
  str_split(line, ",", 32, first, last, start, end, out->code, out->name, nullptr);

  // Without a fifth field the numbers and the code have nothing to be read
  // from; such a line reads like one whose numbers hold no digits.
  out->complete = out->code[0] != '\0';
  if (!out->complete) {
    out->start = out->end = 0;
    return;
  }
  // Each field opens with a quote; its text starts at the second character.
  out->start = orvik_parse_number(start + 1);
  out->end = orvik_parse_number(end + 1);

  char *code = out->code;
  char *p = code;
  for (const char *q = code + 1; *q != '\0'; ++q) *p++ = *q;  // drop the first character
  *p = '\0';
  str_fold(code);
  for (p = code; *p != '\0' && *p != '"'; ++p) {
  }
  *p = '\0';
}
