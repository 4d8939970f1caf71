// A fast reading of range-code lines in their usual shape: "first,last,cc"
// or the same with tabs, the addresses both as text of one family (dotted
// quads, or IPv6 groups without an embedded quad) or both as decimal
// numbers, the code letters only; no blanks, no quotes. A first line (where
// a header may stand) and a line of any other shape go to LineReader.
#pragma once

#include <cstddef>

#include "fast_reading.h"

namespace orvik {

class FastRangeCode final : public FastReading {
 public:
  bool read(const char *line, size_t length, bool first, RangeLine *out) override;

 private:
  // Longer codes go to LineReader.
  static constexpr size_t kCodeMax = 15;
  char code_[kCodeMax + 1];
};

}  // namespace orvik
