// Internal: the parts of a record's life that tests and the lookup reach
// directly.
#pragma once

#include <cstdint>

#include "ip_ranges.h"
#include "ip_ranges/internal/range_index.h"
#include "misc/internal/file_identity.h"
#include "misc/internal/paths.h"

namespace velmor {
struct MappedRecord;
}

// What a record holds beyond its public fields: the index over the IPv4
// table, the IPv6 table "conf/<name>6.ips" (17 bytes per entry, loaded on
// the first IPv6 lookup) with its own index, the identities of the table
// files the last loads saw, and, for a record of ip_ranges_new_mapped, its
// compiled table (mapped_record.h). Zero bytes are a record with nothing
// loaded.
struct ip_ranges_state {
  velmor::range_index index;  // over starts and ids; empty while there is none
  uint64_t *his;              // IPv6 starts, high halves (ip6_key); null while not loaded
  uint64_t *los;              // IPv6 starts, low halves
  uint8_t *ids6;              // id of each IPv6 entry
  int32_t count6;             // IPv6 entries
  bool load6_tried;           // set by the first IPv6 lookup that found no table
  velmor::range_index index6;
  // The table files as their last loads saw them, taken before reading: a
  // reload compares them, so every replacement is seen, also two within
  // one second. Not present when the file could not be examined.
  velmor::FileIdentity identity;
  velmor::FileIdentity identity6;
  // True while the arrays and indexes point into a compiled file: lookups
  // then bound what the index gives (range_index_lookup_bounded).
  bool index_from_file;
  velmor::MappedRecord *mapped;  // records of ip_ranges_new_mapped; null for the others
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

// Reads the names file into the record as ip_ranges_load_names does for a
// record of ip_ranges_new, and drops the names a record holds (the next name
// query reads the file again).
bool load_names_file(ip_ranges *table);
void drop_names(ip_ranges *table);

}  // namespace velmor
