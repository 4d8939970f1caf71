// Parsing one piece: a network "a.b.c.d/bits", a range "a.b.c.d-e.f.g.h"
// or (with -s) a bare "a.b.c.d", each address read by the library's bounded
// dotted-quad scanner (the rules of str_ip_parse, without copying the piece).
#include <cstring>

#include "misc.h"
#include "str/internal/ipv4_text.h"
#include "str/internal/number_scan.h"
#include "tamsel.h"

namespace tamsel {

namespace {

// The prefix length as atol reads it; anything outside an int reads as out
// of range.
long read_bits(const char *p, const char *end) {
  velmor::DecimalNumber<uint64_t> number = velmor::scan_decimal<uint64_t>(p, end);
  if (number.overflow || number.value > 1000000) return -1;
  long value = static_cast<long>(number.value);
  return number.negative ? -value : value;
}

const char *find(const char *begin, const char *end, char c) {
  return static_cast<const char *>(memchr(begin, c, static_cast<size_t>(end - begin)));
}

// Logs format with the text [begin, end); no piece is longer than
// piece6_max, so the copy always holds the text and its terminator.
void log_text(const char *format, const char *begin, const char *end) {
  char text[piece6_max + 1];
  size_t len = static_cast<size_t>(end - begin);
  if (len > piece6_max) len = piece6_max;
  memcpy(text, begin, len);
  text[len] = '\0';
  log_msg(LOG_ERROR, format, text);
}

}  // namespace

Verdict parse_piece(const char *begin, const char *end, Range *range, const char **after_dash) {
  *after_dash = nullptr;
  uint32_t first = velmor::scan_ipv4(begin, end);
  if (first == velmor::no_ipv4) return Verdict::no_address;
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
    uint32_t last = velmor::scan_ipv4(dash + 1, end);
    *range = Range{first, last};
    if (last == velmor::no_ipv4) return Verdict::open_range;
    // A reversed range would make the table's starts descend.
    return last < first ? Verdict::reversed : Verdict::range;
  }
  return Verdict::no_address;
}

bool parse_single_address(const char *begin, const char *end, Range *range) {
  if (find(begin, end, '/') != nullptr || find(begin, end, '-') != nullptr) return false;
  // stop is set only when four numbers were read, so it also tells the
  // address 255.255.255.255 from no address at all.
  const char *stop = nullptr;
  uint32_t address = velmor::scan_ipv4(begin, end, &stop);
  if (stop == nullptr) return false;
  for (const char *p = stop; p < end; ++p) {
    if (!velmor::is_c_space(*p)) return false;
  }
  *range = Range{address, address};
  return true;
}

void report_piece(Verdict verdict, const char *begin, const char *end, const char *after_dash) {
  switch (verdict) {
    case Verdict::range:
      break;
    case Verdict::masked_network:
      log_text("warning: network has more bits when mask: %s\n", begin, end);
      break;
    case Verdict::open_range:
    case Verdict::bad_last_address:
      log_text("wrong last address: %s\n", after_dash, end);
      break;
    case Verdict::no_address:
    case Verdict::malformed:
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
