// The runs of a boundary table: the address space cut into maximal
// stretches of one id, as the lookup answers them. An entry holds from its
// start up to one below the next larger start (the last one up to
// 255.255.255.255), addresses below the first start have id 0, an entry
// followed by an equal start holds no address, and neighbouring stretches
// of the same id are one run.
#pragma once

#include <cstdint>

#include "ip_ranges.h"

namespace iplookup {

struct Run {
  uint32_t first;
  uint32_t last;
  uint8_t id;
};

// Index of the first entry whose start is below the one before it, or -1
// when the starts ascend (equal ones allowed). Runs are defined only then:
// on other tables the lookup's answers follow no rule.
int32_t first_descending_entry(const ip_ranges &table);

// Walks a table with ascending starts from 0.0.0.0 to 255.255.255.255.
class TableRuns {
 public:
  explicit TableRuns(const ip_ranges &table)
      : starts_(table.starts), ids_(table.ids), count_(table.starts ? table.count : 0) {}

  // The next run in address order; false after the one that ends at
  // 255.255.255.255.
  bool next(Run *run);

 private:
  bool next_stretch(Run *stretch);

  const uint32_t *starts_;
  const uint8_t *ids_;
  int32_t count_;
  int32_t index_ = -1;  // -1: the stretch below the first start
  Run ahead_{};         // a stretch read past the end of the last run
  bool have_ahead_ = false;
};

}  // namespace iplookup
