// What the fast readings scan fields with: the bytes of an address field,
// and readers of decimal numbers, dotted quads and IPv6 groups bounded by
// the field's end, each taking exactly what the careful readers take
// (read_number, read_dotted_quad, str_ip6_parse) or less: a field they
// refuse is left to the careful reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "str/internal/uint128.h"

namespace orvik::fast {

using velmor::uint128;

// What a byte can be in an address field: bits of these, 0 for none.
enum : uint8_t { kDigit = 1, kHexLetter = 2, kColon = 4, kDot = 8 };

struct ByteKinds {
  uint8_t kind[256];
  constexpr ByteKinds() : kind() {
    for (int d = 0; d < 10; ++d) kind['0' + d] = kDigit;
    for (int d = 0; d < 6; ++d) kind['a' + d] = kind['A' + d] = kHexLetter;
    kind[static_cast<unsigned char>(':')] = kColon;
    kind[static_cast<unsigned char>('.')] = kDot;
  }
};

inline constexpr ByteKinds kKinds;

inline uint8_t kind_of(char c) { return kKinds.kind[static_cast<unsigned char>(c)]; }

inline bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

inline int hex_value(char c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// The run of address bytes at p: where it ends, and the kinds it holds.
inline const char *address_run(const char *p, uint8_t *kinds) {
  uint8_t seen = 0;
  for (uint8_t k; (k = kind_of(*p)) != 0; ++p) seen |= k;
  *kinds = seen;
  return p;
}

// Decimal digits [p, end), at most 38 of them (so many never overflow 128
// bits), as read_number reads them.
inline bool decimal(const char *p, const char *end, uint128 *value) {
  const size_t digits = static_cast<size_t>(end - p);
  if (digits > 38) return false;
  const char *split = digits > 19 ? end - 19 : p;
  uint64_t high = 0, low = 0;
  for (; p < split; ++p) high = high * 10 + static_cast<uint64_t>(*p - '0');
  for (; p < end; ++p) low = low * 10 + static_cast<uint64_t>(*p - '0');
  *value = static_cast<uint128>(high) * 10000000000000000000ull + low;
  return true;
}

// Decimal digits only filling [p, end), 1 to 38 of them, as read_number
// reads them.
inline bool number(const char *p, const char *end, uint128 *value) {
  if (p == end) return false;
  for (const char *q = p; q < end; ++q)
    if (kind_of(*q) != kDigit) return false;
  return decimal(p, end, value);
}

// The letters [code, code + letters) into out, folded as str_fold folds
// ASCII letters, and ended by a NUL.
inline void fold_letters(const char *code, size_t letters, char *out) {
  for (size_t i = 0; i < letters; ++i) out[i] = static_cast<char>(code[i] | 0x20);
  out[letters] = '\0';
}

// A dotted quad filling [p, end), as read_dotted_quad reads it.
inline bool dotted_quad(const char *p, const char *end, uint128 *value) {
  uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (p == end || *p++ != '.')) return false;
    if (p == end || kind_of(*p) != kDigit) return false;
    unsigned number = static_cast<unsigned>(*p++ - '0');
    if (number == 0 && p < end && kind_of(*p) == kDigit) return false;  // a leading zero
    for (; p < end && kind_of(*p) == kDigit; ++p) {
      number = number * 10 + static_cast<unsigned>(*p - '0');
      if (number > 255) return false;
    }
    address = address << 8 | number;
  }
  if (p != end) return false;
  *value = address;
  return true;
}

// IPv6 groups filling [p, end), without an embedded dotted quad, as
// str_ip6_parse reads them: 1 to 4 hex digits a group, eight groups or
// fewer with one "::" standing for at least one zero group.
inline bool ipv6_groups(const char *p, const char *end, uint128 *value) {
  uint16_t groups[8];
  int count = 0, gap = -1;
  if (end - p >= 2 && p[0] == ':' && p[1] == ':') {
    gap = 0;
    p += 2;
  }
  while (p < end) {
    const char *group = p;
    unsigned number = 0;
    for (; p < end && p - group < 4 && (kind_of(*p) & (kDigit | kHexLetter)) != 0; ++p)
      number = number << 4 | static_cast<unsigned>(hex_value(*p));
    if (p == group || count == 8) return false;
    groups[count++] = static_cast<uint16_t>(number);
    if (p == end) break;
    if (*p++ != ':') return false;  // a fifth digit, a dot
    if (p < end && *p == ':') {
      if (gap >= 0) return false;
      gap = count;
      ++p;
    } else if (p == end) {
      return false;  // a single ':' at the end
    }
  }
  if (gap >= 0 ? count >= 8 : count != 8) return false;
  // The groups after the gap go to the end; the gap's groups are zeros.
  uint16_t words[8] = {};
  const int head = gap >= 0 ? gap : count;
  for (int i = 0; i < head; ++i) words[i] = groups[i];
  for (int i = head; i < count; ++i) words[8 - count + i] = groups[i];
  uint128 address = 0;
  for (const uint16_t word : words) address = address << 16 | word;
  *value = address;
  return true;
}

}  // namespace orvik::fast
