// The IPv6 lookup: a bisection over the high halves of the starts, through
// the same top-bits index as IPv4, and the low halves only for the starts
// that share the address's high half.
#include "ip_ranges/internal/range_index.h"

#include <bit>
#include <cstring>

#include "ip_ranges/internal/range_search.h"

namespace velmor {

namespace {

using range_search::not_above;

// Eight network-order bytes as a host integer: one load and a byte swap.
uint64_t big_endian64(const uint8_t *bytes) {
  uint64_t value;
  memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

ip6_key start_of(const range6_table &t, uint32_t i) { return {t.his[i], t.los[i]}; }

// Branch-free bisection on whole keys over entries [begin, past).
uint8_t bisect_keys(const range6_table &t, uint32_t begin, uint32_t past, ip6_key addr) {
  uint32_t base = begin;
  for (uint32_t n = past - begin; n > 1;) {
    uint32_t half = n / 2;
    base = not_above(start_of(t, base + half), addr) ? base + half : base;
    n -= half;
  }
  return range_search::id_if_covered(t.ids, base, not_above(start_of(t, base), addr));
}

// The id for addr from entries [begin, begin + n). The bisection on the high
// halves finds the last entry whose high half is not above the address's.
// When that high half is below the address's, that entry answers. When it
// is equal, the entries sharing it end there, and the answer lies among
// them or just before them: whole keys decide, over [begin, at]. Entries
// after `at` have higher high halves, so none of them can answer.
uint8_t answer_from(const range6_table &t, uint32_t begin, uint32_t n, ip6_key addr) {
  const uint64_t *found = range_search::last_not_above(t.his, begin, n, addr.hi);
  uint32_t at = static_cast<uint32_t>(found - t.his);
  if (*found == addr.hi) return bisect_keys(t, begin, at + 1, addr);
  return range_search::id_if_covered(t.ids, at, *found < addr.hi);
}

}  // namespace

ip6_key ip6_key_from_bytes(const uint8_t addr[16]) {
  return {big_endian64(addr), big_endian64(addr + 8)};
}

uint8_t range6_bisect(const range6_table &table, ip6_key addr) {
  return table.count ? answer_from(table, 0, table.count, addr) : 0;
}

bool range6_index_build(range_index *index, const range6_table &table) {
  if (!range_search::allocate_buckets(index, table.count, 64)) return false;
  uint32_t shift = index->shift;
  const uint64_t *his = table.his;
  range_search::fill_bucket_starts(*index, table.count,
                                   [=](uint32_t i) { return his[i] >> shift; });
  return true;
}

uint8_t range6_index_lookup(const range_index *index, const range6_table &table,
                            const uint8_t addr[16]) {
  ip6_key key = ip6_key_from_bytes(addr);
  if (!index->bucket_starts) return range6_bisect(table, key);
  range_search::bucket_span span = range_search::span_of(*index, key.hi >> index->shift);
  range_search::prefetch(table.ids + span.begin);
  return answer_from(table, span.begin, span.n, key);
}

uint8_t range6_index_lookup_bounded(const range_index *index, const range6_table &table,
                                    const uint8_t addr[16]) {
  ip6_key key = ip6_key_from_bytes(addr);
  if (!index->bucket_starts) return range6_bisect(table, key);
  range_search::bucket_span span =
      range_search::bounded_span_of(*index, key.hi >> index->shift, table.count);
  range_search::prefetch(table.ids + span.begin);
  return answer_from(table, span.begin, span.n, key);
}

}  // namespace velmor
