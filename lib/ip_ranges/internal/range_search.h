// Internal: the pieces the IPv4 and IPv6 lookups share, written once over
// the key type: the branch-free bisection, the bucket search through an
// index, and the filling of an index from a table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ip_ranges/internal/range_index.h"

namespace velmor::range_search {

// A hint to fetch the line holding p; the bisection asks for both candidates
// of the next step while the current comparison is still waiting on memory.
inline void prefetch(const void *p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

inline bool not_above(uint32_t start, uint32_t addr) { return start <= addr; }
inline bool not_above(uint64_t start, uint64_t addr) { return start <= addr; }

// Compares hi, then lo, as one 128-bit comparison (a subtraction with
// borrow), so that the bisection's choice stays a conditional move; compared
// half by half, the compiler turns it into branches.
inline bool not_above(const ip6_key &start, const ip6_key &addr) {
  __extension__ using u128 = unsigned __int128;
  return (static_cast<u128>(start.hi) << 64 | start.lo) <=
         (static_cast<u128>(addr.hi) << 64 | addr.lo);
}

// Branch-free bisection of starts[begin, begin + n) for the last entry whose
// start is not above addr, or starts + begin when none is: the loop runs a
// number of times fixed by n and its only choice is a conditional move, so
// mispredictions cost nothing. Among equal starts the last one answers.
template <typename Key>
const Key *last_not_above(const Key *starts, uint32_t begin, uint32_t n, const Key &addr) {
  const Key *base = starts + begin;
  while (n > 1) {
    uint32_t half = n / 2;
    prefetch(base + half / 2);
    prefetch(base + half + half / 2);
    base = not_above(base[half], addr) ? base + half : base;
    n -= half;
  }
  return base;
}

// The id of entry `at` when its start is not above the address, else 0; a
// mask keeps the "below every start" answer free of branches.
inline uint8_t id_if_covered(const uint8_t *ids, size_t at, bool covered) {
  return ids[at] & static_cast<uint8_t>(-static_cast<int>(covered));
}

// The id for addr from starts[begin, begin + n), 0 when no entry there is
// not above it. starts[begin] is read even when n is 0, so begin must be
// inside the table.
template <typename Key>
uint8_t bisect_from(const Key *starts, const uint8_t *ids, uint32_t begin, uint32_t n, Key addr) {
  const Key *found = last_not_above(starts, begin, n, addr);
  return id_if_covered(ids, found - starts, not_above(*found, addr));
}

// The entries to search for an address of the given bucket: entries before
// the bucket all lie below the address and entries after it all lie above,
// so the answer is the last entry of the bucket not above the address, or
// else the entry just before the bucket. The span covers both at once.
struct bucket_span {
  uint32_t begin;
  uint32_t n;
};

inline bucket_span span_of(const range_index &index, uint64_t bucket) {
  uint32_t first = index.bucket_starts[bucket];
  uint32_t end = index.bucket_starts[bucket + 1];
  uint32_t begin = first - (first != 0);
  return {begin, end - begin};
}

// span_of for an index that was read, not built (a compiled file holds
// any bytes): both bounds are clamped to the table's count, and the end to
// no less than the beginning, so the span lies inside a table of count >= 1
// entries whatever the bucket array holds. Two comparisons more than
// span_of; on a valid index the result is the same.
inline bucket_span bounded_span_of(const range_index &index, uint64_t bucket, uint32_t count) {
  uint32_t end = index.bucket_starts[bucket + 1];
  end = end < count ? end : count;
  uint32_t first = index.bucket_starts[bucket];
  first = first < end ? first : end;
  uint32_t begin = first - (first != 0);
  return {begin, end - begin};
}

template <typename Key>
uint8_t search_span(bucket_span span, const Key *starts, const uint8_t *ids, Key addr) {
  prefetch(ids + span.begin);  // fetched alongside the starts, not after them
  return bisect_from(starts, ids, span.begin, span.n, addr);
}

template <typename Key>
uint8_t search_bucket(const range_index &index, const Key *starts, const uint8_t *ids,
                      uint64_t bucket, Key addr) {
  return search_span(span_of(index, bucket), starts, ids, addr);
}

// Allocates the array of 2^bits buckets over key_bits-bit keys; false when
// bits is 0 (a table too small for an index) or memory is short.
bool allocate_buckets(range_index *index, uint32_t bits, uint32_t key_bits);

// bucket_starts from a table's buckets, bucket_of(i) being the bucket of
// entry i. One forward pass: the array never decreases and never exceeds
// count, so even a table that is not ascending gives lookups that stay
// inside it.
template <typename BucketOf>
void fill_bucket_starts(const range_index &index, uint32_t count, BucketOf bucket_of) {
  uint32_t entry = 0;
  for (uint64_t bucket = 0; bucket < index.buckets; bucket++) {
    while (entry < count && bucket_of(entry) < bucket) entry++;
    index.bucket_starts[bucket] = entry;
  }
  index.bucket_starts[index.buckets] = count;
}

}  // namespace velmor::range_search
