// The IPv6 lookup: a bisection over the high halves of the starts, through
// the same top-bits index as IPv4 narrowed further by the fences, and the
// low halves only for the starts that share the address's high half.
#include "ip_ranges/internal/range_index.h"

#include <bit>
#include <cstring>

#include "ip_ranges/internal/range_search.h"
#include "misc.h"

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

// The entries of the span that can answer for high half hi, by the fences
// whose entries lie in the span's bucket (fence g is the high half of entry
// g * fence_step, and those of the bucket are the g with first <= g * step
// < end). The last such fence not above hi bounds the answer from above at
// the next fence of the bucket (the group of the table's last fence runs
// to the table's end, up to 63 entries); when it is below hi,
// its entry is not above the address and bounds the answer from below. When it equals hi, entries
// before it may share hi and still lie above the address, and the span keeps its beginning. The
// result lies inside the span, whatever the fences hold.
range_search::bucket_span narrowed_by_fences(const range_index &index,
                                             range_search::bucket_span span, uint32_t first,
                                             uint64_t hi) {
  const uint32_t end = span.begin + span.n;
  const uint32_t f0 = first / fence_step + (first % fence_step != 0);
  uint32_t f1 = end / fence_step + (end % fence_step != 0);
  f1 = f1 < index.fence_count ? f1 : index.fence_count;
  if (f0 >= f1) return span;
  const uint64_t *found = range_search::last_not_above(index.fences, f0, f1 - f0, hi);
  const auto g = static_cast<uint32_t>(found - index.fences);
  if (*found > hi) return {span.begin, g * fence_step - span.begin};  // entries before fence f0
  const uint32_t past = g + 1 < f1 ? (g + 1) * fence_step : end;
  const uint32_t begin = *found < hi ? g * fence_step : span.begin;
  return {begin, past - begin};
}

// Entry `first` of a bucket from the span span_of gives for it.
uint32_t first_of(range_search::bucket_span span, uint32_t stored_first) {
  return stored_first < span.begin + span.n ? stored_first : span.begin + span.n;
}

uint8_t answer_from_span(const range_index &index, const range6_table &table,
                         range_search::bucket_span span, uint32_t first, ip6_key key) {
  span = narrowed_by_fences(index, span, first, key.hi);
  range_search::prefetch(table.ids + span.begin);
  return answer_from(table, span.begin, span.n, key);
}

}  // namespace

ip6_key ip6_key_from_bytes(const uint8_t addr[16]) {
  return {big_endian64(addr), big_endian64(addr + 8)};
}

uint8_t range6_bisect(const range6_table &table, ip6_key addr) {
  return table.count ? answer_from(table, 0, table.count, addr) : 0;
}

bool range6_index_build(range_index *index, const range6_table &table) {
  const uint32_t fence_count = index6_fence_count(table.count);
  auto *fences = static_cast<uint64_t *>(
      fence_count ? mem_alloc(size_t{fence_count} * sizeof(uint64_t), __FILE__, __LINE__)
                  : nullptr);
  if (fence_count && !fences) return false;
  if (!range_search::allocate_buckets(index, index6_bucket_bits(table.count), 64)) {
    mem_free(fences);
    return false;
  }
  uint32_t shift = index->shift;
  const uint64_t *his = table.his;
  range_search::fill_bucket_starts(*index, table.count,
                                   [=](uint32_t i) { return his[i] >> shift; });
  for (uint32_t g = 0; g < fence_count; g++) fences[g] = his[static_cast<size_t>(g) * fence_step];
  index->fences = fences;
  index->fence_count = fence_count;
  return true;
}

uint8_t range6_index_lookup(const range_index *index, const range6_table &table,
                            const uint8_t addr[16]) {
  ip6_key key = ip6_key_from_bytes(addr);
  if (!index->bucket_starts) return range6_bisect(table, key);
  const uint64_t bucket = key.hi >> index->shift;
  const range_search::bucket_span span = range_search::span_of(*index, bucket);
  return answer_from_span(*index, table, span, index->bucket_starts[bucket], key);
}

uint8_t range6_index_lookup_bounded(const range_index *index, const range6_table &table,
                                    const uint8_t addr[16]) {
  ip6_key key = ip6_key_from_bytes(addr);
  if (!index->bucket_starts) return range6_bisect(table, key);
  const uint64_t bucket = key.hi >> index->shift;
  const range_search::bucket_span span = range_search::bounded_span_of(*index, bucket, table.count);
  return answer_from_span(*index, table, span, first_of(span, index->bucket_starts[bucket]), key);
}

}  // namespace velmor
