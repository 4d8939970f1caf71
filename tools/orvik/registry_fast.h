// A fast reading of the registries' ipv4, ipv6 and asn records in their
// published shape: "registry|cc|type|start|value|date|status[|...]", no
// field opening with a quote, the code letters or empty, the start an
// address of the record's type, the value digits. Comments, the version
// and summary lines and a line of any other shape go to RegistryReader.
#pragma once

#include <cstddef>

#include "fast_reading.h"

namespace orvik {

class FastRegistry final : public FastReading {
 public:
  bool read(const char *line, size_t length, bool first, RangeLine *out) override;

 private:
  static constexpr size_t kCodeMax = 15;
  char code_[kCodeMax + 1];
};

}  // namespace orvik
