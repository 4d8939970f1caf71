// The GeoLite2 Country CSV form: the blocks files (one for IPv4, one for
// IPv6), "network,geoname_id,registered_country_geoname_id,
// represented_country_geoname_id,is_anonymous_proxy,is_satellite_provider[,
// is_anycast]" after a header line, one network in CIDR form per line; and
// the locations file, "geoname_id,locale_code,continent_code,
// continent_name,country_iso_code,country_name,is_in_european_union", that
// gives each id its country (continents have none). A block's country is
// its location's, else its registered country's; a block with neither (an
// anonymous proxy, a satellite provider) holds no range.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "form_reader.h"
#include "input_files.h"

namespace orvik {

// The locations file as read: each id's country code (folded; empty for a
// continent) and name.
class Locations {
 public:
  struct Location {
    std::string code;
    std::string name;
  };

  // Reads the one file of file; false after a logged failure (it cannot be
  // opened or read). A line that gives no id is logged and left out.
  bool load(velmor_tools::InputFiles &file);

  // The location of id; null when the file has none.
  const Location *find(uint64_t id) const;

 private:
  void take(const char *line, bool first);

  std::unordered_map<uint64_t, Location> by_id_;
  // The columns used, as the header names them (the published order until
  // a header says otherwise).
  size_t id_column_ = 0, code_column_ = 4, name_column_ = 5;
};

class Geolite2Reader final : public FormReader {
 public:
  explicit Geolite2Reader(const Locations &locations) : locations_(locations) {}

  void read(const char *line, bool first, RangeLine *out) override;
  // The country's name in the locations file.
  std::string title(const char *) const override { return place_ ? place_->name : ""; }

 private:
  enum Found { kCountry, kNone, kUnknownId };
  Found country_of(const char *id);

  const Locations &locations_;
  const Locations::Location *place_ = nullptr;  // of the line read last
  Fields fields_;
};

}  // namespace orvik
