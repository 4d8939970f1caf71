// The fast GeoLite2 blocks reading. Geolite2Reader splits a line into its
// first three CSV fields and reads the network (read_network) and the ids
// (read_number, at most 64 bits); fields of address bytes, a '/' and
// digits, then digits only, read the same split plainly. Its outcomes, a
// block with a country, one without (a gap) and one whose id the locations
// lack (malformed), are all given here alike.
#include "geolite2_fast.h"

#include "fast_scan.h"

namespace orvik {

namespace {

using velmor::uint128;

// The digits at p up to the next comma or the end; null for any other byte
// or more than 19 digits (beyond them an id may not fit 64 bits).
const char *id_field(const char *p) {
  const char *start = p;
  while (fast::kind_of(*p) == fast::kDigit) ++p;
  if (p - start > 19 || (*p != ',' && *p != '\0')) return nullptr;
  return p;
}

// The network [p, end): an address of the family its ':' gives, a '/', a
// prefix length within the family's width, no bits set after the prefix.
bool network(const char *p, const char *end, Family *family, Range<uint128> *range) {
  uint8_t kinds = 0;
  const char *slash = fast::address_run(p, &kinds);
  if (slash == p || *slash != '/') return false;
  *family = (kinds & fast::kColon) != 0 ? Family::ipv6 : Family::ipv4;
  const unsigned width = *family == Family::ipv4 ? 32 : 128;
  uint128 start = 0, length = 0;
  if (!fast::number(slash + 1, end, &length) || length > width) return false;
  const bool read = *family == Family::ipv4 ? fast::dotted_quad(p, slash, &start)
                                            : fast::ipv6_groups(p, slash, &start);
  return read && network_range(start, width, static_cast<unsigned>(length), range);
}

}  // namespace

bool FastGeolite2::read(const char *line, size_t, bool first, RangeLine *out) {
  if (first) return false;
  const char *network_end = line;
  while (*network_end != ',' && *network_end != '\0') ++network_end;
  if (*network_end != ',') return false;
  const char *location = network_end + 1;
  const char *location_end = id_field(location);
  if (location_end == nullptr || *location_end != ',') return false;
  const char *registered = location_end + 1;
  const char *registered_end = id_field(registered);
  if (registered_end == nullptr) return false;

  *out = RangeLine();
  Family family = Family::ipv4;
  if (!network(line, network_end, &family, &out->range)) return false;
  out->family = family == Family::ipv6 ? family_of_ipv6(&out->range) : family;
  // A block's country is its location's, else its registered country's.
  const Locations::Location *place = nullptr;
  for (const auto &[id, id_end] :
       {std::pair{location, location_end}, std::pair{registered, registered_end}}) {
    if (id == id_end) continue;  // empty: no country here
    uint128 number = 0;
    fast::decimal(id, id_end, &number);
    place = locations_.find(static_cast<uint64_t>(number));
    if (place == nullptr) {  // an id the locations lack
      out->range = Range<uint128>();
      out->range.malformed = true;
      return true;
    }
    if (!place->code.empty()) break;
    place = nullptr;  // a continent: no country here
  }
  if (place == nullptr) {  // a block without a country: a gap
    out->range = Range<uint128>();
    out->passed = true;
    return true;
  }
  out->range.code = place->code.c_str();
  out->range.name = place->name.c_str();
  out->range.complete = true;
  return true;
}

}  // namespace orvik
