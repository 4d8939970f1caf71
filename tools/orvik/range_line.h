// One input line read in the run's form: the address family it belongs to
// and the range it gives. Six-field IPv4 lines are read by read_line, as
// they always were; IPv6 lines and range-code lines are read as CSV whole,
// without the 30-character cut of the IPv4 fields.
#pragma once

#include <cstddef>
#include <string>

#include "orvik.h"

namespace orvik {

// The family of a line: IPv6 when its first field (the text before the
// first comma) holds a ':', else IPv4.
Family family_of(const char *line);

// A line as read: its family and its range (an IPv4 range in the low 32
// bits).
struct RangeLine {
  Family family = Family::ipv4;
  Range<velmor::uint128> range;
};

class LineReader {
 public:
  explicit LineReader(const RunOptions &options) : format_(options.format) {}

  // Reads line (its line end cut) into *out. The texts out points to lie in
  // the reader and stay valid until the next read.
  void read(const char *line, RangeLine *out);

  // The title --update-names gives a new code of line, the line read last:
  // field 6 read whole as CSV, "" when there is none (the range-code form
  // has no name field).
  std::string title(const char *line) const;

 private:
  static constexpr size_t kMaxFields = 6;

  void read_six_field_ipv4(const char *line, Range<velmor::uint128> *range);
  void read_six_field_ipv6(const char *line, Range<velmor::uint128> *range);
  void read_range_code(const char *line, Family family, Range<velmor::uint128> *range);
  void take_code(const char *code, Range<velmor::uint128> *range);
  void split(const char *line, size_t max_fields);
  const char *field(size_t i) const { return text_.c_str() + starts_[i]; }

  InputFormat format_;
  Family family_ = Family::ipv4;  // of the line read last
  LineFields fields_ = {};        // a six-field IPv4 line
  std::string text_;              // the CSV fields of any other line, each ended by a NUL
  size_t starts_[kMaxFields] = {};
  size_t count_ = 0;
  std::string code_;
};

}  // namespace orvik
