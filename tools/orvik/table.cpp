// The boundary table as the input lines arrive: one entry where the id
// changes, none for gaps (a gap keeps the id of the range before it), and a
// closing entry after the last range.
#include "misc.h"
#include "orvik.h"
#include "str.h"

namespace {

// Decimal digits of 0..999 without leading zeros.
char *put_small(char *p, unsigned value) {
  if (value >= 100) *p++ = static_cast<char>('0' + value / 100);
  if (value >= 10) *p++ = static_cast<char>('0' + value / 10 % 10);
  *p++ = static_cast<char>('0' + value % 10);
  return p;
}

}  // namespace

// The same text as "%s %d\n" with str_ip_format gives, built by hand: this
// is the program's most frequent call.
void orvik_write_entry(FILE *out, uint32_t start, int id) {
  if (id < 0 || id > 999) {
    fprintf(out, "%s %d\n", str_ip_format(start), id);
    return;
  }
  char text[24];
  char *p = put_small(text, start >> 24);
  *p++ = '.';
  p = put_small(p, start >> 16 & 0xFF);
  *p++ = '.';
  p = put_small(p, start >> 8 & 0xFF);
  *p++ = '.';
  p = put_small(p, start & 0xFF);
  *p++ = ' ';
  p = put_small(p, static_cast<unsigned>(id));
  *p++ = '\n';
  for (const char *c = text; c < p; ++c) putc_unlocked(*c, out);  // single-threaded
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
