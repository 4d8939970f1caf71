// Reading a boundary table file piece by piece (format in table_file.h).
#include "table_file.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "str.h"

namespace velmor {

void (*table_between_passes_hook)(const char *path) = nullptr;

int32_t count_table_pieces(FILE *in) {
  char piece[table_piece_size];
  int32_t pieces = 0;
  while (pieces < INT32_MAX && fgets(piece, sizeof piece, in)) pieces++;
  return pieces;
}

bool parse_table_piece(const char *piece, uint32_t *start, uint8_t *id) {
  const char *space = strchr(piece, ' ');
  if (!space) return false;
  uint32_t addr = str_ip_parse(piece);
  if (addr == 0xFFFFFFFFu) return false;  // also 255.255.255.255: no entry starts there
  *start = addr;
  // strtol is atol with a defined result on overflow; the conversion keeps
  // the low 8 bits, so -1 becomes 255 and 300 becomes 44.
  *id = static_cast<uint8_t>(strtol(space + 1, nullptr, 10));
  return true;
}

int32_t read_table_entries(FILE *in, int32_t room, uint32_t *starts, uint8_t *ids, bool *whole) {
  char piece[table_piece_size];
  int32_t pieces = 0, stored = 0;
  // The file may have grown since it was counted: never read beyond room.
  while (pieces < room && fgets(piece, sizeof piece, in)) {
    pieces++;
    if (parse_table_piece(piece, &starts[stored], &ids[stored])) stored++;
  }
  *whole = pieces == room && fgetc(in) == EOF;
  return stored;
}

}  // namespace velmor
