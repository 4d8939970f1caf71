// Internal: reading a boundary table file piece by piece, the two passes of
// a load (entry format in table_format.h).
//
// The file is taken in pieces of at most 31 bytes: a piece ends after a LF or
// after 31 bytes, whichever comes first, so a longer line becomes several
// pieces judged one by one. Pieces that are no entry are passed over
// silently.
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

}  // namespace velmor
