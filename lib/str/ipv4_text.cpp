// IPv4 addresses between dotted text and 32-bit host-order values.
#include "str/internal/ipv4_text.h"

#include <cstring>

#include "str.h"
#include "str/internal/number_scan.h"
#include "str/internal/text_ring.h"

namespace velmor {

namespace {

// One number of a quad, slowly: everything strtoul accepts.
bool read_octet_slow(const char **pos, const char *end, uint32_t *octet) {
  DecimalNumber<uint64_t> number = scan_decimal<uint64_t>(*pos, end);
  if (!number.digits) return false;
  *octet = static_cast<uint32_t>(strtoul_value(number) & 0xFF);
  *pos = number.end;
  return true;
}

// The common case inline: one to three plain digits followed by a byte that
// is not a digit.
inline bool read_octet(const char **pos, const char *end, uint32_t *octet) {
  const char *p = *pos;
  if (end - p >= 4 && is_decimal_digit(p[0])) {
    uint32_t value = static_cast<uint32_t>(p[0] - '0');
    int n = 1;
    for (; n < 4 && is_decimal_digit(p[n]); ++n)
      value = value * 10 + static_cast<uint32_t>(p[n] - '0');
    if (n < 4) {
      *octet = value & 0xFF;
      *pos = p + n;
      return true;
    }
  }
  return read_octet_slow(pos, end, octet);
}

// Decimal text of every octet value, four bytes each: length, then digits.
struct OctetTexts {
  char text[256][4] = {};
  constexpr OctetTexts() {
    for (int v = 0; v < 256; ++v) {
      int len = v >= 100 ? 3 : v >= 10 ? 2 : 1;
      text[v][0] = static_cast<char>(len);
      for (int i = len, rest = v; i > 0; --i, rest /= 10)
        text[v][i] = static_cast<char>('0' + rest % 10);
    }
  }
};

constexpr OctetTexts octet_texts;

thread_local TextRing<2, ipv4_text_size> ip_ring;

}  // namespace

uint32_t scan_ipv4(const char *begin, const char *end, const char **stop) {
  const char *p = begin;
  while (p < end && !is_decimal_digit(*p)) ++p;
  uint32_t address = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t octet;
    if (!read_octet(&p, end, &octet)) return no_ipv4;
    if (i < 3) {
      if (p == end || *p != '.') return no_ipv4;
      ++p;
    }
    address = address << 8 | octet;
  }
  if (stop) *stop = p;
  return address;
}

size_t format_ipv4(uint32_t addr, char *dst) {
  size_t len = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char *t = octet_texts.text[(addr >> shift) & 0xFF];
    memcpy(dst + len, t + 1, 3);  // copying all three is cheaper than a loop
    len += static_cast<size_t>(t[0]);
    if (shift != 0) dst[len++] = '.';
  }
  return len;
}

}  // namespace velmor

extern "C" {

uint32_t str_ip_parse(const char *text) {
  if (!text) return 0;
  return velmor::scan_ipv4(text, text + strlen(text));
}

const char *str_ip_format(uint32_t addr) {
  char *slot = velmor::ip_ring.take();
  slot[velmor::format_ipv4(addr, slot)] = '\0';
  return slot;
}

}  // extern "C"
