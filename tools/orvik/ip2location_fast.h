// A fast reading of IP2Location LITE DB1 lines in their published shape:
// "first","last","CC","Name", the numbers decimal digits (up to 38), the
// code letters or "-", the name without quotes inside. A first line (where
// a header may stand) and a line of any other shape go to
// Ip2locationReader.
#pragma once

#include <cstddef>

#include "fast_reading.h"

namespace orvik {

class FastIp2location final : public FastReading {
 public:
  bool read(const char *line, size_t length, bool first, RangeLine *out) override;

 private:
  static constexpr size_t kCodeMax = 15;
  char code_[kCodeMax + 1];
  char name_[1024];  // a piece is at most 1023 bytes
};

}  // namespace orvik
