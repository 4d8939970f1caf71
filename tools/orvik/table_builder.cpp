// The boundary table as the input lines arrive: one entry where the id
// changes, none for gaps (a gap keeps the id of the range before it) unless
// gaps are closed, and a closing entry after the last range.
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

TableBuilder::TableBuilder(FILE *out, CodeLookup &codes, bool close_gaps)
    : out_(out), codes_(codes), close_gaps_(close_gaps) {
  entry(0, 0);
}

void TableBuilder::entry(uint32_t start, int16_t id) {
  if (out_ != nullptr) write_entry(out_, start, id);
  ++summary_.entries;
  written_id_ = id;
}

void TableBuilder::take(char *line) {
  ++summary_.lines;
  str_chomp(line);
  LineFields fields;
  read_line(line, &fields);
  if (fields.malformed) {
    log_msg(LOG_MESSAGE, "skip malformed: %s", line);
    ++summary_.malformed;
    return;
  }
  int16_t id = fields.complete ? codes_.find(fields.code) : -1;
  if (!is_next_range(fields, prev_end_)) {
    log_msg(LOG_MESSAGE, "skip unsorted: %s", line);
    ++summary_.unsorted;
    return;
  }
  ++summary_.accepted;
  if (id == -1) {
    log_msg(LOG_MESSAGE, "unknown country: %s (%s)", fields.code, fields.name);
    ++summary_.unknown[fields.code];
    id = 0;
  }
  // A gap starts right after the previous range (prev_end_ is 0 before the
  // first one, whose gap the opening entry 0.0.0.0 0 already covers).
  const bool gap_before = prev_end_ != 0 && fields.start - prev_end_ > 1;
  if (close_gaps_ && gap_before && written_id_ != 0) entry(prev_end_ + 1, 0);
  if (id != written_id_) entry(fields.start, id);
  prev_end_ = fields.end;
}

void TableBuilder::finish() {
  if (prev_end_ != 0 && prev_end_ != UINT32_MAX) entry(prev_end_ + 1, 0);
}

}  // namespace orvik
