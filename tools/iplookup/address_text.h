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

// What a text that read_address refused is reported as not being ("not an
// IPv4 address"): an address of the family -4 or -6 names, else an address
// of either family ("not an address").
const char *address_kind(Families families);

}  // namespace iplookup
