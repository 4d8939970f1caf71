// The boundary table as the input lines arrive: one entry where the id
// changes, none for gaps (a gap keeps the id of the range before it), and a
// closing entry after the last range.
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

TableBuilder::TableBuilder(FILE *out, CodeLookup &codes) : out_(out), codes_(codes) {
  write_entry(out, 0, 0);
}

void TableBuilder::take(char *line) {
  str_chomp(line);
  LineFields fields;
  read_line(line, &fields);
  if (fields.malformed) {
    log_msg(LOG_MESSAGE, "skip malformed: %s", line);
    return;
  }
  int16_t id = fields.complete ? codes_.find(fields.code) : -1;
  if (!is_next_range(fields, prev_end_)) {
    log_msg(LOG_MESSAGE, "skip unsorted: %s", line);
    return;
  }
  if (id == -1) {
    log_msg(LOG_MESSAGE, "unknown country: %s (%s)", fields.code, fields.name);
    id = 0;
  }
  if (id != written_id_) {
    write_entry(out_, fields.start, id);
    written_id_ = id;
  }
  prev_end_ = fields.end;
}

void TableBuilder::finish() {
  if (prev_end_ != 0 && prev_end_ != UINT32_MAX) write_entry(out_, prev_end_ + 1, 0);
}

}  // namespace orvik
