// The fast six-field reading. Each check below names the case in which the
// careful reading would differ from a plain one; any such line is declined.
#include "six_field_fast.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fast_scan.h"
#include "str/internal/number_scan.h"

namespace orvik {

namespace {

using velmor::uint128;

// read_line keeps at most 30 characters of a field.
constexpr size_t kFieldKept = 30;

uint64_t load(const char *p) {
  uint64_t word;
  memcpy(&word, p, sizeof word);
  return word;
}

#if !defined(__SSE2__)
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7FULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

// The high bit of each byte of word that equals c (exactly: no carries
// cross bytes).
uint64_t equal_bytes(uint64_t word, unsigned char c) {
  const uint64_t x = word ^ (kOnes * c);
  return ~(((x & kLows) + kLows) | x) & kHighs;
}
#endif

// The positions of the bytes c in [p, end), at most max of them, into
// found; gives how many. Sixteen bytes a step with SSE2 (every x86-64 has
// it), eight on other little-endian machines.
size_t find_all(const char *p, const char *end, char c, const char **found, size_t max) {
  size_t count = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(c);
  for (; end - p >= 16 && count < max; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    for (unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
         hits != 0 && count < max; hits &= hits - 1)
      found[count++] = p + __builtin_ctz(hits);
  }
#else
  if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
    for (; end - p >= 8 && count < max; p += 8) {
      for (uint64_t hits = equal_bytes(load(p), static_cast<unsigned char>(c));
           hits != 0 && count < max; hits &= hits - 1)
        found[count++] = p + (__builtin_ctzll(hits) >> 3);
    }
  }
#endif
  for (; p < end && count < max; ++p)
    if (*p == c) found[count++] = p;
  return count;
}

// Eight decimal digits at p, the first the highest, into *value; false when
// any byte is no digit.
bool eight_digits(const char *p, uint64_t *value) {
  uint64_t word = load(p);
  // Each byte 0x30-0x39: its high half 3, and still 3 after adding 6.
  if (((word & 0xF0F0F0F0F0F0F0F0ULL) |
       (((word + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) != 0x3333333333333333ULL)
    return false;
  word -= 0x3030303030303030ULL;
  word = word * 10 + (word >> 8);  // pairs of digits
  word = (((word & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
          (((word >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
         32;
  *value = word;
  return true;
}

// A field of digits only between quotes, [p, end) being the field with its
// quotes; 1 to max_digits digits (so many never overflow the value).
bool quoted_digits(const char *p, const char *end, size_t max_digits, uint128 *value) {
  const size_t digits = static_cast<size_t>(end - p) - 2;
  if (end - p < 3 || *p != '"' || end[-1] != '"' || digits > max_digits) return false;
  ++p;
  const char *stop = end - 1;
  // The digits before the last multiple of eight one by one, then eight at a
  // time, in 64 bits while they fit (19 digits).
  uint128 number = 0;
  uint64_t part = 0;
  for (const char *head = p + digits % 8; p < head; ++p) {
    if (!velmor::is_decimal_digit(*p)) return false;
    part = part * 10 + static_cast<uint64_t>(*p - '0');
  }
  number = part;
  for (; p < stop; p += 8) {
    uint64_t eight = 0;
    if (!eight_digits(p, &eight)) return false;
    number = number * 100000000u + eight;
  }
  *value = number;
  return true;
}

// A code between quotes, [p, end) the field with its quotes: 1 to max
// letters, written folded (ASCII letters fold as str_fold folds them).
bool quoted_code(const char *p, const char *end, size_t max, char *code) {
  const size_t letters = static_cast<size_t>(end - p) - 2;
  if (end - p < 3 || *p != '"' || end[-1] != '"' || letters > max) return false;
  for (size_t i = 0; i < letters; ++i) {
    const char c = p[1 + i];
    if (!fast::is_letter(c)) return false;
    code[i] = static_cast<char>(c | 0x20);
  }
  code[letters] = '\0';
  return true;
}

}  // namespace

bool FastSixField::read(const char *line, size_t length, bool, RangeLine *out) {
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
  const char *commas[6];
  const size_t found = find_all(line, end, ',', commas, 6);
  if (found < 4) return false;
  const char *field[6] = {};
  const char *field_end[6] = {};
  const char *p = line;
  size_t count = 0;
  for (; count < 6 && p < end; ++count) {
    const char *comma = count < found ? commas[count] : end;
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
  // The quotes open and close the fields: twelve (or ten without a name),
  // none more; between two fields a comma and blanks.
  const char *quotes[13];
  const size_t found = find_all(line, end, '"', quotes, 13);
  if (found != 12 && found != 10) return false;
  const size_t count = found / 2;
  const char *field[6] = {};
  const char *field_end[6] = {};  // after the closing quote
  for (size_t i = 0; i < count; ++i) {
    field[i] = quotes[2 * i];
    field_end[i] = quotes[2 * i + 1] + 1;
    const char *before = i == 0 ? line : field_end[i - 1];
    if (i > 0) {
      if (*before != ',') return false;
      ++before;
    }
    while (before < field[i] && *before == ' ') ++before;
    if (before != field[i]) return false;
  }
  if (field_end[count - 1] != end) return false;
  // A comma inside fields 1 to 5 would cut them for family_of and the
  // careful split; the four between them are the only ones before the name.
  const char *commas[5];
  if (find_all(line, field_end[4], ',', commas, 5) != 4) return false;
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
