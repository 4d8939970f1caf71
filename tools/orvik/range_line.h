// The reader of today's two forms: six-field lines (IPv4 ones through
// read_line, as they always were read; IPv6 ones read as CSV whole, without
// the 30-character cut of the IPv4 fields) and range-code lines
// ("first,last,code", the addresses as text or as numbers, the fields
// separated by commas or tabs, a header line first passed over).
#pragma once

#include <cstddef>
#include <string>

#include "form_reader.h"
#include "orvik.h"

namespace orvik {

// The family of a line: IPv6 when its first field (the text before the
// first comma) holds a ':', else IPv4.
Family family_of(const char *line);

class LineReader final : public FormReader {
 public:
  explicit LineReader(const RunOptions &options) : format_(options.format) {}

  void read(const char *line, bool first, RangeLine *out) override;

  // Field 6 read whole as CSV, "" when there is none (the range-code form
  // has no name field).
  std::string title(const char *line) const override;
  bool has_titles() const override { return format_ != InputFormat::range_code; }

 private:
  static constexpr size_t kMaxFields = 6;

  void read_six_field_ipv4(const char *line, Range<velmor::uint128> *range);
  void read_six_field_ipv6(const char *line, Range<velmor::uint128> *range);
  void read_range_code(const char *line, bool first, RangeLine *out);

  InputFormat format_;
  Family family_ = Family::ipv4;  // of the line read last
  LineFields fields_ = {};        // a six-field IPv4 line
  Fields csv_;                    // the fields of any other line
  std::string code_;
};

}  // namespace orvik
