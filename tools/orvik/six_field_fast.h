// A fast reading of the six-field lines in the shape the published lists
// write them ("a","b","n","m","CC","Name", IPv6 ones with ", " between the
// fields): the line is scanned once, without copies of its fields. It gives
// what the careful reader (LineReader) gives for the same line, or declines
// a line of any other shape, which the careful reader then reads.
#pragma once

#include <cstddef>

#include "form_reader.h"

namespace orvik {

class FastSixField {
 public:
  // Reads line (length bytes, its line end cut) into *out as LineReader
  // would; false, *out undefined, for a line it leaves to LineReader. The
  // texts out points to lie here and stay valid until the next read.
  bool read(const char *line, size_t length, RangeLine *out);

 private:
  bool read_ipv4(const char *line, const char *end, RangeLine *out);
  bool read_ipv6(const char *line, const char *end, RangeLine *out);

  // Room for a code or a name of either kind of line.
  char code_[32];
  char name_[1024];
};

}  // namespace orvik
