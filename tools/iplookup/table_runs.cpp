// Cutting a boundary table into runs of one id.
#include "table_runs.h"

namespace iplookup {

int32_t first_descending_entry(const ip_ranges &table) {
  for (int32_t i = 1; i < table.count; ++i) {
    if (table.starts[i] < table.starts[i - 1]) return i;
  }
  return -1;
}

// The stretch one entry answers (the one below the first start at index
// -1), skipping entries that answer no address.
bool TableRuns::next_stretch(Run *stretch) {
  while (index_ < count_) {
    const int32_t i = index_++;
    const uint64_t first = i < 0 ? 0 : starts_[i];
    const uint64_t end = i + 1 < count_ ? starts_[i + 1] : uint64_t{1} << 32;
    if (end <= first) continue;
    *stretch = {static_cast<uint32_t>(first), static_cast<uint32_t>(end - 1),
                i < 0 ? uint8_t{0} : ids_[i]};
    return true;
  }
  return false;
}

bool TableRuns::next(Run *run) {
  if (!have_ahead_ && !next_stretch(&ahead_)) return false;
  *run = ahead_;
  have_ahead_ = false;
  Run stretch;
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

}  // namespace iplookup
