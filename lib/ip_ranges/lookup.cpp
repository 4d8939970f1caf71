// The lookups: the id of an address through the record's index over the
// boundary starts (range_index.h), loading the table on the first lookup.
#include <cstring>

#include "ip_ranges.h"
#include "ip_ranges/internal/record.h"
#include "str/internal/uint128.h"

namespace {

// ::ffff:a.b.c.d, the IPv4-mapped addresses: answered by the IPv4 table.
bool is_ipv4_mapped(const uint8_t addr[16]) {
  static const uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return memcmp(addr, kPrefix, sizeof kPrefix) == 0;
}

uint32_t mapped_ipv4(const uint8_t addr[16]) {
  return uint32_t{addr[12]} << 24 | uint32_t{addr[13]} << 16 | uint32_t{addr[14]} << 8 | addr[15];
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
  const auto count = static_cast<uint32_t>(table->count);
  const ip_ranges_state *state = table->state;
  if (state && state->index_from_file)
    return velmor::range_index_lookup_bounded(&state->index, table->starts, table->ids, count,
                                              addr);
  if (state)
    return velmor::range_index_lookup(&state->index, table->starts, table->ids, count, addr);
  return velmor::range_bisect(table->starts, table->ids, count, addr);
}

extern "C" uint8_t ip_ranges_lookup6(ip_ranges *table, const uint8_t addr[16]) {
  if (!table || !addr) return 0;
  if (is_ipv4_mapped(addr)) return ip_ranges_lookup(table, mapped_ipv4(addr));
  ip_ranges_state *state = table->state;
  if (!state) return 0;  // a record made by hand has no IPv6 table
  if (!state->his) {
    if (state->load6_tried) return 0;
    state->load6_tried = true;
    if (!ip_ranges_load6(table)) return 0;
  }
  const velmor::range6_table table6{state->his, state->los, state->ids6,
                                    static_cast<uint32_t>(state->count6)};
  if (state->index_from_file)
    return velmor::range6_index_lookup_bounded(&state->index6, table6, addr);
  return velmor::range6_index_lookup(&state->index6, table6, addr);
}

extern "C" int32_t ip_ranges_count6(const ip_ranges *table) {
  return table && table->state && table->state->his ? table->state->count6 : 0;
}

extern "C" bool ip_ranges_entry6(const ip_ranges *table, int32_t i, uint8_t start[16],
                                 uint8_t *id) {
  if (i < 0 || i >= ip_ranges_count6(table) || !start || !id) return false;
  const ip_ranges_state *state = table->state;
  velmor::uint128_to_bytes(velmor::uint128{state->his[i]} << 64 | state->los[i], start);
  *id = state->ids6[i];
  return true;
}
