// --sort: the ranges of a run gathered, then handed to the table rules in
// address order. Ranges that overlap with the same code are merged into the
// first; one that overlaps a range of another code is logged and left out,
// the first kept (the lower start, or of equal starts the earlier line).
#pragma once

#include <cstddef>
#include <cstdint>
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

  // Keeps the range read from line (a copy of the line and its texts).
  void add(const char *line, const RangeLine &read);

  // Hands every range to give: each family in address order.
  void finish(const Give &give);

 private:
  static constexpr size_t kRangesReserved = size_t{1} << 20;
  // Large enough for whole huge pages inside each block.
  static constexpr size_t kBlock = size_t{8} << 20;

  // A range as gathered: its texts kept together, "line\0[name\0]code\0",
  // found by their distance from the line (a piece is at most 1023 bytes;
  // a name or code from the locations file may be longer).
  struct Kept {
    velmor::uint128 start, end;
    const char *line;
    uint32_t code_at;  // the code at line + code_at
    uint16_t name_at;  // the name at line + name_at; 0 without a name
    uint8_t family;    // a Family
    const char *code() const { return line + code_at; }
    const char *name() const { return name_at != 0 ? line + name_at : nullptr; }
  };

  // Room for size bytes of texts in the blocks.
  char *room(size_t size);
  void sort();
  RangeLine range_of(const Kept &kept) const;

  LargeArray<Kept> kept_;
  // After sort(): the positions of kept_ in address order, when kept_ is
  // not itself in that order (empty when it is).
  LargeArray<uint32_t> order_;
  struct BlockFree {
    void operator()(char *block) const { std::free(block); }
  };
  using Block = std::unique_ptr<char[], BlockFree>;

  std::vector<Block> blocks_;  // the lines, codes and names
  size_t used_ = 0;            // of the last block
};

}  // namespace orvik
