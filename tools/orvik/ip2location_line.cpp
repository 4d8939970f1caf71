// Reading one IP2Location LITE DB1 line.
#include "ip2location_line.h"

#include <cstring>

namespace orvik {

using velmor::uint128;

void Ip2locationReader::read(const char *line, bool first, RangeLine *out) {
  *out = RangeLine();
  fields_.split(line, ',', 4);
  if (first && is_header(fields_, 3)) {
    out->passed = true;
    return;
  }
  Range<uint128> &range = out->range;
  uint128 start = 0, end = 0;
  const bool numbers =
      fields_.count() >= 2 && read_number(fields_[0], &start) && read_number(fields_[1], &end);
  if (numbers) {
    range.start = start;
    range.end = end;
    out->family = family_of_numbers(&range);
  } else if (fields_.count() >= 1 && read_number(fields_[0], &start) && start > UINT32_MAX) {
    out->family = Family::ipv6;  // a malformed line of the IPv6 file is counted there
  }
  if (!numbers || fields_.count() < 3 || *fields_[2] == '\0') {
    range = Range<uint128>();
    range.malformed = true;
    return;
  }
  if (strcmp(fields_[2], "-") == 0) {  // no country: a gap
    range = Range<uint128>();
    out->passed = true;
    return;
  }
  range.name = fields_.count() > 3 ? fields_[3] : nullptr;
  take_code(fields_[2], &code_, &range);
}

std::string Ip2locationReader::title(const char *) const {
  return fields_.count() > 3 ? fields_[3] : "";
}

}  // namespace orvik
