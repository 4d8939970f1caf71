// IPv4 addresses between dotted text and 32-bit host-order values.
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "misc.h"
#include "str.h"

namespace {

constexpr size_t ip_slot_size = 16;
char *ip_ring;
size_t ip_counter;

}  // namespace

extern "C" {

uint32_t str_ip_parse(const char *text) {
  if (!text) return 0;
  while (*text && !isdigit(static_cast<unsigned char>(*text))) text++;
  uint32_t addr = 0;
  for (int i = 0; i < 4; i++) {
    char *end;
    unsigned long part = strtoul(text, &end, 10);
    if (end == text) return 0xFFFFFFFFu;
    if (i < 3) {
      if (*end != '.') return 0xFFFFFFFFu;
      end++;
    }
    addr = addr << 8 | static_cast<uint32_t>(part & 0xFF);
    text = end;
  }
  return addr;
}

const char *str_ip_format(uint32_t addr) {
  if (!ip_ring) {
    ip_ring = static_cast<char *>(mem_calloc(2 * ip_slot_size, __FILE__, __LINE__));
    if (!ip_ring) return "";
  }
  char *slot = ip_ring + (ip_counter & 1) * ip_slot_size;
  ip_counter = (ip_counter & 1) + 1;
  snprintf(slot, ip_slot_size, "%u.%u.%u.%u", addr >> 24, addr >> 16 & 0xFF, addr >> 8 & 0xFF,
           addr & 0xFF);
  return slot;
}

}  // extern "C"
