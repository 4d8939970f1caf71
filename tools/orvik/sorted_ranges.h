// --sort: the ranges of a run gathered, then handed to the table rules in
// address order. Ranges that overlap with the same code are merged into the
// first; one that overlaps a range of another code is logged and left out,
// the first kept (the lower start, or of equal starts the earlier line).
#pragma once

#include <cstddef>
#include <functional>
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

  // Whether a range read is gathered: a whole range with a start above 0
  // that does not run backwards. Any other line goes to the table rules at
  // once (to be counted, and skipped as malformed or unsorted).
  static bool gathers(const RangeLine &read);

  // Keeps the range read from line (copies of the line and its texts).
  void add(const char *line, const RangeLine &read);

  // Hands every range to give: each family in address order.
  void finish(const Give &give);

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  struct Kept {
    velmor::uint128 start, end;
    size_t line, code, name;  // offsets into text_; name kNone without a name
    Family family;
  };

  size_t keep(const char *text);
  RangeLine range_of(const Kept &kept) const;
  const char *text(size_t offset) const { return text_.c_str() + offset; }

  std::vector<Kept> kept_;
  std::string text_;  // the lines, codes and names, each ended by a NUL
};

}  // namespace orvik
