// Internal: answering "which entry covers this address" on a boundary table
// (ascending starts, one id each) for IPv4 and IPv6.
//
// Every lookup gives the id of the last entry whose start is not above the
// address; 0 below the first start or on an empty table. Among equal starts
// the last one answers: an entry followed by an equal start covers no address.
// On a table that is not ascending (a table file may be in any order) the
// answer is some entry's id or 0, and no lookup reads outside the table.
//
// A bisection over a large table is a chain of dependent cache misses, one
// per step. The index cuts that chain: it splits the key space into
// 2^k buckets by the top k bits and records, per bucket, where its entries
// begin in the table, so a lookup reads one index word pair and then bisects
// only the few entries of one bucket, which sit in one or two cache lines.
//
// Top bits alone do not keep IPv6 buckets small: real IPv6 tables crowd
// into a few blocks of 2000::/3 (a third of one country table lies inside
// a single /32), so a bucket may hold a quarter of the table. The IPv6
// index therefore also keeps fences: the high half of every 32nd start, in
// an array of their own (a few cache lines per bucket, which stay cached).
// A lookup bisects the fences of its bucket, then at most 32 entries; on
// evenly spread keys the bucket alone is that short already.
//
// The index is built from the table and only reads it; the caller keeps
// owning starts and ids and must rebuild (release, then build) when they
// change. The index takes at most count / 2 bytes (count / 8 words): for
// IPv6, buckets in count / 16 words and fences in count / 16 more.
#pragma once

#include <cstdint>

namespace velmor {

// The bucket of a key is `key >> shift`, where the key is the address
// (IPv4) or the high half of the address (IPv6). bucket_starts[b] is the
// number of entries whose start lies in a bucket below b, so the entries of
// bucket b are [bucket_starts[b], bucket_starts[b + 1]); bucket_starts[buckets]
// is the table's count. An index with a null bucket_starts holds nothing and
// its lookups bisect the whole table.
//
// An IPv6 index also holds fences: fences[g] is the high half of start
// g * fence_step, for g below fence_count; an IPv4 index holds none.
struct range_index {
  uint32_t *bucket_starts;  // buckets + 1 words, owned by the index (mem_alloc)
  uint32_t buckets;         // a power of two, at least 2; 0 when there is no index
  uint32_t shift;
  uint64_t *fences;      // fence_count high halves, owned by the index; null without
  uint32_t fence_count;  // index6_fence_count(count) for an IPv6 index, else 0
};

// The entries between two fences of an IPv6 index.
constexpr uint32_t fence_step = 32;

// The number of key bits that pick a bucket in an index over count entries
// (buckets = 2^bits); 0 when the table is too small for an index (fewer
// than 24 entries). Building and reading an index from a file both use it.
uint32_t index_bucket_bits(uint32_t count);

// The same for an IPv6 index over count entries, whose buckets take half
// of the room (none below 48 entries), and its number of fences, count /
// fence_step (0 when there is no index).
uint32_t index6_bucket_bits(uint32_t count);
uint32_t index6_fence_count(uint32_t count);

// ---- IPv4: starts are host-order addresses ----

// The whole-table branch-free bisection; count must be at least 1.
uint8_t range_bisect(const uint32_t *starts, const uint8_t *ids, uint32_t count, uint32_t addr);

// Builds the index of starts[0..count) into *index, which must hold no index
// (zero-initialised or released). False, with *index left without an index,
// when the table is too small to gain from one (fewer than 24 entries) or
// the memory cannot be had (reported by the allocator); lookups then bisect.
bool range_index_build(range_index *index, const uint32_t *starts, uint32_t count);

// The id for addr, through the index when there is one. starts, ids and
// count must be those the index was built from.
uint8_t range_index_lookup(const range_index *index, const uint32_t *starts, const uint8_t *ids,
                           uint32_t count, uint32_t addr);

// range_index_lookup over an index read from a file rather than built
// (compiled_format.h): the bucket's bounds are clamped to count, so that a
// bucket array of any content reads nothing outside starts[0, count) and
// ids[0, count). The index must have buckets (or none at all), count must
// be at least 1, and index->shift must give addr >> shift below
// index->buckets; the opener checks these.
uint8_t range_index_lookup_bounded(const range_index *index, const uint32_t *starts,
                                   const uint8_t *ids, uint32_t count, uint32_t addr);

// Frees the bucket array and the fences and leaves *index without an index; safe to repeat.
void range_index_release(range_index *index);

// ---- IPv6: starts are 128-bit keys ----

// An IPv6 address as two host-order halves of its network-order bytes, so
// that comparing hi, then lo, compares the addresses.
struct ip6_key {
  uint64_t hi;
  uint64_t lo;
};

ip6_key ip6_key_from_bytes(const uint8_t addr[16]);

// An IPv6 table, 17 bytes per entry: start i is (his[i], los[i]), ascending
// in that order, with id ids[i]. The high halves have an array of their own
// because the search runs on them alone: a bucket's high halves take half
// the cache lines that whole keys would. The low halves are read only when
// the address shares its high half with a start. The arrays are the caller's.
struct range6_table {
  const uint64_t *his;
  const uint64_t *los;
  const uint8_t *ids;
  uint32_t count;
};

// The whole-table lookup (high halves bisected, then the low halves of the
// starts that share the address's high half); 0 on an empty table.
uint8_t range6_bisect(const range6_table &table, ip6_key addr);

// As range_index_build, with buckets taken from the top bits of the high
// halves (index6_bucket_bits) and the fences; false below 48 entries.
bool range6_index_build(range_index *index, const range6_table &table);

// The id for a 16-byte address in network byte order.
uint8_t range6_index_lookup(const range_index *index, const range6_table &table,
                            const uint8_t addr[16]);

// range6_index_lookup over an index read from a file, bounded as
// range_index_lookup_bounded is; the fences only narrow the clamped bucket
// further, and fence_count must be index6_fence_count(table.count), which
// the opener checks by the section's size, so that fences of any content
// keep every read inside the table and the fence array.
uint8_t range6_index_lookup_bounded(const range_index *index, const range6_table &table,
                                    const uint8_t addr[16]);

}  // namespace velmor
