// Internal: a range of addresses as CIDR blocks, the smallest exact cover
// (what firewall sets take), for tamsel --cidr and iplookup --export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "str/internal/ipv4_text.h"

namespace velmor {

// Longest block line: "255.255.255.255/32\n".
constexpr size_t cidr_line_max = 15 + 3 + 1;

// Writes "a.b.c.d/length\n" into dst (cidr_line_max bytes); returns its
// length.
inline size_t format_cidr_line(uint32_t base, int length, char *dst) {
  size_t n = format_ipv4(base, dst);
  dst[n++] = '/';
  if (length >= 10) dst[n++] = static_cast<char>('0' + length / 10);
  dst[n++] = static_cast<char>('0' + length % 10);
  dst[n++] = '\n';
  return n;
}

// Calls emit(base, prefix_length) for each block of the smallest list of
// CIDR blocks whose union is exactly [first, last], in ascending order:
// each block is the largest one aligned at its base that does not run past
// last. first must not be above last.
template <class Emit>
void cidr_blocks(uint32_t first, uint32_t last, Emit &&emit) {
  uint64_t base = first;
  const uint64_t end = uint64_t{last} + 1;
  while (base < end) {
    int host_bits = base == 0 ? 32 : __builtin_ctzll(base);
    if (host_bits > 32) host_bits = 32;
    while ((uint64_t{1} << host_bits) > end - base) --host_bits;
    emit(static_cast<uint32_t>(base), 32 - host_bits);
    base += uint64_t{1} << host_bits;
  }
}

}  // namespace velmor
