// The fast range-code reading. LineReader splits a line at its first comma
// or tab into three fields (blanks before a field skipped, quotes read as
// CSV), reads two numbers when both fields are digits only, else two
// addresses of the family the first field's ':' gives. A line of fields
// made only of address bytes, then letters, reads the same split plainly;
// every field this reading cannot take whole is declined.
#include "range_code_fast.h"

#include "fast_scan.h"

namespace orvik {

using velmor::uint128;

bool FastRangeCode::read(const char *line, size_t, bool first, RangeLine *out) {
  if (first) return false;
  uint8_t kinds1 = 0, kinds2 = 0;
  const char *end1 = fast::address_run(line, &kinds1);
  const char separator = *end1;
  if (end1 == line || (separator != ',' && separator != '\t')) return false;
  const char *field2 = end1 + 1;
  const char *end2 = fast::address_run(field2, &kinds2);
  if (end2 == field2 || *end2 != separator) return false;
  const char *code = end2 + 1;
  const char *code_end = code;
  while (fast::is_letter(*code_end)) ++code_end;
  const size_t letters = static_cast<size_t>(code_end - code);
  // LineReader reads no further than the third field.
  if (letters == 0 || letters > kCodeMax || (*code_end != '\0' && *code_end != separator))
    return false;

  *out = RangeLine();
  Range<uint128> &range = out->range;
  if (kinds1 == fast::kDigit && kinds2 == fast::kDigit) {
    if (!fast::decimal(line, end1, &range.start) || !fast::decimal(field2, end2, &range.end))
      return false;
    out->family = family_of_numbers(&range);
  } else if ((kinds1 & fast::kColon) != 0) {
    out->family = Family::ipv6;
    if (!fast::ipv6_groups(line, end1, &range.start) ||
        !fast::ipv6_groups(field2, end2, &range.end))
      return false;
  } else {
    out->family = Family::ipv4;
    if (!fast::dotted_quad(line, end1, &range.start) ||
        !fast::dotted_quad(field2, end2, &range.end))
      return false;
  }
  fast::fold_letters(code, letters, code_);
  range.code = code_;
  range.complete = true;
  return true;
}

}  // namespace orvik
