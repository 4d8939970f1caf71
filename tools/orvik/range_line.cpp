// Reading one six-field or range-code line.
#include "range_line.h"

#include <cstring>

#include "str.h"
#include "str/internal/number_scan.h"

namespace orvik {

namespace {

using velmor::uint128;

// A number field of an IPv6 line, read as the IPv4 numbers are (strtoul's
// way: blanks and a sign before the digits, anything after them ignored),
// in 128 bits. False without digits, with a '-', or beyond 128 bits.
bool number128(const char *text, uint128 *value) {
  const auto number = velmor::scan_decimal<uint128>(text, text + strlen(text));
  if (!number.digits || number.negative || number.overflow) return false;
  *value = number.value;
  return true;
}

// A range-code line's separator: a comma, or a tab when one comes first
// (an address holds neither).
char separator_of(const char *line) {
  const char *p = line + strcspn(line, ",\t");
  return *p == '\t' ? '\t' : ',';
}

}  // namespace

Family family_of(const char *line) {
  for (const char *p = line; *p != '\0' && *p != ','; ++p)
    if (*p == ':') return Family::ipv6;
  return Family::ipv4;
}

void LineReader::read(const char *line, bool first, RangeLine *out) {
  *out = RangeLine();
  if (format_ == InputFormat::range_code) {
    read_range_code(line, first, out);
    return;
  }
  family_ = family_of(line);
  out->family = family_;
  if (family_ == Family::ipv6)
    read_six_field_ipv6(line, &out->range);
  else
    read_six_field_ipv4(line, &out->range);
}

void LineReader::read_six_field_ipv4(const char *line, Range<uint128> *range) {
  read_line(line, &fields_);
  range->start = fields_.start;
  range->end = fields_.end;
  range->code = fields_.code;
  range->name = fields_.name;
  range->complete = fields_.complete;
  range->malformed = fields_.malformed;
}

// Fields 3 and 4 are the range; the text addresses of fields 1 and 2 are not
// used (in the IPv4-mapped region of published lists they disagree with the
// numbers, and the numbers decide).
void LineReader::read_six_field_ipv6(const char *line, Range<uint128> *range) {
  csv_.split(line, ',', kMaxFields, true);
  uint128 start = 0, end = 0;
  if (csv_.count() < 5 || !number128(csv_[2], &start) || !number128(csv_[3], &end) ||
      *csv_[4] == '\0') {
    range->malformed = true;
    return;
  }
  range->start = start;
  range->end = end;
  range->name = csv_.count() > 5 ? csv_[5] : nullptr;
  take_code(csv_[4], &code_, range);
}

// Text addresses keep the family of the line's first field (IPv4-mapped
// texts stay IPv6, as they always did); two numbers give their family by
// value (family_of_numbers).
void LineReader::read_range_code(const char *line, bool first, RangeLine *out) {
  const char separator = separator_of(line);
  csv_.split(line, separator, 3, true);
  Range<uint128> &range = out->range;
  if (first && csv_.count() == 3 && is_header(csv_, 3)) {
    out->passed = true;
    return;
  }
  uint128 start = 0, end = 0;
  if (csv_.count() >= 2 && read_number(csv_[0], &start) && read_number(csv_[1], &end)) {
    range.start = start;
    range.end = end;
    out->family = family_of_numbers(&range);
    if (csv_.count() < 3 || *csv_[2] == '\0') {
      range = Range<uint128>();
      range.malformed = true;
      return;
    }
    take_code(csv_[2], &code_, &range);
    return;
  }
  const Family family = separator == ','                  ? family_of(line)
                        : strchr(csv_[0], ':') != nullptr ? Family::ipv6
                                                          : Family::ipv4;
  out->family = family;
  if (csv_.count() < 3 || !read_address(family, csv_[0], &start) ||
      !read_address(family, csv_[1], &end) || *csv_[2] == '\0') {
    range.malformed = true;
    return;
  }
  range.start = start;
  range.end = end;
  take_code(csv_[2], &code_, &range);
}

std::string LineReader::title(const char *line) const {
  if (format_ == InputFormat::range_code) return "";
  if (family_ == Family::ipv6) return csv_.count() > 5 ? csv_[5] : "";
  std::string title;
  read_csv_field(line, 6, &title);
  return title;
}

}  // namespace orvik
