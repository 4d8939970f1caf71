// Writing and reading one entry of a boundary table file.
#include "ip_ranges/internal/table_format.h"

#include <cstdlib>
#include <cstring>

#include "str/internal/ipv4_text.h"
#include "str/internal/ipv6_text.h"

namespace velmor {

namespace {

// " <id>\n" at dst; returns its length.
size_t format_id(char *dst, int id) {
  size_t n = 0;
  dst[n++] = ' ';
  if (id < 0) dst[n++] = '-';
  uint32_t magnitude = id < 0 ? 0u - static_cast<uint32_t>(id) : static_cast<uint32_t>(id);
  char digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) dst[n++] = digits[--count];
  dst[n++] = '\n';
  return n;
}

// The id after the first space, as atol reads it, cut to eight bits.
uint8_t id_after(const char *space) {
  // strtol is atol with a defined result on overflow; the conversion keeps
  // the low 8 bits, so -1 becomes 255 and 300 becomes 44.
  return static_cast<uint8_t>(strtol(space + 1, nullptr, 10));
}

}  // namespace

size_t format_table_entry(char *dst, uint32_t start, int id) {
  size_t n = format_ipv4(start, dst);
  return n + format_id(dst + n, id);
}

size_t format_table_entry6(char *dst, const uint8_t start[16], int id) {
  size_t n = format_ipv6(start, dst);
  return n + format_id(dst + n, id);
}

bool parse_table_entry(const char *piece, uint32_t *start, uint8_t *id) {
  const char *space = strchr(piece, ' ');
  if (!space) return false;
  const char *end = space + strlen(space);
  uint32_t addr = scan_ipv4(piece, end);
  if (addr == no_ipv4) return false;
  *start = addr;
  *id = id_after(space);
  return true;
}

bool parse_table_entry6(const char *piece, uint8_t start[16], uint8_t *id) {
  const char *space = strchr(piece, ' ');
  if (!space || scan_ipv6(piece, space, start) != space) return false;
  *id = id_after(space);
  return true;
}

}  // namespace velmor
