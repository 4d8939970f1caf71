// A fast reading of a form's usual lines: each line in the shape the
// published files write is scanned once, without copies of its fields, and
// read exactly as the form's careful reader (FormReader) reads it; a line
// of any other shape is declined and the careful reader reads it.
#pragma once

#include <cstddef>
#include <memory>

#include "form_reader.h"

namespace orvik {

class FastReading {
 public:
  virtual ~FastReading() = default;

  // Reads line (length bytes, its line end cut; first tells the first line
  // of an input) into *out as the careful reader would; false, *out
  // undefined, for a line left to it. The texts out points to lie here and
  // stay valid until the next read.
  virtual bool read(const char *line, size_t length, bool first, RangeLine *out) = 0;
};

// The fast reading of the form options ask for; null for a form without one.
std::unique_ptr<FastReading> make_fast_reading(const RunOptions &options);

}  // namespace orvik
