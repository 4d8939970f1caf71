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

char *SortedRanges::room(size_t size) {
  // Blocks that never move: no copies of what is kept as it grows.
  if (blocks_.empty() || kBlock - used_ < size) {
    const size_t size_of_block = size > kBlock ? size : kBlock;
    Block block(static_cast<char *>(velmor::allocate_block(size_of_block)));
    if (!block) throw std::bad_alloc();
    blocks_.push_back(std::move(block));
    used_ = 0;
  }
  char *kept = blocks_.back().get() + used_;
  used_ += size;
  return kept;
}

void SortedRanges::add(const char *line, const RangeLine &read) {
  const Range<velmor::uint128> &range = read.range;
  const size_t line_size = strlen(line) + 1;
  const size_t name_size = range.name != nullptr ? strlen(range.name) + 1 : 0;
  const size_t code_size = strlen(range.code) + 1;
  if (line_size > UINT16_MAX || line_size + name_size > UINT32_MAX) throw std::bad_alloc();
  char *texts = room(line_size + name_size + code_size);
  memcpy(texts, line, line_size);
  if (range.name != nullptr) memcpy(texts + line_size, range.name, name_size);
  memcpy(texts + line_size + name_size, range.code, code_size);
  kept_.push_back(Kept{range.start, range.end, texts, static_cast<uint32_t>(line_size + name_size),
                       static_cast<uint16_t>(range.name != nullptr ? line_size : 0),
                       static_cast<uint8_t>(read.family)});
}

RangeLine SortedRanges::range_of(const Kept &kept) const {
  RangeLine read;
  read.family = static_cast<Family>(kept.family);
  read.range.start = kept.start;
  read.range.end = kept.end;
  read.range.code = kept.code();
  read.range.name = kept.name();
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
  if (runs.size() == 1) return;  // in order as read
  if (runs.size() > 64 || kept_.size() > UINT32_MAX) {
    std::stable_sort(kept_.begin(), kept_.end(), before);  // of equal starts the earlier first
    return;
  }
  runs.push_back(kept_.size());
  // The runs are merged as positions into kept_, a tenth of the ranges'
  // size (a second array of ranges would be as large as the first, and
  // every fresh page of it costs its zeroing); std::merge takes equal
  // starts from the earlier run first.
  LargeArray<uint32_t> from(kept_.size()), into(kept_.size());
  for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint32_t>(i);
  const auto by_position = [this, &before](uint32_t a, uint32_t b) {
    return before(kept_[a], kept_[b]);
  };
  const auto at = [](LargeArray<uint32_t> &array, size_t i) {
    return array.begin() + static_cast<ptrdiff_t>(i);
  };
  while (runs.size() > 2) {
    std::vector<size_t> merged{0};
    size_t r = 0;
    for (; r + 2 < runs.size(); r += 2) {
      std::merge(at(from, runs[r]), at(from, runs[r + 1]), at(from, runs[r + 1]),
                 at(from, runs[r + 2]), at(into, runs[r]), by_position);
      merged.push_back(runs[r + 2]);
    }
    if (r + 1 < runs.size()) {  // an odd run out waits
      std::copy(at(from, runs[r]), at(from, runs[r + 1]), at(into, runs[r]));
      merged.push_back(runs[r + 1]);
    }
    from.swap(into);
    runs = std::move(merged);
  }
  order_ = std::move(from);
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
  for (size_t i = 0; i < kept_.size(); ++i) {
    const Kept &kept = order_.empty() ? kept_[i] : kept_[order_[i]];
    if (open != nullptr && kept.family == open->family && kept.start <= open_end) {
      const bool same = strcmp(kept.code(), open->code()) == 0;
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
