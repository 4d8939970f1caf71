// In-place decoding of form data (percent escapes, '+', "%uXXXX"), plain
// percent escapes and decimal character references ("&#NNN;").
//
// Every decoder keeps a read position r and a write position w <= r, so the
// text never grows. Plain stretches between escapes are found with a
// word-at-a-time scan and moved with one memmove (none at all before the
// first escape, while w == r).
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "str.h"
#include "str/internal/byte_scan.h"

namespace {

constexpr signed char kNotHex = -1;

struct HexTable {
  signed char value[256];
  constexpr HexTable() : value() {
    for (int b = 0; b < 256; ++b) value[b] = kNotHex;
    for (int d = 0; d < 10; ++d) value['0' + d] = static_cast<signed char>(d);
    for (int d = 0; d < 6; ++d) {
      value['A' + d] = static_cast<signed char>(10 + d);
      value['a' + d] = static_cast<signed char>(10 + d);
    }
  }
};

constexpr HexTable kHex;

inline int hex_at(const char *p) { return kHex.value[static_cast<unsigned char>(*p)]; }

// Writes code point value as a multibyte character of the current locale at
// w, or '?' when the locale cannot encode it. The character must end at or
// before limit (the read position after the escape), so that the text never
// grows and unread input is never overwritten; one that would not fit
// becomes '?' as well. Returns the new write position.
char *put_wide(char *w, const char *limit, uint32_t value) {
  char bytes[MB_LEN_MAX];
  // wcrtomb with a state of its own: wctomb's is the process's.
  mbstate_t state{};
  auto n = static_cast<int>(wcrtomb(bytes, static_cast<wchar_t>(value), &state));
  if (n <= 0 || n > limit - w) {
    *w = '?';
    return w + 1;
  }
  std::memcpy(w, bytes, static_cast<size_t>(n));
  return w + n;
}

// "%u" followed by up to four hex digits; r points at the '%'.
const char *decode_wide_escape(const char *r, char **w) {
  const char *p = r + 2;
  uint32_t value = 0;
  for (int digits = 0; digits < 4 && hex_at(p) >= 0; ++digits, ++p) {
    value = value * 16 + static_cast<uint32_t>(hex_at(p));
  }
  *w = put_wide(*w, p, value);
  return p;
}

// One escape at r ('+' or '%'); returns the read position after it.
const char *decode_form_escape(const char *r, char **w, bool form) {
  if (form && *r == '+') {
    *(*w)++ = ' ';
    return r + 1;
  }
  if (form && r[1] == 'u') return decode_wide_escape(r, w);
  int high = hex_at(r + 1);
  int low = high >= 0 ? hex_at(r + 2) : kNotHex;
  if (low < 0) {
    *(*w)++ = '%';
    return r + 1;
  }
  *(*w)++ = static_cast<char>(high * 16 + low);
  return r + 3;
}

// Shared loop of the two percent decoders; form adds '+' and "%u".
char *percent_decode(char *text, bool form) {
  if (text == nullptr) return nullptr;
  const char *end = text + std::strlen(text);
  const char *r = text;
  char *w = text;
  for (;;) {
    const char *next = form ? velmor::find_any(r, end, '%', '+') : velmor::find_any(r, end, '%');
    size_t run = static_cast<size_t>(next - r);
    if (w != r) std::memmove(w, r, run);
    w += run;
    if (next == end) break;
    r = decode_form_escape(next, &w, form);
  }
  *w = '\0';
  return text;
}

// "&#" at r: a decimal number closed by ';' becomes one character.
// Returns the read position after the reference, or r + 1 after copying the
// ampersand when the number is not closed by a semicolon.
const char *decode_reference(const char *r, char **w) {
  char *number_end = nullptr;
  long value = std::strtol(r + 2, &number_end, 10);
  if (*number_end != ';') {
    *(*w)++ = '&';
    return r + 1;
  }
  *w = put_wide(*w, number_end + 1, static_cast<uint32_t>(value));
  return number_end + 1;
}

}  // namespace

extern "C" {

int str_hex_value(unsigned char c) { return kHex.value[c]; }

char *str_url_decode(char *text) { return percent_decode(text, true); }

char *str_percent_decode(char *text) { return percent_decode(text, false); }

char *str_entity_decode(char *text) {
  if (text == nullptr) return nullptr;
  const char *end = text + std::strlen(text);
  const char *r = text;
  char *w = text;
  for (;;) {
    const char *amp = velmor::find_any(r, end, '&');
    size_t run = static_cast<size_t>(amp - r);
    if (w != r) std::memmove(w, r, run);
    w += run;
    if (amp == end) break;
    if (amp[1] == '#') {
      r = decode_reference(amp, &w);
    } else {
      *w++ = '&';
      r = amp + 1;
    }
  }
  *w = '\0';
  return text;
}

}  // extern "C"
