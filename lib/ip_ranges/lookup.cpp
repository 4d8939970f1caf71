// The lookup: the id of an address through the record's index over the
// boundary starts (range_index.h), loading the table on the first lookup.
#include "ip_ranges.h"
#include "ip_ranges/internal/record.h"

extern "C" uint8_t ip_ranges_lookup(ip_ranges *table, uint32_t addr) {
  if (!table) return 0;
  if (!table->starts) {
    if (table->load_tried) return 0;
    table->load_tried = 1;
    if (!ip_ranges_load(table)) return 0;
  }
  if (table->count <= 0) return 0;
  const auto count = static_cast<uint32_t>(table->count);
  if (table->state)
    return velmor::range_index_lookup(&table->state->index, table->starts, table->ids, count, addr);
  return velmor::range_bisect(table->starts, table->ids, count, addr);
}
