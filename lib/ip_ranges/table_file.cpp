// Reading a boundary table file piece by piece (format in table_format.h).
#include "ip_ranges/internal/table_file.h"

#include <climits>

#include "ip_ranges/internal/range_index.h"
#include "ip_ranges/internal/table_format.h"

namespace velmor {

namespace {

// Reads at most room pieces of piece_size, handing each to take (which
// gives true when it stored an entry at the index given); the shared part
// of both families' reading pass.
template <int piece_size, class Take>
int32_t read_pieces(FILE *in, int32_t room, bool *whole, Take &&take) {
  char piece[piece_size];
  int32_t pieces = 0, stored = 0;
  // The file may have grown since it was counted: never read beyond room.
  while (pieces < room && fgets(piece, sizeof piece, in)) {
    pieces++;
    if (take(piece, stored)) stored++;
  }
  *whole = pieces == room && fgetc(in) == EOF;
  return stored;
}

}  // namespace

int32_t count_table_pieces(FILE *in, int piece_size) {
  char piece[table6_piece_size];
  if (piece_size > table6_piece_size) piece_size = table6_piece_size;
  int32_t pieces = 0;
  while (pieces < INT32_MAX && fgets(piece, piece_size, in)) pieces++;
  return pieces;
}

int32_t read_table_entries(FILE *in, int32_t room, uint32_t *starts, uint8_t *ids, bool *whole) {
  return read_pieces<table_piece_size>(in, room, whole, [&](const char *piece, int32_t at) {
    return parse_table_entry(piece, &starts[at], &ids[at]);
  });
}

int32_t read_table_entries6(FILE *in, int32_t room, uint64_t *his, uint64_t *los, uint8_t *ids,
                            bool *whole) {
  return read_pieces<table6_piece_size>(in, room, whole, [&](const char *piece, int32_t at) {
    uint8_t start[16];
    if (!parse_table_entry6(piece, start, &ids[at])) return false;
    const ip6_key key = ip6_key_from_bytes(start);
    his[at] = key.hi;
    los[at] = key.lo;
    return true;
  });
}

}  // namespace velmor
