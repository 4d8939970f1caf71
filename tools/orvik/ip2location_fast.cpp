// The fast IP2Location reading. Ip2locationReader reads a line's first four
// CSV fields; quoted fields without quotes inside are their plain texts, so
// a line of four such fields reads the same scanned once. A "-" code is a
// gap there and here alike.
#include "ip2location_fast.h"

#include <cstring>

#include "fast_scan.h"

namespace orvik {

namespace {

using velmor::uint128;

// The quoted number at *p, followed by a comma; *p moved past the comma.
bool quoted_number(const char **p, uint128 *value) {
  const char *digits = *p + 1;
  if (**p != '"') return false;
  const char *end = digits;
  while (fast::kind_of(*end) == fast::kDigit) ++end;
  if (end == digits || end[0] != '"' || end[1] != ',' || !fast::decimal(digits, end, value))
    return false;
  *p = end + 2;
  return true;
}

}  // namespace

bool FastIp2location::read(const char *line, size_t, bool first, RangeLine *out) {
  if (first) return false;
  const char *p = line;
  *out = RangeLine();
  Range<uint128> &range = out->range;
  if (!quoted_number(&p, &range.start) || !quoted_number(&p, &range.end) || *p != '"') return false;
  const char *code = p + 1;
  const char *code_end = code;
  while (fast::is_letter(*code_end)) ++code_end;
  const bool no_country = code_end == code && *code_end == '-';
  if (no_country) ++code_end;
  const size_t letters = static_cast<size_t>(code_end - code);
  if (letters == 0 || letters > kCodeMax || code_end[0] != '"' || code_end[1] != ',' ||
      code_end[2] != '"')
    return false;
  // The name: up to the quote that ends the line.
  const char *name = code_end + 3;
  const char *name_end = name;
  while (*name_end != '"' && *name_end != '\0') ++name_end;
  if (*name_end != '"' || name_end[1] != '\0') return false;

  out->family = family_of_numbers(&range);
  if (no_country) {  // a gap
    range = Range<uint128>();
    out->passed = true;
    return true;
  }
  fast::fold_letters(code, letters, code_);
  const size_t name_length = static_cast<size_t>(name_end - name);
  memcpy(name_, name, name_length);
  name_[name_length] = '\0';
  range.code = code_;
  range.name = name_;
  range.complete = true;
  return true;
}

}  // namespace orvik
