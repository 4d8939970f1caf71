// Parsing one IPv6 piece (-6): a network "2001:db8::/32", a range
// "2001:db8::1-2001:db8::ff" or (with -s) a bare "2001:db8::1", each address
// read by the library's bounded scanner. Unlike the IPv4 reading nothing is
// skipped or guessed: text before the address would swallow hex letters
// ("face 2001:db8::/32"), so only white space may come before it, and a
// last address that does not read refuses the piece instead of running the
// range to the top of the space.
#include "str/internal/ipv6_text.h"
#include "str/internal/number_scan.h"
#include "tamsel.h"

namespace tamsel {

namespace {

using velmor::uint128;

const char *skip_space(const char *p, const char *end) {
  while (p < end && velmor::is_c_space(*p)) ++p;
  return p;
}

const char *trim_space(const char *begin, const char *end) {
  while (end > begin && velmor::is_c_space(end[-1])) --end;
  return end;
}

// The address starting exactly at p; the position after it, or nullptr.
const char *read_address(const char *p, const char *end, uint128 *address) {
  uint8_t bytes[16];
  const char *stop = velmor::scan_ipv6(p, end, bytes);
  if (stop != nullptr) *address = velmor::uint128_from_bytes(bytes);
  return stop;
}

// The prefix length filling [p, end): decimal digits only (no sign, no
// space), 1 to 128; -1 for anything else.
int read_bits(const char *p, const char *end) {
  if (p == end || !velmor::is_decimal_digit(*p)) return -1;
  velmor::DecimalNumber<uint64_t> number = velmor::scan_decimal<uint64_t>(p, end);
  if (number.end != end || number.overflow || number.value < 1 || number.value > 128) return -1;
  return static_cast<int>(number.value);
}

Verdict network(uint128 first, const char *bits_text, const char *end, Range6 *range) {
  int bits = read_bits(bits_text, end);
  if (bits < 0) return Verdict::bad_bits;
  uint128 host_mask = bits == 128 ? 0 : velmor::uint128_max >> bits;
  *range = Range6{first, first | host_mask};
  // As for IPv4, the start stays as written: cutting it down would widen
  // the range.
  return (first & host_mask) != 0 ? Verdict::masked_network : Verdict::range;
}

// The last address must fill [p, end) exactly.
Verdict explicit_range(uint128 first, const char *p, const char *end, Range6 *range) {
  uint128 last = 0;
  if (read_address(p, end, &last) != end) return Verdict::bad_last_address;
  *range = Range6{first, last};
  return last < first ? Verdict::reversed : Verdict::range;
}

}  // namespace

Verdict parse_piece6(const char *begin, const char *end, bool single, Range6 *range,
                     const char **after_dash) {
  *after_dash = nullptr;
  end = trim_space(begin, end);
  uint128 first = 0;
  const char *p = read_address(skip_space(begin, end), end, &first);
  if (p == nullptr) return Verdict::no_address;
  if (p < end && *p == '/') return network(first, p + 1, end, range);
  p = skip_space(p, end);
  if (p == end) {
    if (!single) return Verdict::malformed;
    *range = Range6{first, first};
    return Verdict::range;
  }
  if (*p != '-') return Verdict::malformed;
  *after_dash = p + 1;
  return explicit_range(first, skip_space(p + 1, end), end, range);
}

}  // namespace tamsel
