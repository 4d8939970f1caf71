// Internal: a range of addresses as CIDR blocks, the smallest exact cover
// (what firewall sets take), for tamsel --cidr and iplookup --export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "str/internal/ipv4_text.h"
#include "str/internal/ipv6_text.h"
#include "str/internal/uint128.h"

namespace velmor {

// Longest block line: "255.255.255.255/32\n".
constexpr size_t cidr_line_max = 15 + 3 + 1;

// Writes "a.b.c.d/length" into dst (cidr_line_max bytes); returns its
// length and writes no terminator.
inline size_t format_cidr(uint32_t base, int length, char *dst) {
  size_t n = format_ipv4(base, dst);
  dst[n++] = '/';
  if (length >= 10) dst[n++] = static_cast<char>('0' + length / 10);
  dst[n++] = static_cast<char>('0' + length % 10);
  return n;
}

// format_cidr and a line feed.
inline size_t format_cidr_line(uint32_t base, int length, char *dst) {
  size_t n = format_cidr(base, length, dst);
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

// ---- IPv6 ----

// Longest IPv6 block line: 39 bytes of address, "/128" and "\n".
constexpr size_t cidr6_line_max = 39 + 4 + 1 + 1;

// Writes "<address>/length" (RFC 5952 text) into dst (cidr6_line_max
// bytes); returns its length and writes no terminator.
inline size_t format_cidr6(uint128 base, int length, char *dst) {
  uint8_t bytes[16];
  uint128_to_bytes(base, bytes);
  char text[ipv6_text_max];
  size_t n = format_ipv6(bytes, text);
  for (size_t i = 0; i < n; ++i) dst[i] = text[i];
  dst[n++] = '/';
  if (length >= 100) dst[n++] = '1';
  if (length >= 10) dst[n++] = static_cast<char>('0' + length / 10 % 10);
  dst[n++] = static_cast<char>('0' + length % 10);
  return n;
}

// format_cidr6 and a line feed.
inline size_t format_cidr6_line(uint128 base, int length, char *dst) {
  size_t n = format_cidr6(base, length, dst);
  dst[n++] = '\n';
  return n;
}

// cidr_blocks for IPv6: emit(base, prefix_length) for each block of the
// smallest exact cover of [first, last], ascending. first must not be
// above last.
template <class Emit>
void cidr_blocks6(uint128 first, uint128 last, Emit &&emit) {
  uint128 base = first;
  for (;;) {
    int host_bits = 0;
    while (host_bits < 128 && ((base >> host_bits) & 1) == 0) ++host_bits;
    // The block [base, base + 2^host_bits - 1] must not run past last.
    auto span = [](int bits) { return bits == 128 ? uint128_max : (uint128{1} << bits) - 1; };
    while (host_bits > 0 && span(host_bits) > last - base) --host_bits;
    emit(base, 128 - host_bits);
    const uint128 block_last = base + span(host_bits);
    if (block_last == last) return;
    base = block_last + 1;
  }
}

// ---- both families ----

// Whether [first, last] is one CIDR block: its size a power of two and
// first a multiple of it. Then *length (when given) is the prefix length.
// Key is uint32_t or uint128; the whole space counts (length 0).
template <class Key>
bool is_cidr_block(Key first, Key last, int *length = nullptr) {
  const Key span = last - first;  // the size less one
  if ((span & (span + 1)) != 0 || (first & span) != 0) return false;
  if (length) {
    int host_bits = 0;
    for (Key rest = span; rest != 0; rest >>= 1) ++host_bits;
    *length = static_cast<int>(sizeof(Key) * 8) - host_bits;
  }
  return true;
}

}  // namespace velmor
