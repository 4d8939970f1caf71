// The fast six-field reading. Each check below names the case in which the
// careful reading would differ from a plain one; any such line is declined.
#include "six_field_fast.h"

#include <cstring>

#include "str/internal/number_scan.h"

namespace orvik {

namespace {

using velmor::uint128;

// read_line keeps at most 30 characters of a field.
constexpr size_t kFieldKept = 30;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A field of digits only between quotes, [p, end) being the field with its
// quotes; 1 to max_digits digits (so many never overflow the value).
bool quoted_digits(const char *p, const char *end, size_t max_digits, uint128 *value) {
  const size_t digits = static_cast<size_t>(end - p) - 2;
  if (end - p < 3 || *p != '"' || end[-1] != '"' || digits > max_digits) return false;
  ++p;
  // Up to 19 digits fit 64 bits: the high part, then the last 19 digits.
  uint64_t high = 0, low = 0;
  const char *split = digits > 19 ? p + (digits - 19) : p;
  for (; p < split; ++p) {
    if (!velmor::is_decimal_digit(*p)) return false;
    high = high * 10 + static_cast<uint64_t>(*p - '0');
  }
  for (; p < end - 1; ++p) {
    if (!velmor::is_decimal_digit(*p)) return false;
    low = low * 10 + static_cast<uint64_t>(*p - '0');
  }
  *value = static_cast<uint128>(high) * 10000000000000000000ull + low;
  return true;
}

// A code between quotes, [p, end) the field with its quotes: 1 to max
// letters, written folded (ASCII letters fold as str_fold folds them).
bool quoted_code(const char *p, const char *end, size_t max, char *code) {
  const size_t letters = static_cast<size_t>(end - p) - 2;
  if (end - p < 3 || *p != '"' || end[-1] != '"' || letters > max) return false;
  for (size_t i = 0; i < letters; ++i) {
    const char c = p[1 + i];
    if (!is_letter(c)) return false;
    code[i] = static_cast<char>(c | 0x20);
  }
  code[letters] = '\0';
  return true;
}

}  // namespace

bool FastSixField::read(const char *line, size_t length, RangeLine *out) {
  const char *end = line + length;
  // The family of the line as family_of finds it: a ':' before the first
  // comma. (Fields are short: plain loops beat calls of memchr here.)
  for (const char *p = line; p < end && *p != ','; ++p)
    if (*p == ':') return read_ipv6(line, end, out);
  return read_ipv4(line, end, out);
}

// read_line's fields are the runs between commas, empty ones skipped, each
// cut to 30 characters: a line without empty fields among the first six
// and without cuts where they matter reads as the plain split.
bool FastSixField::read_ipv4(const char *line, const char *end, RangeLine *out) {
  const char *field[6];
  const char *field_end[6];
  const char *p = line;
  size_t count = 0;
  for (; count < 6 && p < end; ++count) {
    const char *comma = p;
    while (comma < end && *comma != ',') ++comma;
    field[count] = p;
    field_end[count] = comma;
    if (comma == p) return false;  // an empty field: the tokens shift
    p = comma < end ? comma + 1 : end;
  }
  if (count < 5) return false;
  uint128 start = 0, last = 0;
  if (!quoted_digits(field[2], field_end[2], 10, &start) ||
      !quoted_digits(field[3], field_end[3], 10, &last) || start > UINT32_MAX ||
      last > UINT32_MAX || !quoted_code(field[4], field_end[4], kFieldKept - 2, code_))
    return false;
  // The name: field 6 cut to 30 characters, "" without one.
  size_t name_length = 0;
  if (count == 6) {
    name_length = static_cast<size_t>(field_end[5] - field[5]);
    if (name_length > kFieldKept) name_length = kFieldKept;
    memcpy(name_, field[5], name_length);
  }
  name_[name_length] = '\0';
  *out = RangeLine();
  out->family = Family::ipv4;
  out->range.start = start;
  out->range.end = last;
  out->range.code = code_;
  out->range.name = name_;
  out->range.complete = true;
  return true;
}

// LineReader reads an IPv6 line as CSV, blanks after each comma skipped:
// quoted fields without quotes inside (nor commas, but in the name), a
// sixth that ends the line, read as the plain texts between the quotes.
bool FastSixField::read_ipv6(const char *line, const char *end, RangeLine *out) {
  const char *field[6];
  const char *field_end[6];  // the closing quote
  const char *p = line;
  size_t count = 0;
  for (; count < 6; ++count) {
    while (p < end && *p == ' ') ++p;
    if (p == end || *p != '"') return false;
    const char *close = p + 1;
    bool comma = false;
    for (; close < end && *close != '"'; ++close) comma = comma || *close == ',';
    // A comma in field 1 would end it for family_of; the name may hold some.
    if (close == end || (comma && count < 5)) return false;
    field[count] = p;
    field_end[count] = close + 1;
    p = close + 1;
    if (p == end) {
      ++count;
      break;
    }
    if (*p != ',') return false;
    ++p;
  }
  if (p != end || count < 5) return false;  // more than six fields, or a comma at the end
  uint128 start = 0, last = 0;
  // 38 digits never overflow 128 bits.
  if (!quoted_digits(field[2], field_end[2], 38, &start) ||
      !quoted_digits(field[3], field_end[3], 38, &last) ||
      !quoted_code(field[4], field_end[4], sizeof code_ - 1, code_))
    return false;
  *out = RangeLine();
  out->family = Family::ipv6;
  out->range.start = start;
  out->range.end = last;
  out->range.code = code_;
  out->range.name = nullptr;
  if (count == 6) {
    const size_t name_length = static_cast<size_t>(field_end[5] - field[5]) - 2;
    memcpy(name_, field[5] + 1, name_length);
    name_[name_length] = '\0';
    out->range.name = name_;
  }
  out->range.complete = true;
  return true;
}

}  // namespace orvik
