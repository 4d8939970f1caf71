// The boundary table as the input lines arrive: one entry where the id
// changes, none for gaps (a gap keeps the id of the range before it), and a
// closing entry after the last range.
#include "misc.h"
#include "orvik.h"
#include "str.h"

void orvik_write_entry(FILE *out, uint32_t start, int id) {
  fprintf(out, "%s %d\n", str_ip_format(start), id);
}

void orvik_table_begin(orvik_table *table, FILE *out, orvik_lookup lookup, void *context) {
  *table = orvik_table{out, lookup, context, 0, 0};
  orvik_write_entry(out, 0, 0);
}

void orvik_table_take(orvik_table *table, char *line) {
  str_chomp(line);
  orvik_line fields;
  orvik_read_line(line, &fields);
  int16_t id = fields.complete ? table->lookup(table->context, fields.code) : -1;

  // Readers bisect the table, so starts must ascend strictly: a range that
  // begins at or below the previous end, or ends before it begins, is out
  // of order.
  if (!fields.complete || fields.start <= table->prev_end || fields.end < fields.start) {
    log_msg(LOG_MESSAGE, "skip unsorted: %s", line);
    return;
  }
  if (id == -1) {
    log_msg(LOG_MESSAGE, "unknown country: %s (%s)", fields.code, fields.name);
    id = 0;
  }
  if (id != table->written_id) {
    orvik_write_entry(table->out, fields.start, id);
    table->written_id = id;
  }
  table->prev_end = fields.end;
}

void orvik_table_finish(orvik_table *table) {
  if (table->prev_end != 0 && table->prev_end != UINT32_MAX) {
    orvik_write_entry(table->out, table->prev_end + 1, 0);
  }
}
