// The IPv6 entries through the library, and the IPv6 runs without the
// IPv4-mapped addresses.
#include "table_runs.h"

#include <algorithm>

namespace iplookup {

velmor::uint128 Ipv6Entries::start(int32_t i) const {
  uint8_t bytes[16];
  uint8_t id;
  ip_ranges_entry6(table, i, bytes, &id);
  return velmor::uint128_from_bytes(bytes);
}

uint8_t Ipv6Entries::id(int32_t i) const {
  uint8_t bytes[16];
  uint8_t id = 0;
  ip_ranges_entry6(table, i, bytes, &id);
  return id;
}

bool TableRuns6::next(Run6 *run) {
  if (have_above_mapped_) {
    *run = above_mapped_;
    have_above_mapped_ = false;
    return true;
  }
  Run6 whole;
  while (walk_.next(&whole)) {
    const bool below = whole.first < mapped_first;
    const bool above = whole.last > mapped_last;
    if (below) {
      *run = {whole.first, std::min(whole.last, mapped_first - 1), whole.id};
      if (above) {
        above_mapped_ = {mapped_last + 1, whole.last, whole.id};
        have_above_mapped_ = true;
      }
      return true;
    }
    if (above) {
      *run = {std::max(whole.first, mapped_last + 1), whole.last, whole.id};
      return true;
    }
    // wholly IPv4-mapped: the IPv4 runs hold it
  }
  return false;
}

}  // namespace iplookup
