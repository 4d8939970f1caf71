// Sorting the gathered ranges and settling their overlaps.
#include "sorted_ranges.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orvik {

bool SortedRanges::gathers(const RangeLine &read) {
  const Range<velmor::uint128> &range = read.range;
  return !read.passed && range.complete && !range.malformed && range.start > 0 &&
         range.end >= range.start;
}

const char *SortedRanges::keep(const char *text) {
  const size_t size = strlen(text) + 1;
  // Blocks that never move: no copies of what is kept as it grows.
  if (blocks_.empty() || kBlock - used_ < size) {
    const size_t size_of_block = size > kBlock ? size : kBlock;
    Block block(static_cast<char *>(velmor::allocate_block(size_of_block)));
    if (!block) throw std::bad_alloc();
    blocks_.push_back(std::move(block));
    used_ = 0;
  }
  char *kept = blocks_.back().get() + used_;
  memcpy(kept, text, size);
  used_ += size;
  return kept;
}

void SortedRanges::add(const char *line, const RangeLine &read) {
  const Range<velmor::uint128> &range = read.range;
  Kept kept{range.start, range.end, keep(line), keep(range.code), nullptr, read.family};
  if (range.name != nullptr) kept.name = keep(range.name);
  kept_.push_back(kept);
}

RangeLine SortedRanges::range_of(const Kept &kept) const {
  RangeLine read;
  read.family = kept.family;
  read.range.start = kept.start;
  read.range.end = kept.end;
  read.range.code = kept.code;
  read.range.name = kept.name;
  read.range.complete = true;
  return read;
}

void SortedRanges::sort() {
  const auto before = [](const Kept &a, const Kept &b) {
    if (a.family != b.family) return a.family < b.family;
    return a.start < b.start;
  };
  // Lists come in a few sorted runs (one per registry, one per family): the
  // runs are merged, pairwise, stably; many runs are sorted whole.
  std::vector<size_t> runs{0};
  for (size_t i = 1; i < kept_.size(); ++i)
    if (before(kept_[i], kept_[i - 1])) runs.push_back(i);
  if (runs.size() > 64) {
    std::stable_sort(kept_.begin(), kept_.end(), before);  // of equal starts the earlier first
    return;
  }
  runs.push_back(kept_.size());
  // Each round merges pairs of runs into a second array (in huge pages, as
  // the first; std::merge takes equal starts from the earlier run first).
  LargeArray<Kept> into;
  if (runs.size() > 2) into.resize(kept_.size());
  while (runs.size() > 2) {
    std::vector<size_t> merged{0};
    const auto at = [](LargeArray<Kept> &array, size_t i) {
      return array.begin() + static_cast<ptrdiff_t>(i);
    };
    size_t r = 0;
    for (; r + 2 < runs.size(); r += 2) {
      std::merge(at(kept_, runs[r]), at(kept_, runs[r + 1]), at(kept_, runs[r + 1]),
                 at(kept_, runs[r + 2]), at(into, runs[r]), before);
      merged.push_back(runs[r + 2]);
    }
    if (r + 1 < runs.size()) {  // an odd run out waits
      std::copy(at(kept_, runs[r]), at(kept_, runs[r + 1]), at(into, runs[r]));
      merged.push_back(runs[r + 1]);
    }
    kept_.swap(into);
    runs = std::move(merged);
  }
}

void SortedRanges::finish(const Give &give) {
  sort();
  // The range being built: the first of a run of overlapping ranges of one
  // code, its end the furthest of theirs.
  const Kept *open = nullptr;
  velmor::uint128 open_end = 0;
  auto close = [&] {
    if (open == nullptr) return;
    RangeLine read = range_of(*open);
    read.range.end = open_end;
    give(Step::take, open->line, read);
    open = nullptr;
  };
  for (const Kept &kept : kept_) {
    if (open != nullptr && kept.family == open->family && kept.start <= open_end) {
      const bool same = strcmp(kept.code, open->code) == 0;
      give(same ? Step::merge : Step::overlap, kept.line, range_of(kept));
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
