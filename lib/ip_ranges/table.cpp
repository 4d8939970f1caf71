// The boundary table of a record: loading "conf/<name>.ips" into two compact
// arrays (5 bytes per entry), reloading it when its mtime changes, and the
// bisection that answers the id of an address.
#include <cstdio>

#include "ip_ranges.h"
#include "misc.h"
#include "table_file.h"

namespace {

constexpr int path_size = 256;

// "conf/<name>.ips"; a path too long for the buffer is cut.
void table_path(const ip_ranges *table, char (&path)[path_size]) {
  snprintf(path, sizeof path, "conf/%s.ips", table->name ? table->name : "");
}

void drop_table(ip_ranges *table) {
  table->starts = static_cast<uint32_t *>(mem_free(table->starts));
  table->ids = static_cast<uint8_t *>(mem_free(table->ids));
}

// The names are parsed in place from names_text; dropping them makes the
// next name query read the names file again.
void drop_names(ip_ranges *table) {
  table->codes = static_cast<char **>(mem_free(table->codes));
  table->titles = static_cast<char **>(mem_free(table->titles));
  table->names_text = static_cast<char *>(mem_free(table->names_text));
}

// Both arrays zeroed at their final size, or neither (the allocator reports).
bool allocate_table(ip_ranges *table, int32_t room) {
  size_t entries = static_cast<size_t>(room);
  table->starts =
      static_cast<uint32_t *>(mem_calloc(entries * sizeof(uint32_t), __FILE__, __LINE__));
  if (table->starts) table->ids = static_cast<uint8_t *>(mem_calloc(entries, __FILE__, __LINE__));
  if (table->starts && table->ids) return true;
  drop_table(table);
  return false;
}

constexpr int32_t no_memory = -1;
constexpr int32_t kept_changing = -2;
constexpr int load_attempts = 3;

// Counting pass, allocation, reading pass on an open stream; gives the
// number of entries stored, no_memory when the arrays cannot be had, or
// kept_changing. A file rewritten in place while it is read would give a
// table cut short or mixed from two versions, so when the reading pass does
// not meet the pieces it counted, the table is dropped and the file read again.
int32_t fill_table(ip_ranges *table, FILE *in, const char *path) {
  for (int attempt = 1;; attempt++) {
    int32_t room = velmor::count_table_pieces(in);
    if (velmor::table_between_passes_hook) velmor::table_between_passes_hook(path);
    rewind(in);
    if (room == 0) return 0;
    if (!allocate_table(table, room)) return no_memory;
    bool whole = false;
    int32_t stored = velmor::read_table_entries(in, room, table->starts, table->ids, &whole);
    if (whole) return stored;
    drop_table(table);
    if (attempt == load_attempts) return kept_changing;
    rewind(in);
  }
}

// A hint to fetch the line holding p; the bisection asks for both candidates
// of the next step while the current comparison is still waiting on memory.
inline void prefetch(const void *p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Branch-free bisection for the last entry whose start is not above addr:
// the loop runs a number of times fixed by the count and its only choice is
// a conditional move, so mispredictions cost nothing. Among equal starts the
// last one answers: an entry followed by an equal start covers no address.
uint8_t bisect(const uint32_t *starts, const uint8_t *ids, uint32_t count, uint32_t addr) {
  const uint32_t *base = starts;
  uint32_t n = count;
  while (n > 1) {
    uint32_t half = n / 2;
    prefetch(base + half / 2);
    prefetch(base + half + half / 2);
    base = base[half] <= addr ? base + half : base;
    n -= half;
  }
  // Below the first start the answer is 0; a mask keeps this free of branches.
  uint8_t covered = static_cast<uint8_t>(-static_cast<int>(*base <= addr));
  return ids[base - starts] & covered;
}

}  // namespace

bool ip_ranges_load(ip_ranges *table) {
  if (!table) {
    log_msg(LOG_ERROR, "NULL ranges");
    return false;
  }
  char path[path_size];
  table_path(table, path);
  // The time is taken before the file is read: a file replaced during the
  // load then looks changed to the next reload, which reads it again.
  table->mtime = file_mtime(path);
  drop_table(table);  // a direct load over a loaded table must not leak it
  if (file_size(path) == 0) return false;
  FILE *in = fopen(path, "r");
  if (!in) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path);
    return false;
  }
  int32_t stored = fill_table(table, in, path);
  fclose(in);
  if (stored > 0) {
    table->count = stored;
    return true;
  }
  drop_table(table);
  // A failed allocation has been reported by the allocator; a file emptied
  // meanwhile is no error, as for a file that was empty from the start.
  if (stored == kept_changing) {
    log_msg(LOG_ERROR, "cannot load %s: it changed while being read", path);
  } else if (stored == 0 && file_size(path) != 0) {
    log_msg(LOG_ERROR, "no ranges found in %s", path);
  }
  return false;
}

bool ip_ranges_reload(ip_ranges *table) {
  if (!table) return false;
  char path[path_size];
  table_path(table, path);
  if (file_mtime(path) == table->mtime) return false;
  drop_table(table);
  drop_names(table);
  ip_ranges_load(table);
  return true;
}

uint8_t ip_ranges_lookup(ip_ranges *table, uint32_t addr) {
  if (!table) return 0;
  if (!table->starts) {
    if (table->load_tried) return 0;
    table->load_tried = 1;
    if (!ip_ranges_load(table)) return 0;
  }
  if (table->count <= 0) return 0;
  return bisect(table->starts, table->ids, static_cast<uint32_t>(table->count), addr);
}
