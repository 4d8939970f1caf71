// The lookup: the id of an address by a branch-free bisection over the
// boundary starts, loading the table on a record's first lookup.
#include "ip_ranges.h"

namespace {

// A hint to fetch the line holding p; the bisection asks for both candidates
// of the next step while the current comparison is still waiting on memory.
inline void prefetch(const void *p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Branch-free bisection for the last entry whose start is not above addr:
// the loop runs a number of times fixed by the count and its only choice is
// a conditional move, so mispredictions cost nothing. Among equal starts the
// last one answers: an entry followed by an equal start covers no address.
uint8_t bisect(const uint32_t *starts, const uint8_t *ids, uint32_t count, uint32_t addr) {
  const uint32_t *base = starts;
  uint32_t n = count;
  while (n > 1) {
    uint32_t half = n / 2;
    prefetch(base + half / 2);
    prefetch(base + half + half / 2);
    base = base[half] <= addr ? base + half : base;
    n -= half;
  }
  // Below the first start the answer is 0; a mask keeps this free of branches.
  uint8_t covered = static_cast<uint8_t>(-static_cast<int>(*base <= addr));
  return ids[base - starts] & covered;
}

}  // namespace

extern "C" uint8_t ip_ranges_lookup(ip_ranges *table, uint32_t addr) {
  if (!table) return 0;
  if (!table->starts) {
    if (table->load_tried) return 0;
    table->load_tried = 1;
    if (!ip_ranges_load(table)) return 0;
  }
  if (table->count <= 0) return 0;
  return bisect(table->starts, table->ids, static_cast<uint32_t>(table->count), addr);
}
