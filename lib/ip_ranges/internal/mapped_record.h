// Internal: the life of a record of ip_ranges_new_mapped. Its first use
// opens the compiled table "conf/<name>.ipt" (compiled_table.h) and points
// the record's arrays, indexes and names into the mapping; when that file
// is missing, damaged or stale it reads the text tables as a record of
// ip_ranges_new does. A reload compares the identities of the compiled file
// and its three sources with those the last open saw, and opens again when
// any differs: the new file is mapped before the old one is unmapped, and
// both tables and the names switch together.
#pragma once

#include <cstdint>

#include "ip_ranges.h"
#include "ip_ranges/internal/compiled_table.h"
#include "ip_ranges/internal/record.h"

namespace velmor {

struct MappedRecord {
  bool opened = false;            // the first use has chosen the compiled file or the text files
  CompiledMapping mapping;        // base set while the record answers from the compiled file
  CompiledSeen seen;              // the files the last open saw (text loads update their table's)
  uint32_t generation = 0;        // opens that a reload made
  uint32_t reported[2] = {0, 0};  // the generation reload and reload6 last gave true for
};

inline bool is_mapped_record(const ip_ranges *table) {
  return table->state && table->state->mapped;
}

// True while a record answers from a compiled file.
inline bool answers_from_compiled(const ip_ranges *table) {
  return table && is_mapped_record(table) && table->state->mapped->mapping.base;
}

// ip_ranges_load and _load6 on a mapped record: the first opens the record;
// from the compiled file, true when the family has entries; from the text
// files, the family's table is loaded as ip_ranges_load loads it.
bool mapped_load(ip_ranges *table, Family family);

// ip_ranges_load_names on a mapped record: the names of the compiled file
// (false when it was compiled without a names file), else the names file.
bool mapped_load_names(ip_ranges *table);

// ip_ranges_reload and _reload6 on a mapped record: true once for each open
// that a reload made since this family's reload last gave true.
bool mapped_reload(ip_ranges *table, Family family);

// Releases the tables, names and mapping of a mapped record, and the
// record's MappedRecord.
void mapped_release(ip_ranges *table);

}  // namespace velmor
