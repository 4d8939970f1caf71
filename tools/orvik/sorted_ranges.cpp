// Sorting the gathered ranges and settling their overlaps.
#include "sorted_ranges.h"

#include <algorithm>
#include <cstring>

namespace orvik {

bool SortedRanges::gathers(const RangeLine &read) {
  const Range<velmor::uint128> &range = read.range;
  return !read.passed && range.complete && !range.malformed && range.start > 0 &&
         range.end >= range.start;
}

size_t SortedRanges::keep(const char *text) {
  const size_t offset = text_.size();
  text_.append(text, strlen(text) + 1);
  return offset;
}

void SortedRanges::add(const char *line, const RangeLine &read) {
  const Range<velmor::uint128> &range = read.range;
  Kept kept{range.start, range.end, keep(line), keep(range.code), kNone, read.family};
  if (range.name != nullptr) kept.name = keep(range.name);
  kept_.push_back(kept);
}

RangeLine SortedRanges::range_of(const Kept &kept) const {
  RangeLine read;
  read.family = kept.family;
  read.range.start = kept.start;
  read.range.end = kept.end;
  read.range.code = text(kept.code);
  read.range.name = kept.name == kNone ? nullptr : text(kept.name);
  read.range.complete = true;
  return read;
}

void SortedRanges::finish(const Give &give) {
  // Stable: of equal starts the earlier line comes first.
  std::stable_sort(kept_.begin(), kept_.end(), [](const Kept &a, const Kept &b) {
    if (a.family != b.family) return a.family < b.family;
    return a.start < b.start;
  });
  // The range being built: the first of a run of overlapping ranges of one
  // code, its end the furthest of theirs.
  const Kept *open = nullptr;
  velmor::uint128 open_end = 0;
  auto close = [&] {
    if (open == nullptr) return;
    RangeLine read = range_of(*open);
    read.range.end = open_end;
    give(Step::take, text(open->line), read);
    open = nullptr;
  };
  for (const Kept &kept : kept_) {
    if (open != nullptr && kept.family == open->family && kept.start <= open_end) {
      const bool same = strcmp(text(kept.code), text(open->code)) == 0;
      give(same ? Step::merge : Step::overlap, text(kept.line), range_of(kept));
      if (same) open_end = std::max(open_end, kept.end);
      continue;
    }
    close();
    open = &kept;
    open_end = kept.end;
  }
  close();
}

}  // namespace orvik
