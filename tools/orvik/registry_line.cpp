// Reading one line of a registry's delegated statistics.
#include "registry_line.h"

#include <cstring>

#include "str.h"
#include "str/internal/number_scan.h"

namespace orvik {

using velmor::uint128;

namespace {

enum Field { kRegistry, kCode, kType, kStart, kValue, kDate, kStatus, kFields };

bool holds_country(const char *status) {
  return strcmp(status, "allocated") == 0 || strcmp(status, "assigned") == 0;
}

}  // namespace

void RegistryReader::read(const char *line, bool, RangeLine *out) {
  *out = RangeLine();
  // Comments, empty lines and the version line ("2.3|ripencc|20261209|...",
  // the only line that opens with a digit) hold no range.
  if (*line == '\0' || *line == '#' || velmor::is_decimal_digit(*line)) {
    out->passed = true;
    return;
  }
  fields_.split(line, '|', kFields);
  const size_t count = fields_.count();
  // Summary lines: "ripencc|*|ipv4|*|count|summary".
  if (count > kCode && strcmp(fields_[kCode], "*") == 0) {
    out->passed = true;
    return;
  }
  Range<uint128> &range = out->range;
  if (count < kFields) {
    range.malformed = true;
    return;
  }
  const char *type = fields_[kType];
  if (strcmp(type, "asn") == 0) {
    out->passed = true;
    return;
  }
  if (strcmp(type, "ipv4") != 0 && strcmp(type, "ipv6") != 0) {
    range.malformed = true;
    return;
  }
  out->family = type[3] == '4' ? Family::ipv4 : Family::ipv6;
  if (!read_span(out->family, fields_[kStart], fields_[kValue], &range)) {
    range = Range<uint128>();
    range.malformed = true;
    return;
  }
  const char *code = fields_[kCode];
  if (!holds_country(fields_[kStatus]) || *code == '\0' || strcasecmp(code, "ZZ") == 0) {
    range = Range<uint128>();  // available, reserved, or no country: a gap
    out->passed = true;
    return;
  }
  if (out->family == Family::ipv6) out->family = family_of_ipv6(&range);
  take_code(code, &code_, &range);
}

bool RegistryReader::read_span(Family family, const char *start, const char *value,
                               Range<uint128> *range) {
  uint128 first = 0, number = 0;
  if (!read_address(family, start, &first) || !read_number(value, &number)) return false;
  if (family == Family::ipv4) {
    // A count of addresses from first on, within the IPv4 space.
    if (number == 0 || number - 1 > UINT32_MAX - first) return false;
    range->start = first;
    range->end = first + (number - 1);
    return true;
  }
  const std::string network = std::string(start) + "/" + value;
  Family read_family;
  return read_network(network.c_str(), &read_family, range);
}

}  // namespace orvik
