// Numbers as text and back: grouped decimal, hexadecimal parse, string hash.
#include <cstring>

#include "misc.h"
#include "str.h"

namespace {

constexpr int kGroupedSlots = 40;
constexpr int kGroupedSlotSize = 32;  // "-9,223,372,036,854,775,808" is 26 bytes
char *grouped_ring = nullptr;
int grouped_next = 0;

int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

extern "C" uint32_t str_hash(const char *text) {
  uint32_t h = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
    h = h * 65599u + *p;
  }
  return h;
}

extern "C" const char *str_num_grouped(int64_t value) {
  if (grouped_ring == nullptr) {
    grouped_ring = static_cast<char *>(
        mem_calloc(static_cast<size_t>(kGroupedSlots) * kGroupedSlotSize, "str", __LINE__));
    if (grouped_ring == nullptr) return "";
  }
  const int index = grouped_next % kGroupedSlots;
  grouped_next = index + 1;
  char *text = grouped_ring + static_cast<ptrdiff_t>(index) * kGroupedSlotSize;

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
  for (int d = hex_digit(*p); d >= 0; d = hex_digit(*++p))
    value = value * 16 + static_cast<uint64_t>(d);
  if (sign == '-') value = 0 - value;
  return static_cast<int64_t>(value);
}
