// --sort: the ranges of a run gathered, then handed to the table rules in
// address order. Ranges that overlap with the same code are merged into the
// first; one that overlaps a range of another code is logged and left out,
// the first kept (the lower start, or of equal starts the earlier line).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form_reader.h"

namespace orvik {

class SortedRanges {
 public:
  // What becomes of a gathered range: a range of the table, a range merged
  // into the one before, or one left out as overlapping.
  enum class Step { take, merge, overlap };
  using Give = std::function<void(Step step, const char *line, const RangeLine &read)>;

  // Room for the ranges of the published lists from the start (address
  // space only, touched as ranges arrive): no copies while they are read.
  SortedRanges() { kept_.reserve(kRangesReserved); }

  // Whether a range read is gathered: a whole range with a start above 0
  // that does not run backwards. Any other line goes to the table rules at
  // once (to be counted, and skipped as malformed or unsorted).
  static bool gathers(const RangeLine &read);

  // Keeps the range read from line (copies of the line and its texts).
  void add(const char *line, const RangeLine &read);

  // Hands every range to give: each family in address order.
  void finish(const Give &give);

 private:
  static constexpr size_t kRangesReserved = size_t{1} << 20;
  // Large enough for whole huge pages inside each block.
  static constexpr size_t kBlock = size_t{8} << 20;

  struct Kept {
    velmor::uint128 start, end;
    const char *line, *code, *name;  // copies kept here; name null without a name
    Family family;
  };

  const char *keep(const char *text);
  void sort();
  RangeLine range_of(const Kept &kept) const;

  LargeArray<Kept> kept_;
  struct BlockFree {
    void operator()(char *block) const { std::free(block); }
  };
  using Block = std::unique_ptr<char[], BlockFree>;

  std::vector<Block> blocks_;  // the lines, codes and names
  size_t used_ = 0;            // of the last block
};

}  // namespace orvik
