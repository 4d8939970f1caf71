// JSON string escaping with a strict UTF-8 check (RFC 8259, RFC 3629).
#include "json_text.h"

#include <cstddef>

namespace iplookup {

namespace {

bool in_range(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// Length of the well-formed UTF-8 sequence at p, or 0 when none begins
// there. The lead byte narrows the second byte's range, which is what rules
// out overlong forms (E0, F0), surrogates (ED) and code points above
// U+10FFFF (F4). The checks stop at the first bad byte, so a NUL ends them
// without reading past the text.
size_t utf8_length(const unsigned char *p) {
  const unsigned char lead = p[0];
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (in_range(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (in_range(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (in_range(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (!in_range(p[1], low, high)) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!in_range(p[i], 0x80, 0xBF)) return 0;
  }
  return length;
}

// The short escapes JSON has, or 0.
char short_escape(unsigned char byte) {
  switch (byte) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case '\b':
      return 'b';
    case '\f':
      return 'f';
    case '\n':
      return 'n';
    case '\r':
      return 'r';
    case '\t':
      return 't';
    default:
      return 0;
  }
}

// Writes the byte at p (or the UTF-8 sequence it begins); gives the bytes used.
size_t write_piece(FILE *out, const unsigned char *p) {
  if (const char escape = short_escape(*p)) {
    fprintf(out, "\\%c", escape);
    return 1;
  }
  if (*p >= 0x20 && *p < 0x80) {
    fputc(*p, out);
    return 1;
  }
  if (const size_t length = utf8_length(p)) {
    fwrite(p, 1, length, out);
    return length;
  }
  fprintf(out, "\\u%04x", *p);  // a control byte or a byte outside UTF-8
  return 1;
}

}  // namespace

void write_json_string(FILE *out, const char *text) {
  fputc('"', out);
  for (const auto *p = reinterpret_cast<const unsigned char *>(text); *p != 0;) {
    p += write_piece(out, p);
  }
  fputc('"', out);
}

}  // namespace iplookup
