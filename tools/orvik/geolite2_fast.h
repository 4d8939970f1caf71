// A fast reading of GeoLite2 blocks lines in their published shape:
// "network,geoname_id,registered_country_geoname_id[,...]", the network a
// dotted quad or IPv6 groups (no embedded quad) with a prefix length, the
// ids decimal digits or empty. A first line (where the header stands) and a
// line of any other shape go to Geolite2Reader.
#pragma once

#include <cstddef>

#include "fast_reading.h"
#include "geolite2_blocks.h"

namespace orvik {

class FastGeolite2 final : public FastReading {
 public:
  explicit FastGeolite2(const Locations &locations) : locations_(locations) {}

  bool read(const char *line, size_t length, bool first, RangeLine *out) override;

 private:
  const Locations &locations_;
};

}  // namespace orvik
