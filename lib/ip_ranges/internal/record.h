// Internal: the parts of a record's life that tests and the lookup reach
// directly.
#pragma once

#include <cstdint>

#include "ip_ranges.h"
#include "ip_ranges/internal/range_index.h"
#include "misc/internal/paths.h"

// What a record holds beyond its public fields: the index over the IPv4
// table, and the IPv6 table "conf/<name>6.ips" (17 bytes per entry, loaded
// on the first IPv6 lookup) with its own index.
struct ip_ranges_state {
  velmor::range_index index;  // over starts and ids; empty while there is none
  uint64_t *his;              // IPv6 starts, high halves (ip6_key); null while not loaded
  uint64_t *los;              // IPv6 starts, low halves
  uint8_t *ids6;              // id of each IPv6 entry
  int32_t count6;             // IPv6 entries
  int64_t mtime6;             // IPv6 file mtime seen by the last load
  bool load6_tried;           // set by the first IPv6 lookup that found no table
  velmor::range_index index6;
};

namespace velmor {

// The two tables of a record, and their files "conf/<name>.ips" and
// "conf/<name>6.ips".
enum class Family { ipv4, ipv6 };

// A step run between the counting and the reading pass of a load, with the
// table file's path; tests change the file there.
using BetweenPasses = void (*)(const char *path);

// Loads the family's table file into the record, replacing what it held,
// with the rules and messages of ip_ranges_load; runs between_passes (when
// not null) between its passes. The IPv6 table needs the record's state.
bool load_table(ip_ranges *table, BetweenPasses between_passes, Family family = Family::ipv4);

// Drops the family's table (arrays, count, index).
void drop_table(ip_ranges *table, Family family);

// The end of the family's table file name, after "conf/<name>".
constexpr const char *table_file_suffix(Family family) {
  return family == Family::ipv4 ? ".ips" : "6.ips";
}

// The family's table file path; false (reported as "cannot open ...") when
// the name makes it too long.
bool table_path(const ip_ranges *table, Family family, PathText &path);

// Parses the names file text in place into the 256 codes and titles.
void parse_names(char *text, char **codes, char **titles);

}  // namespace velmor
