// Internal: the boundary table format, written by tamsel and orvik and read
// by the loader.
//
// A boundary table file ("conf/<name>.ips") lists one entry per line:
//
//     0.0.0.0 0
//     10.0.0.0 7
//     11.0.0.0 0
//
// the start address as a dotted quad without leading zeros, one space, and
// the id in decimal. An entry holds from its start up to the next entry's
// start; addresses below the first start have id 0. Writers guarantee
// ascending starts (readers bisect); readers take the file in pieces of at
// most 31 bytes and pass over every piece that is not an entry.
//
// An IPv6 table ("conf/<name>6.ips") has the same shape: the start as
// RFC 5952 text (lower case, the longest zero run compressed), one space,
// the id; writers start it with "::" and keep the starts strictly
// ascending; readers take pieces of at most 63 bytes.
//
//     :: 0
//     2001:200:: 17
//     2001:200:1000:: 0
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmor {

// Longest entry line: "255.255.255.255 -2147483648\n".
constexpr size_t table_entry_max = 15 + 1 + 11 + 1;

// Writes the line of the entry (start, id), line feed included, into dst
// (table_entry_max bytes); returns its length. The id is written as a signed
// decimal number, as a writer without an id to give ("ru" missing: -1)
// prints it.
size_t format_table_entry(char *dst, uint32_t start, int id);

// The entry of one piece of a table file (a NUL-terminated text of at most
// 31 bytes): a dotted quad (read as str_ip_parse reads it) and, after the
// first space, the id, read as atol reads it and cut to its low eight bits
// (-1 gives 255). False when the piece is no entry: no space, or no dotted
// quad (255.255.255.255 included: no entry starts there).
bool parse_table_entry(const char *piece, uint32_t *start, uint8_t *id);

// Longest IPv6 entry line: 39 bytes of address, " -2147483648" and "\n".
constexpr size_t table6_entry_max = 39 + 1 + 11 + 1;

// Writes the line of the IPv6 entry (start, id) into dst (table6_entry_max
// bytes); returns its length.
size_t format_table_entry6(char *dst, const uint8_t start[16], int id);

// The entry of one piece of an IPv6 table file: an IPv6 address at the very
// start of the piece, ending at the first space, and the id after it, read
// as for IPv4 entries. False when the piece is no entry.
bool parse_table_entry6(const char *piece, uint8_t start[16], uint8_t *id);

}  // namespace velmor
