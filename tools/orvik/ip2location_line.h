// The IP2Location LITE DB1 form: four quoted fields
// "16777216","16777471","AU","Australia", the addresses as decimal numbers,
// "-","-" for addresses without a country. The IPv6 file holds the IPv4
// ranges as IPv4-mapped numbers (::ffff:0:0/96), which go to the IPv4 table.
#pragma once

#include <string>

#include "form_reader.h"

namespace orvik {

class Ip2locationReader final : public FormReader {
 public:
  void read(const char *line, bool first, RangeLine *out) override;
  // The fourth field, the country's name.
  std::string title(const char *line) const override;

 private:
  Fields fields_;
  std::string code_;
};

}  // namespace orvik
