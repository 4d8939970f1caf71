// Internal: IPv6 addresses between text and 16 bytes (network order).
//
// Text read (RFC 4291 section 2.2): eight groups of 1 to 4 hex digits (either
// case) separated by ':'; at most one "::" standing for one or more zero
// groups; the last 32 bits may be written as a dotted quad of strict decimal
// octets (0-255, no leading zeros, exactly four), as glibc's inet_pton reads
// them. No zone id ("%eth0"), no brackets, no prefix length.
//
// Where an address ends: it is the whole run of bytes from the start that
// could belong to an address text (hex digits, ':' and '.'). That run must be
// exactly one address, otherwise there is none. So "1::2/64" ends at '/',
// "fe80::1%eth0" at '%', "1:2:3:4:5:6:7:8-1::" at '-' and "1::2 x" at the
// space, while "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:8::", "1::2:", "1::12345",
// "::1.2.3.4.5" and "1::2." are refused rather than cut short: a shorter
// reading would leave bytes that continue the address text, and taking
// them apart would be a guess. Other bytes, letters g-z included, simply end
// the address ("1::2g" reads "1::2"); a caller that needs a word boundary
// checks the byte after the address itself.
//
// Acceptance is the same as glibc's inet_pton(AF_INET6) on the whole text;
// the tests and the fuzz target compare the two, with no exceptions.
//
// Text written (RFC 5952 section 4): lower case, no leading zeros, the
// longest run of two or more zero groups as "::" (the first of equally long
// runs), a lone zero group as "0". Every address is written in hex groups,
// IPv4-mapped ones included: ::ffff:1.2.3.4 is written "::ffff:102:304".
// RFC 5952 section 5 recommends the dotted tail for those, but our
// reference, Python 3.11's str(ipaddress.IPv6Address), writes hex groups,
// and keeping one text per address matters more to the tables and logs
// that compare these texts. The reader accepts both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmor {

// Bytes a formatted address needs, with its terminator (INET6_ADDRSTRLEN).
// format_ipv6 writes at most 40 of them; the rest is room a caller sizing
// buffers for other IPv6 writers already expects.
constexpr size_t ipv6_text_max = 46;

// Reads one address starting exactly at begin, never at or beyond end.
// Returns the position just past it and fills out; nullptr when the text
// there is not an address as described above, leaving out as it was.
const char *scan_ipv6(const char *begin, const char *end, uint8_t out[16]);

// Writes the canonical text of addr and a terminator into dst (at least
// ipv6_text_max bytes); returns the text's length.
size_t format_ipv6(const uint8_t addr[16], char *dst);

}  // namespace velmor
