// A fast reading of the six-field lines in the shape the published lists
// write them ("a","b","n","m","CC","Name", IPv6 ones with ", " between the
// fields): the line is scanned once, without copies of its fields. It gives
// what the careful reader (LineReader) gives for the same line, or declines
// a line of any other shape, which the careful reader then reads.
#pragma once

#include <cstddef>

#include "fast_reading.h"

namespace orvik {

class FastSixField final : public FastReading {
 public:
  // Any line of the form, the first one too: it has no header.
  bool read(const char *line, size_t length, bool first, RangeLine *out) override;

 private:
  bool read_ipv4(const char *line, const char *end, RangeLine *out);
  bool read_ipv6(const char *line, const char *end, RangeLine *out);

  // Room for a code or a name of either kind of line.
  char code_[32];
  char name_[1024];
};

}  // namespace orvik
