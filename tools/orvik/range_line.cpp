// Reading one input line in the run's form.
#include "range_line.h"

#include <arpa/inet.h>

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

// An address as text, read strictly: IPv4 as inet_pton reads it (four
// decimal numbers 0-255 without leading zeros), IPv6 as str_ip6_parse.
bool address_of(Family family, const char *text, uint128 *value) {
  if (family == Family::ipv6) {
    uint8_t bytes[16];
    if (!str_ip6_parse(text, bytes)) return false;
    *value = velmor::uint128_from_bytes(bytes);
    return true;
  }
  in_addr address;
  if (inet_pton(AF_INET, text, &address) != 1) return false;
  *value = ntohl(address.s_addr);
  return true;
}

}  // namespace

Family family_of(const char *line) {
  for (const char *p = line; *p != '\0' && *p != ','; ++p)
    if (*p == ':') return Family::ipv6;
  return Family::ipv4;
}

void LineReader::read(const char *line, RangeLine *out) {
  family_ = family_of(line);
  out->family = family_;
  out->range = Range<uint128>();
  if (format_ == InputFormat::range_code)
    read_range_code(line, family_, &out->range);
  else if (family_ == Family::ipv6)
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
  split(line, kMaxFields);
  uint128 start = 0, end = 0;
  if (count_ < 5 || !number128(field(2), &start) || !number128(field(3), &end) ||
      *field(4) == '\0') {
    range->malformed = true;
    return;
  }
  range->start = start;
  range->end = end;
  range->name = count_ > 5 ? field(5) : nullptr;
  take_code(field(4), range);
}

void LineReader::read_range_code(const char *line, Family family, Range<uint128> *range) {
  split(line, 3);
  uint128 start = 0, end = 0;
  if (count_ < 3 || !address_of(family, field(0), &start) || !address_of(family, field(1), &end) ||
      *field(2) == '\0') {
    range->malformed = true;
    return;
  }
  range->start = start;
  range->end = end;
  take_code(field(2), range);
}

void LineReader::take_code(const char *code, Range<uint128> *range) {
  code_ = code;
  str_fold(code_.data());
  range->code = code_.c_str();
  range->complete = true;
}

// The fields as CSV (read_csv_field's reading), blanks after a comma
// skipped, as the published IPv6 list writes them ("2001:200::", "...").
void LineReader::split(const char *line, size_t max_fields) {
  text_.clear();
  count_ = 0;
  for (const char *p = line; p != nullptr && count_ < max_fields;) {
    while (*p == ' ') ++p;
    starts_[count_++] = text_.size();
    p = append_csv_field(p, &text_);
    text_.push_back('\0');
  }
}

std::string LineReader::title(const char *line) const {
  if (format_ == InputFormat::range_code) return "";
  if (family_ == Family::ipv6) return count_ > 5 ? field(5) : "";
  std::string title;
  read_csv_field(line, 6, &title);
  return title;
}

}  // namespace orvik
