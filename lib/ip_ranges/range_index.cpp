// The IPv4 lookup: the whole-table bisection, and the top-bits index that
// narrows it to one bucket; the index's sizing and release, which IPv6 shares.
#include "ip_ranges/internal/range_index.h"

#include <bit>

#include "ip_ranges/internal/range_search.h"
#include "misc.h"

namespace velmor {

namespace range_search {

bool allocate_buckets(range_index *index, uint32_t bits, uint32_t key_bits) {
  if (bits == 0) return false;
  size_t size = (static_cast<size_t>(1) << bits) + 1;
  auto *bucket_starts =
      static_cast<uint32_t *>(mem_alloc(size * sizeof(uint32_t), __FILE__, __LINE__));
  if (!bucket_starts) return false;
  index->bucket_starts = bucket_starts;
  index->buckets = static_cast<uint32_t>(1) << bits;
  index->shift = key_bits - bits;
  return true;
}

}  // namespace range_search

// The index may add at most half a byte per entry: count / 8 words, holding
// buckets + 1 of them. Below 24 entries not even 2 buckets fit, and the
// whole-table bisection is as quick there anyway.
uint32_t index_bucket_bits(uint32_t count) {
  uint32_t words = count / 8;
  if (words < 3) return 0;
  return std::bit_width(words - 1) - 1;  // 2^bits + 1 <= words
}

// Buckets in count / 16 words, fences (two words each) in count / 16 more.
uint32_t index6_bucket_bits(uint32_t count) { return index_bucket_bits(count / 2); }

uint32_t index6_fence_count(uint32_t count) {
  return index6_bucket_bits(count) ? count / fence_step : 0;
}

uint8_t range_bisect(const uint32_t *starts, const uint8_t *ids, uint32_t count, uint32_t addr) {
  return range_search::bisect_from(starts, ids, 0, count, addr);
}

bool range_index_build(range_index *index, const uint32_t *starts, uint32_t count) {
  if (!range_search::allocate_buckets(index, index_bucket_bits(count), 32)) return false;
  uint32_t shift = index->shift;
  range_search::fill_bucket_starts(*index, count, [=](uint32_t i) { return starts[i] >> shift; });
  return true;
}

uint8_t range_index_lookup(const range_index *index, const uint32_t *starts, const uint8_t *ids,
                           uint32_t count, uint32_t addr) {
  if (!index->bucket_starts) return count ? range_bisect(starts, ids, count, addr) : 0;
  return range_search::search_bucket(*index, starts, ids, addr >> index->shift, addr);
}

uint8_t range_index_lookup_bounded(const range_index *index, const uint32_t *starts,
                                   const uint8_t *ids, uint32_t count, uint32_t addr) {
  if (!index->bucket_starts) return count ? range_bisect(starts, ids, count, addr) : 0;
  return range_search::search_span(
      range_search::bounded_span_of(*index, addr >> index->shift, count), starts, ids, addr);
}

void range_index_release(range_index *index) {
  index->bucket_starts = static_cast<uint32_t *>(mem_free(index->bucket_starts));
  index->buckets = 0;
  index->shift = 0;
  index->fences = static_cast<uint64_t *>(mem_free(index->fences));
  index->fence_count = 0;
}

}  // namespace velmor
