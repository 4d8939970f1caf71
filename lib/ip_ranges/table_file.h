// Internal: reading a boundary table file ("conf/<name>.ips") piece by piece.
//
// The file is taken in pieces of at most 31 bytes: a piece ends after a LF or
// after 31 bytes, whichever comes first, so a longer line becomes several
// pieces judged one by one. A piece is an entry when it holds a dotted quad
// (str_ip_parse) and a space; the id is the low 8 bits of the number after
// the first space (atol rules). Everything else is passed over silently.
#pragma once

#include <cstdint>
#include <cstdio>

namespace velmor {

constexpr int table_piece_size = 32;  // 31 bytes and the terminator

// Number of pieces from the stream's position to its end, at most INT32_MAX.
int32_t count_table_pieces(FILE *in);

// Reads the entries of at most room pieces from the stream into starts/ids in
// file order, whatever the stream holds; gives the number stored. *whole
// tells whether the stream held exactly room pieces (it did not change since
// it was counted, as far as the reader can tell).
int32_t read_table_entries(FILE *in, int32_t room, uint32_t *starts, uint8_t *ids, bool *whole);

// The entry of one piece (a NUL-terminated text), or false when it is none.
bool parse_table_piece(const char *piece, uint32_t *start, uint8_t *id);

// Test hook: when set, called with the path between the counting and the
// reading pass of a load, so that tests can change the file there.
extern void (*table_between_passes_hook)(const char *path);

}  // namespace velmor
