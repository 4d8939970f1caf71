// Internal: IPv4 addresses in dotted-quad text, the one scanner and the one
// formatter behind str_ip_parse, str_ip_format, the table files and the
// programs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmor {

// What the scanner gives when the text holds no address. The address
// 255.255.255.255 itself reads the same: no boundary starts there.
constexpr uint32_t no_ipv4 = 0xFFFFFFFFu;

// Longest dotted quad with its terminator.
constexpr size_t ipv4_text_size = 16;

// The first dotted quad of [begin, end), the lenient way stored range lists
// are read: bytes other than digits before it are skipped, and each of the
// four numbers is read as strtoul reads it (white space and a sign before
// the digits allowed), keeping its low eight bits; numbers are joined by
// single dots. Never reads at or beyond end. no_ipv4 when there is none;
// otherwise *stop (when given) is set past the fourth number.
uint32_t scan_ipv4(const char *begin, const char *end, const char **stop = nullptr);

// Dotted quad of addr into dst (ipv4_text_size bytes); returns its length
// and writes no terminator.
size_t format_ipv4(uint32_t addr, char *dst);

}  // namespace velmor
