// Writing and reading one entry of a boundary table file.
#include "ip_ranges/internal/table_format.h"

#include <cstdlib>
#include <cstring>

#include "str/internal/ipv4_text.h"

namespace velmor {

size_t format_table_entry(char *dst, uint32_t start, int id) {
  size_t n = format_ipv4(start, dst);
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

bool parse_table_entry(const char *piece, uint32_t *start, uint8_t *id) {
  const char *space = strchr(piece, ' ');
  if (!space) return false;
  const char *end = space + strlen(space);
  uint32_t addr = scan_ipv4(piece, end);
  if (addr == no_ipv4) return false;
  *start = addr;
  // strtol is atol with a defined result on overflow; the conversion keeps
  // the low 8 bits, so -1 becomes 255 and 300 becomes 44.
  *id = static_cast<uint8_t>(strtol(space + 1, nullptr, 10));
  return true;
}

}  // namespace velmor
