// The IPv6 lookup: 16-byte keys compared as two 64-bit halves, and the same
// top-bits index as IPv4 over the high half.
#include "ip_ranges/internal/range_index.h"

#include <bit>
#include <cstring>

#include "ip_ranges/internal/range_search.h"

namespace velmor {

namespace {

// Eight network-order bytes as a host integer: one load and a byte swap.
uint64_t big_endian64(const uint8_t *bytes) {
  uint64_t value;
  memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

}  // namespace

ip6_key ip6_key_from_bytes(const uint8_t addr[16]) {
  return {big_endian64(addr), big_endian64(addr + 8)};
}

uint8_t range6_bisect(const ip6_key *starts, const uint8_t *ids, uint32_t count, ip6_key addr) {
  return range_search::bisect_from(starts, ids, 0, count, addr);
}

bool range6_index_build(range_index *index, const ip6_key *starts, uint32_t count) {
  if (!range_search::allocate_buckets(index, count, 64)) return false;
  uint32_t shift = index->shift;
  range_search::fill_bucket_starts(*index, count,
                                   [=](uint32_t i) { return starts[i].hi >> shift; });
  return true;
}

uint8_t range6_index_lookup(const range_index *index, const ip6_key *starts, const uint8_t *ids,
                            uint32_t count, const uint8_t addr[16]) {
  ip6_key key = ip6_key_from_bytes(addr);
  if (!index->bucket_starts) return count ? range6_bisect(starts, ids, count, key) : 0;
  return range_search::search_bucket(*index, starts, ids, key.hi >> index->shift, key);
}

}  // namespace velmor
