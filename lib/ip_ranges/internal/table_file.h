// Internal: reading a boundary table file piece by piece, the two passes of
// a load (entry formats in table_format.h).
//
// The file is taken in pieces: a piece ends after a LF or when it fills its
// buffer, whichever comes first, so a longer line becomes several pieces
// judged one by one. Pieces that are no entry are passed over silently. An
// IPv4 piece holds at most 31 bytes, an IPv6 piece at most 63 (the longest
// IPv6 entry line is 44 bytes).
#pragma once

#include <cstdint>
#include <cstdio>

namespace velmor {

constexpr int table_piece_size = 32;   // 31 bytes and the terminator
constexpr int table6_piece_size = 64;  // 63 bytes and the terminator

// Number of pieces of piece_size from the stream's position to its end, at
// most INT32_MAX.
int32_t count_table_pieces(FILE *in, int piece_size = table_piece_size);

// Reads the entries of at most room pieces from the stream into starts/ids in
// file order, whatever the stream holds; gives the number stored. *whole
// tells whether the stream held exactly room pieces (it did not change since
// it was counted, as far as the reader can tell).
int32_t read_table_entries(FILE *in, int32_t room, uint32_t *starts, uint8_t *ids, bool *whole);

// The same for an IPv6 table: each start goes to his/los as the host-order
// halves of its 16 bytes (range_index.h's ip6_key).
int32_t read_table_entries6(FILE *in, int32_t room, uint64_t *his, uint64_t *los, uint8_t *ids,
                            bool *whole);

}  // namespace velmor
