// Reading an address operand or line.
#include "address_text.h"

#include <arpa/inet.h>

#include "str.h"

namespace iplookup {

bool read_address(const char *text, Families families, Address *address) {
  if (families != Families::ipv6) {
    struct in_addr parsed;
    if (inet_pton(AF_INET, text, &parsed) == 1) {
      address->ipv6 = false;
      address->ipv4 = ntohl(parsed.s_addr);
      return true;
    }
  }
  if (families != Families::ipv4 && str_ip6_parse(text, address->bytes6)) {
    address->ipv6 = true;
    return true;
  }
  return false;
}

const char *address_kind(Families families) {
  if (families == Families::ipv4) return "an IPv4 address";
  if (families == Families::ipv6) return "an IPv6 address";
  return "an address";
}

}  // namespace iplookup
