// Reading an address operand or line.
#include "address_text.h"

#include <arpa/inet.h>

#include <cstring>

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

const char *refused_family(const char *text, Families families) {
  if (families == Families::ipv4) return "IPv4";
  if (families == Families::ipv6) return "IPv6";
  return strchr(text, ':') ? "IPv6" : "IPv4";
}

}  // namespace iplookup
