// Internal: the parts of a record's life that tests and the lookup reach
// directly.
#pragma once

#include "ip_ranges.h"
#include "ip_ranges/internal/range_index.h"

// What a record holds beyond its public fields.
struct ip_ranges_state {
  velmor::range_index index;  // over starts and ids; empty while there is none
};

namespace velmor {

// A step run between the counting and the reading pass of a load, with the
// table file's path; tests change the file there.
using BetweenPasses = void (*)(const char *path);

// ip_ranges_load, running between_passes (when not null) between its passes.
bool load_table(ip_ranges *table, BetweenPasses between_passes);

// Parses the names file text in place into the 256 codes and titles.
void parse_names(char *text, char **codes, char **titles);

}  // namespace velmor
