// The runs of a boundary table: the address space cut into maximal
// stretches of one id, as the lookup answers them. An entry holds from its
// start up to one below the next larger start (the last one up to the top
// of the space), addresses below the first start have id 0, an entry
// followed by an equal start holds no address, and neighbouring stretches
// of the same id are one run. The walk is written once over the two tables:
// IPv4 (32-bit starts) and IPv6 (128-bit starts).
#pragma once

#include <cstdint>

#include "ip_ranges.h"
#include "str/internal/uint128.h"

namespace iplookup {

template <class Key>
struct BasicRun {
  Key first;
  Key last;
  uint8_t id;
};

using Run = BasicRun<uint32_t>;
using Run6 = BasicRun<velmor::uint128>;

// The IPv4 table of a record: its public starts and ids.
struct Ipv4Entries {
  using Key = uint32_t;
  static constexpr Key top = UINT32_MAX;

  explicit Ipv4Entries(const ip_ranges &table)
      : starts(table.starts), ids(table.ids), count(table.starts ? table.count : 0) {}
  Key start(int32_t i) const { return starts[i]; }
  uint8_t id(int32_t i) const { return ids[i]; }

  const uint32_t *starts;
  const uint8_t *ids;
  int32_t count;
};

// The IPv6 table of a record, read entry by entry through the library.
struct Ipv6Entries {
  using Key = velmor::uint128;
  static constexpr Key top = velmor::uint128_max;

  explicit Ipv6Entries(const ip_ranges &table) : table(&table), count(ip_ranges_count6(&table)) {}
  Key start(int32_t i) const;
  uint8_t id(int32_t i) const;

  const ip_ranges *table;
  int32_t count;
};

// Index of the first entry whose start is below the one before it, or -1
// when the starts ascend (equal ones allowed). Runs are defined only then:
// on other tables the lookup's answers follow no rule.
template <class Entries>
int32_t first_descending_entry(const Entries &entries) {
  for (int32_t i = 1; i < entries.count; ++i) {
    if (entries.start(i) < entries.start(i - 1)) return i;
  }
  return -1;
}

// Walks a table with ascending starts from the bottom of its space to the
// top.
template <class Entries>
class RunWalk {
 public:
  using Key = typename Entries::Key;

  explicit RunWalk(const ip_ranges &table) : entries_(table) {}

  // The next run in address order; false after the one that ends at the top.
  bool next(BasicRun<Key> *run) {
    if (!have_ahead_ && !next_stretch(&ahead_)) return false;
    *run = ahead_;
    have_ahead_ = false;
    BasicRun<Key> stretch;
    while (next_stretch(&stretch)) {
      if (stretch.id != run->id) {
        ahead_ = stretch;
        have_ahead_ = true;
        break;
      }
      run->last = stretch.last;
    }
    return true;
  }

 private:
  // The stretch one entry answers (the one below the first start at index
  // -1), skipping entries that answer no address. The last address is kept
  // rather than the end, which the IPv6 space has no room for.
  bool next_stretch(BasicRun<Key> *stretch) {
    while (index_ < entries_.count) {
      const int32_t i = index_++;
      const Key first = i < 0 ? 0 : entries_.start(i);
      Key last = Entries::top;
      if (i + 1 < entries_.count) {
        const Key next = entries_.start(i + 1);
        if (next <= first) continue;
        last = next - 1;
      }
      *stretch = {first, last, i < 0 ? uint8_t{0} : entries_.id(i)};
      return true;
    }
    return false;
  }

  Entries entries_;
  int32_t index_ = -1;     // -1: the stretch below the first start
  BasicRun<Key> ahead_{};  // a stretch read past the end of the last run
  bool have_ahead_ = false;
};

using TableRuns = RunWalk<Ipv4Entries>;

// The IPv4-mapped addresses ::ffff:0.0.0.0 to ::ffff:255.255.255.255: the
// IPv6 lookup answers them from the IPv4 table, so they belong to the IPv4
// runs and no IPv6 run holds them.
constexpr velmor::uint128 mapped_first = velmor::uint128{0xffff} << 32;
constexpr velmor::uint128 mapped_last = mapped_first + UINT32_MAX;

// The runs of the IPv6 table, the IPv4-mapped addresses cut out: a run
// across them comes out as two, one on each side. Cutting never joins two
// runs, so the runs stay maximal.
class TableRuns6 {
 public:
  explicit TableRuns6(const ip_ranges &table) : walk_(table) {}

  // The next run in address order; false after the one that ends at the top.
  bool next(Run6 *run);

 private:
  RunWalk<Ipv6Entries> walk_;
  Run6 above_mapped_{};  // the second part of a run cut in two
  bool have_above_mapped_ = false;
};

}  // namespace iplookup
