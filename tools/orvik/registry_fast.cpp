// The fast registry reading. RegistryReader splits a record into its first
// seven fields at '|' (a field opening with a quote read as CSV), passes
// asn records and records without a country, and reads an ipv4 record's
// start and count or an ipv6 record's network; fields that need none of
// the careful split's rules read the same found plainly.
#include "registry_fast.h"

#include <cstring>

#include "fast_scan.h"

namespace orvik {

namespace {

using velmor::uint128;

enum Field { kRegistry, kCode, kType, kStart, kValue, kDate, kStatus, kFields };

bool is(const char *begin, const char *end, const char *word) {
  const size_t length = strlen(word);
  return static_cast<size_t>(end - begin) == length && memcmp(begin, word, length) == 0;
}

// An ipv4 record's start and count of addresses, within the IPv4 space.
bool ipv4_span(const char *start, const char *start_end, const char *value, const char *value_end,
               Range<uint128> *range) {
  uint128 first = 0, count = 0;
  if (!fast::dotted_quad(start, start_end, &first) || !fast::number(value, value_end, &count) ||
      count == 0 || count - 1 > UINT32_MAX - first)
    return false;
  range->start = first;
  range->end = first + (count - 1);
  return true;
}

// An ipv6 record's network: the start and its prefix length.
bool ipv6_span(const char *start, const char *start_end, const char *value, const char *value_end,
               Range<uint128> *range) {
  uint8_t kinds = 0;
  uint128 first = 0, length = 0;
  if (fast::address_run(start, &kinds) != start_end || (kinds & fast::kColon) == 0 ||
      !fast::ipv6_groups(start, start_end, &first) || !fast::number(value, value_end, &length) ||
      length > 128)
    return false;
  return network_range(first, 128, static_cast<unsigned>(length), range);
}

}  // namespace

bool FastRegistry::read(const char *line, size_t, bool, RangeLine *out) {
  // Comments, empty lines and the version line are the careful reader's.
  if (*line == '\0' || *line == '#' || fast::kind_of(*line) == fast::kDigit) return false;
  const char *field[kFields] = {};
  const char *field_end[kFields] = {};
  const char *p = line;
  for (int i = 0; i < kFields; ++i) {
    if (*p == '"') return false;
    field[i] = p;
    while (*p != '|' && *p != '\0') ++p;
    field_end[i] = p;
    if (i + 1 < kFields) {
      if (*p != '|') return false;  // too few fields
      ++p;
    }
  }
  const char *code = field[kCode];
  const char *code_end = field_end[kCode];
  for (const char *q = code; q < code_end; ++q)
    if (!fast::is_letter(*q)) return false;  // a summary line's '*', or any other text
  const size_t letters = static_cast<size_t>(code_end - code);
  if (letters > kCodeMax) return false;

  *out = RangeLine();
  const char *type = field[kType];
  const char *type_end = field_end[kType];
  if (is(type, type_end, "asn")) {
    out->passed = true;
    return true;
  }
  Range<uint128> &range = out->range;
  if (is(type, type_end, "ipv4")) {
    out->family = Family::ipv4;
    if (!ipv4_span(field[kStart], field_end[kStart], field[kValue], field_end[kValue], &range))
      return false;
  } else if (is(type, type_end, "ipv6")) {
    out->family = Family::ipv6;
    if (!ipv6_span(field[kStart], field_end[kStart], field[kValue], field_end[kValue], &range))
      return false;
  } else {
    return false;
  }
  const char *status = field[kStatus];
  const char *status_end = field_end[kStatus];
  const bool holds_country =
      is(status, status_end, "allocated") || is(status, status_end, "assigned");
  const bool zz = letters == 2 && (code[0] | 0x20) == 'z' && (code[1] | 0x20) == 'z';
  if (!holds_country || letters == 0 || zz) {
    range = Range<uint128>();  // available, reserved, or no country: a gap
    out->passed = true;
    return true;
  }
  if (out->family == Family::ipv6) out->family = family_of_ipv6(&range);
  fast::fold_letters(code, letters, code_);
  range.code = code_;
  range.complete = true;
  return true;
}

}  // namespace orvik
