// Reading one line of a GeoLite2 Country blocks file.
#include "geolite2_blocks.h"

#include <cstring>

namespace orvik {

using velmor::uint128;

namespace {

enum Column { kNetwork, kLocation, kRegistered, kColumns };

}  // namespace

// A block's id: kCountry (place_ set) when its location names a country,
// kNone when it is empty or a continent, kUnknownId when it is no number
// or the locations file lacks it.
Geolite2Reader::Found Geolite2Reader::country_of(const char *id) {
  if (*id == '\0') return kNone;
  uint128 number = 0;
  if (!read_number(id, &number) || number > UINT64_MAX) return kUnknownId;
  const Locations::Location *location = locations_.find(static_cast<uint64_t>(number));
  if (location == nullptr) return kUnknownId;
  if (location->code.empty()) return kNone;
  place_ = location;
  return kCountry;
}

void Geolite2Reader::read(const char *line, bool first, RangeLine *out) {
  *out = RangeLine();
  place_ = nullptr;
  fields_.split(line, ',', kColumns);
  if (first && is_header(fields_, kColumns)) {
    out->passed = true;
    return;
  }
  Range<uint128> &range = out->range;
  Family family = Family::ipv4;
  if (fields_.count() < kColumns || !read_network(fields_[kNetwork], &family, &range)) {
    out->family =
        fields_.count() > 0 && strchr(fields_[kNetwork], ':') ? Family::ipv6 : Family::ipv4;
    range = Range<uint128>();
    range.malformed = true;
    return;
  }
  out->family = family == Family::ipv6 ? family_of_ipv6(&range) : family;
  Found found = country_of(fields_[kLocation]);
  if (found == kNone) found = country_of(fields_[kRegistered]);
  if (found != kCountry) {
    range = Range<uint128>();
    range.malformed = found == kUnknownId;  // a block without a country is a gap
    out->passed = found == kNone;
    return;
  }
  range.code = place_->code.c_str();
  range.name = place_->name.c_str();
  range.complete = true;
}

}  // namespace orvik
