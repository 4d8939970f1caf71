// Parsing one piece: a network "a.b.c.d/bits" or a range "a.b.c.d-e.f.g.h".
// The dotted-quad reader reproduces str_ip_parse exactly (strtoul rules for
// each number) but works on a bounded text and is several times faster.
#include <cstring>

#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {

constexpr uint32_t no_address = 0xFFFFFFFFu;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// White space as the C locale's isspace sees it (the tools never set a locale).
bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads one number the way strtoul(p, &stop, 10) does: leading white space,
// an optional sign (a minus negates in unsigned arithmetic), digits; beyond
// 64 bits the value is the maximum. Only the low eight bits are kept. False
// when no digit follows, which strtoul reports by consuming nothing.
bool read_octet_slow(const char **pos, const char *end, uint32_t *octet) {
  const char *p = *pos;
  while (p < end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end || !is_digit(*p)) return false;
  uint64_t value = 0;
  bool overflow = false;
  for (; p < end && is_digit(*p); ++p) {
    uint64_t digit = static_cast<uint64_t>(*p - '0');
    if (value > (UINT64_MAX - digit) / 10) overflow = true;
    value = value * 10 + digit;
  }
  if (overflow)
    value = UINT64_MAX;  // strtoul's overflow result ignores the sign
  else if (negative)
    value = 0 - value;
  *octet = static_cast<uint32_t>(value & 0xFF);
  *pos = p;
  return true;
}

// The common case inline: one to three plain digits.
inline bool read_octet(const char **pos, const char *end, uint32_t *octet) {
  const char *p = *pos;
  if (end - p >= 4 && is_digit(p[0])) {
    uint32_t value = static_cast<uint32_t>(p[0] - '0');
    int n = 1;
    for (; n < 4 && is_digit(p[n]); ++n) value = value * 10 + static_cast<uint32_t>(p[n] - '0');
    if (n < 4) {
      *octet = value & 0xFF;
      *pos = p + n;
      return true;
    }
  }
  return read_octet_slow(pos, end, octet);
}

// The prefix length as atol reads it, clamped far outside 1..32 when huge.
long read_bits(const char *p, const char *end) {
  while (p < end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  long value = 0;
  for (; p < end && is_digit(*p); ++p) {
    if (value < 1000000) value = value * 10 + (*p - '0');
  }
  return negative ? -value : value;
}

const char *find(const char *begin, const char *end, char c) {
  return static_cast<const char *>(memchr(begin, c, static_cast<size_t>(end - begin)));
}

// Logs format with the text [begin, end); pieces are short, so a 64-byte
// copy always holds the text and its terminator.
void log_text(const char *format, const char *begin, const char *end) {
  char text[piece_max + 1];
  size_t len = static_cast<size_t>(end - begin);
  if (len > piece_max) len = piece_max;
  memcpy(text, begin, len);
  text[len] = '\0';
  log_msg(LOG_ERROR, format, text);
}

}  // namespace

uint32_t parse_quad(const char *begin, const char *end) {
  const char *p = begin;
  while (p < end && !is_digit(*p)) ++p;
  uint32_t address = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t octet;
    if (!read_octet(&p, end, &octet)) return no_address;
    if (i < 3) {
      if (p == end || *p != '.') return no_address;
      ++p;
    }
    address = address << 8 | octet;
  }
  return address;
}

Verdict parse_piece(const char *begin, const char *end, Range *range, const char **after_dash) {
  *after_dash = nullptr;
  uint32_t first = parse_quad(begin, end);
  if (first == no_address) return Verdict::no_address;
  if (const char *slash = find(begin, end, '/')) {
    long bits = read_bits(slash + 1, end);
    if (bits < 1 || bits > 32) return Verdict::bad_bits;
    uint32_t host_mask = bits == 32 ? 0 : UINT32_MAX >> bits;
    *range = Range{first, first | host_mask};
    // The start stays as written: cutting it down would widen the range.
    return (first & host_mask) != 0 ? Verdict::masked_network : Verdict::range;
  }
  if (const char *dash = find(begin, end, '-')) {
    *after_dash = dash + 1;
    // A last address that does not parse reads as 255.255.255.255.
    uint32_t last = parse_quad(dash + 1, end);
    *range = Range{first, last};
    if (last == no_address) return Verdict::open_range;
    // A reversed range would make the table's starts descend.
    return last < first ? Verdict::reversed : Verdict::range;
  }
  return Verdict::no_address;
}

void report_piece(Verdict verdict, const char *begin, const char *end, const char *after_dash) {
  switch (verdict) {
    case Verdict::range:
      break;
    case Verdict::masked_network:
      log_text("warning: network has more bits when mask: %s\n", begin, end);
      break;
    case Verdict::open_range:
      log_text("wrong last address: %s\n", after_dash, end);
      break;
    case Verdict::no_address:
      log_text("wrong string: %s\n", begin, end);
      break;
    case Verdict::bad_bits:
      log_text("wrong bits count: %s\n", begin, end);
      break;
    case Verdict::reversed:
      log_text("wrong range order: %s\n", begin, end);
      break;
  }
}

}  // namespace tamsel
