// Reading a boundary table file piece by piece (format in table_format.h).
#include "ip_ranges/internal/table_file.h"

#include <climits>

#include "ip_ranges/internal/table_format.h"

namespace velmor {

int32_t count_table_pieces(FILE *in) {
  char piece[table_piece_size];
  int32_t pieces = 0;
  while (pieces < INT32_MAX && fgets(piece, sizeof piece, in)) pieces++;
  return pieces;
}

int32_t read_table_entries(FILE *in, int32_t room, uint32_t *starts, uint8_t *ids, bool *whole) {
  char piece[table_piece_size];
  int32_t pieces = 0, stored = 0;
  // The file may have grown since it was counted: never read beyond room.
  while (pieces < room && fgets(piece, sizeof piece, in)) {
    pieces++;
    if (parse_table_entry(piece, &starts[stored], &ids[stored])) stored++;
  }
  *whole = pieces == room && fgetc(in) == EOF;
  return stored;
}

}  // namespace velmor
