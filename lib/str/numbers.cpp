// Numbers as text and back: plain and grouped decimal, hexadecimal parse,
// string hash. The decimal reader of the programs' number fields is in
// str/internal/number_scan.h.
#include <cstring>

#include "str.h"
#include "str/internal/text_ring.h"

namespace {

// "-9,223,372,036,854,775,808" is 26 bytes.
thread_local velmor::TextRing<40, 32> num_ring;
thread_local velmor::TextRing<40, 32> grouped_ring;

}  // namespace

extern "C" const char *str_num(int64_t value) {
  char *slot = num_ring.take();
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  char *out = slot;
  if (value < 0) *out++ = '-';
  while (n) *out++ = digits[--n];
  *out = '\0';
  return slot;
}

extern "C" uint32_t str_hash(const char *text) {
  uint32_t h = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
    h = h * 65599u + *p;
  }
  return h;
}

extern "C" const char *str_num_grouped(int64_t value) {
  char *text = grouped_ring.take();

  // Digits from the least significant one, a comma before every fourth.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  int length = 0;
  int position = 0;
  do {
    if (++position == 4) {
      text[length++] = ',';
      position = 1;
    }
    text[length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) text[length++] = '-';
  text[length] = '\0';
  str_reverse(text);
  return text;
}

extern "C" int64_t str_hex_parse(const char *text) {
  if (text == nullptr) return 0;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  while (*p == '\t' || *p == '\n' || *p == '\r' || *p == ' ') ++p;
  const unsigned char sign = *p;
  if (sign == '+' || sign == '-') ++p;
  uint64_t value = 0;  // wraps: only the last 16 digits count
  for (int d = str_hex_value(*p); d >= 0; d = str_hex_value(*++p))
    value = value * 16 + static_cast<uint64_t>(d);
  if (sign == '-') value = 0 - value;
  return static_cast<int64_t>(value);
}
