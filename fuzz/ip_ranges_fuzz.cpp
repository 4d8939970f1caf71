// Arbitrary bytes as a boundary table file, IPv4 and IPv6: the load must stay
// in bounds, and every lookup must answer an id that some entry holds, or 0.
// On ascending tables the answer must be the last entry whose start is not
// above the address. Every IPv6 entry read is written and read back the same.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <utility>
#include <vector>

#include "ip_ranges.h"
#include "ip_ranges/internal/table_format.h"
#include "scratch_table.h"
#include "str/internal/uint128.h"

namespace {

bool held(const ip_ranges *table, uint8_t id) {
  if (id == 0) return true;
  for (int32_t i = 0; i < table->count; i++)
    if (table->ids[i] == id) return true;
  return false;
}

bool ascending(const ip_ranges *table) {
  for (int32_t i = 1; i < table->count; i++)
    if (table->starts[i - 1] > table->starts[i]) return false;
  return true;
}

uint8_t expected_on_ascending(const ip_ranges *table, uint32_t addr) {
  uint8_t id = 0;
  for (int32_t i = 0; i < table->count && table->starts[i] <= addr; i++) id = table->ids[i];
  return id;
}

void check(ip_ranges *table, uint32_t addr, bool sorted) {
  uint8_t id = ip_ranges_lookup(table, addr);
  if (!held(table, id)) abort();
  if (sorted && id != expected_on_ascending(table, addr)) abort();
}

// The IPv6 entries as 128-bit keys, in file order.
std::vector<std::pair<velmor::uint128, uint8_t>> entries6(const ip_ranges *table) {
  std::vector<std::pair<velmor::uint128, uint8_t>> entries;
  for (int32_t i = 0; i < ip_ranges_count6(table); i++) {
    uint8_t start[16], id;
    if (!ip_ranges_entry6(table, i, start, &id)) abort();
    // Written and read back, the entry is the same.
    char line[velmor::table6_entry_max + 1];
    line[velmor::format_table_entry6(line, start, id)] = '\0';
    uint8_t again[16], id_again;
    if (!velmor::parse_table_entry6(line, again, &id_again)) abort();
    if (memcmp(again, start, 16) != 0 || id_again != id) abort();
    entries.emplace_back(velmor::uint128_from_bytes(start), id);
  }
  return entries;
}

void check6(ip_ranges *table, const std::vector<std::pair<velmor::uint128, uint8_t>> &entries,
            velmor::uint128 addr) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(addr, bytes);
  uint8_t id = ip_ranges_lookup6(table, bytes);
  static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (memcmp(bytes, kMapped, 12) == 0) return;  // answered by the IPv4 table
  bool sorted = true, held_id = id == 0;
  uint8_t expected = 0;
  for (size_t i = 0; i < entries.size(); i++) {
    if (i > 0 && entries[i - 1].first > entries[i].first) sorted = false;
    if (entries[i].second == id) held_id = true;
    if (entries[i].first <= addr) expected = entries[i].second;
  }
  if (!held_id || (sorted && id != expected)) abort();
}

void fuzz_ipv6(fuzz_support::ScratchTable &s, const uint8_t *data, size_t size) {
  if (!load_from_bytes(s, data, size, fuzz_support::TableFamily::ipv6)) {
    if (ip_ranges_count6(s.table) != 0) abort();  // a failed load leaves no table
    return;
  }
  const auto entries = entries6(s.table);
  if (entries.empty() || entries.size() > size) abort();
  check6(s.table, entries, 0);
  check6(s.table, entries, velmor::uint128_max);
  for (size_t i = 0; i < entries.size() && i < 64; i++) {
    check6(s.table, entries, entries[i].first - 1);
    check6(s.table, entries, entries[i].first);
    check6(s.table, entries, entries[i].first + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_support::ScratchTable &s = fuzz_support::scratch_table();
  fuzz_ipv6(s, data, size);
  ip_ranges *table = s.table;
  if (!load_from_bytes(s, data, size, fuzz_support::TableFamily::ipv4)) {
    if (table->starts || table->ids) abort();  // a failed load leaves no table
    return 0;
  }
  if (table->count <= 0 || static_cast<size_t>(table->count) > size) abort();
  bool sorted = ascending(table);
  check(table, 0, sorted);
  check(table, 0xFFFFFFFFu, sorted);
  for (int32_t i = 0; i < table->count && i < 64; i++) {
    uint32_t start = table->starts[i];
    check(table, start - 1, sorted);
    check(table, start, sorted);
    check(table, start + 1, sorted);
  }
  for (size_t at = 0; at + 4 <= size && at < 256; at += 4) {
    uint32_t addr;
    memcpy(&addr, data + at, 4);
    check(table, addr, sorted);
  }
  return 0;
}
