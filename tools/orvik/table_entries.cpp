// The entries of both tables, as the table formats write them.
#include "ip_ranges/internal/table_format.h"
#include "misc.h"
#include "orvik.h"

namespace orvik {

// The program's most frequent call: the entry is formatted by hand and
// written without the stream's lock (the program is single-threaded).
void write_entry(FILE *out, uint32_t start, int id) {
  char text[velmor::table_entry_max];
  size_t length = velmor::format_table_entry(text, start, id);
  fwrite_unlocked(text, 1, length, out);
}

void write_entry6(FILE *out, velmor::uint128 start, int id) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(start, bytes);
  char text[velmor::table6_entry_max];
  size_t length = velmor::format_table_entry6(text, bytes, id);
  fwrite_unlocked(text, 1, length, out);
}

}  // namespace orvik
