// The life of a record: created for a table name, its names file and
// boundary table loaded on first use, reloaded when the table file changes,
// and released by ip_ranges_free. Whatever drops the arrays also resets the
// count, so a record never claims entries it does not hold.
#include <cstdio>

#include "ip_ranges.h"
#include "ip_ranges/internal/record.h"
#include "ip_ranges/internal/table_file.h"
#include "misc.h"
#include "misc/internal/paths.h"

namespace {

constexpr int id_count = 256;

// "conf/<name>.ips"; a name too long for a path is refused and reported.
bool table_path(const ip_ranges *table, velmor::PathText &path) {
  return velmor::build_path(path, {"cannot open "}, {"conf/", table->name, ".ips"});
}

void drop_table(ip_ranges *table) {
  if (table->state) velmor::range_index_release(&table->state->index);
  table->starts = static_cast<uint32_t *>(mem_free(table->starts));
  table->ids = static_cast<uint8_t *>(mem_free(table->ids));
  table->count = 0;
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
int32_t fill_table(ip_ranges *table, FILE *in, const char *path,
                   velmor::BetweenPasses between_passes) {
  for (int attempt = 1;; attempt++) {
    int32_t room = velmor::count_table_pieces(in);
    if (between_passes) between_passes(path);
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

}  // namespace

namespace velmor {

bool load_table(ip_ranges *table, BetweenPasses between_passes) {
  if (!table) {
    log_msg(LOG_ERROR, "NULL ranges");
    return false;
  }
  drop_table(table);  // a direct load over a loaded table must not leak it
  PathText path;
  if (!table_path(table, path)) return false;
  // The time is taken before the file is read: a file replaced during the
  // load then looks changed to the next reload, which reads it again.
  table->mtime = file_mtime(path.c_str());
  if (file_size(path.c_str()) == 0) return false;
  FILE *in = fopen(path.c_str(), "re");
  if (!in) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path.c_str());
    return false;
  }
  int32_t stored = fill_table(table, in, path.c_str(), between_passes);
  fclose(in);
  if (stored > 0) {
    table->count = stored;
    // Without an index (no memory, a small table) lookups bisect the table.
    if (table->state)
      range_index_build(&table->state->index, table->starts, static_cast<uint32_t>(stored));
    return true;
  }
  drop_table(table);
  // A failed allocation has been reported by the allocator; a file emptied
  // meanwhile is no error, as for a file that was empty from the start.
  if (stored == kept_changing) {
    log_msg(LOG_ERROR, "cannot load %s: it changed while being read", path.c_str());
  } else if (stored == 0 && file_size(path.c_str()) != 0) {
    log_msg(LOG_ERROR, "no ranges found in %s", path.c_str());
  }
  return false;
}

}  // namespace velmor

extern "C" {

ip_ranges *ip_ranges_new(const char *name) {
  auto *table = static_cast<ip_ranges *>(mem_calloc(sizeof(ip_ranges), __FILE__, __LINE__));
  if (!table) return nullptr;
  table->name = mem_strdup(name, __FILE__, __LINE__);
  table->state =
      static_cast<ip_ranges_state *>(mem_calloc(sizeof(ip_ranges_state), __FILE__, __LINE__));
  if (!table->name || !table->state) {
    ip_ranges_free(table);
    return nullptr;
  }
  return table;
}

void ip_ranges_free(ip_ranges *table) {
  if (!table) return;
  drop_table(table);
  drop_names(table);
  mem_free(table->state);
  mem_free(table->name);
  mem_free(table);
}

bool ip_ranges_load_names(ip_ranges *table) {
  drop_names(table);
  velmor::PathText path;
  if (!velmor::build_path(path, {"cannot open "}, {"conf/", table->name})) return false;
  table->names_text = file_read_all(path.c_str(), nullptr);
  if (!table->names_text) return false;
  table->codes = static_cast<char **>(mem_calloc(id_count * sizeof(char *), __FILE__, __LINE__));
  table->titles = static_cast<char **>(mem_calloc(id_count * sizeof(char *), __FILE__, __LINE__));
  if (!table->codes || !table->titles) {
    drop_names(table);
    return false;
  }
  velmor::parse_names(table->names_text, table->codes, table->titles);
  return true;
}

bool ip_ranges_load(ip_ranges *table) { return velmor::load_table(table, nullptr); }

bool ip_ranges_reload(ip_ranges *table) {
  if (!table) return false;
  velmor::PathText path;
  if (!table_path(table, path)) return false;
  if (file_mtime(path.c_str()) == table->mtime) return false;
  drop_table(table);
  drop_names(table);
  ip_ranges_load(table);
  return true;
}

}  // extern "C"
