// Reading an address operand or line: a dotted quad or IPv6 text, of the
// families a run answers for.
#pragma once

#include <cstdint>

#include "request.h"

namespace iplookup {

struct Address {
  bool ipv6;
  uint32_t ipv4;       // host order, when not ipv6
  uint8_t bytes6[16];  // network order, when ipv6
};

// Reads the whole text as an address of one of the families: a dotted quad
// as inet_pton(AF_INET) takes it (so that 255.255.255.255 is an address
// too), IPv6 text as str_ip6_parse takes it. False when it is neither.
bool read_address(const char *text, Families families, Address *address);

// The family a text that read_address refused is reported as not being
// ("not an IPv4 address"): the one -4 or -6 names, else IPv6 for a text with
// a ':' and IPv4 for any other, so that refusals of IPv4-looking text read
// as they always have.
const char *refused_family(const char *text, Families families);

}  // namespace iplookup
