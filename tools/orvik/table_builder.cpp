// The entries of both tables, and the IPv4 table of six-field lines as they
// arrive.
#include "ip_ranges/internal/table_format.h"
#include "misc.h"
#include "orvik.h"
#include "str.h"

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

TableBuilder::TableBuilder(FILE *out, CodeLookup &codes, bool close_gaps)
    : table_(out, codes, close_gaps) {}

void TableBuilder::take(char *line) {
  str_chomp(line);
  LineFields fields;
  read_line(line, &fields);
  Range<uint32_t> range;
  range.start = fields.start;
  range.end = fields.end;
  range.code = fields.code;
  range.name = fields.name;
  range.complete = fields.complete;
  range.malformed = fields.malformed;
  table_.take(line, range);
}

}  // namespace orvik
