// The life of a record: created for a table name, its names file and
// boundary tables loaded on first use (table_load.cpp), reloaded when a
// table file changes, and released by ip_ranges_free. Whatever drops a
// table's arrays also resets its count, so a record never claims entries it
// does not hold.
#include "ip_ranges/internal/record.h"
#include "ip_ranges.h"
#include "misc.h"
#include "misc/internal/paths.h"

namespace {

constexpr int id_count = 256;

using velmor::Family;

// The names are parsed in place from names_text; dropping them makes the
// next name query read the names file again.
void drop_names(ip_ranges *table) {
  table->codes = static_cast<char **>(mem_free(table->codes));
  table->titles = static_cast<char **>(mem_free(table->titles));
  table->names_text = static_cast<char *>(mem_free(table->names_text));
}

// When the family's file has another mtime than the one its last load saw:
// drops the table and the names (both are read again on next use), loads
// the file and gives true whatever the load gave. Otherwise false; costs
// one stat.
bool reload(ip_ranges *table, Family family, int64_t seen_mtime) {
  velmor::PathText path;
  if (!velmor::table_path(table, family, path)) return false;
  if (file_mtime(path.c_str()) == seen_mtime) return false;
  velmor::drop_table(table, family);
  drop_names(table);
  velmor::load_table(table, nullptr, family);
  return true;
}

}  // namespace

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
  velmor::drop_table(table, Family::ipv4);
  velmor::drop_table(table, Family::ipv6);
  drop_names(table);
  mem_free(table->state);
  mem_free(table->name);
  mem_free(table);
}

bool ip_ranges_load_names(ip_ranges *table) {
  if (!table) return false;
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
  return table && reload(table, Family::ipv4, table->mtime);
}

bool ip_ranges_load6(ip_ranges *table) { return velmor::load_table(table, nullptr, Family::ipv6); }

bool ip_ranges_reload6(ip_ranges *table) {
  return table && table->state && reload(table, Family::ipv6, table->state->mtime6);
}

}  // extern "C"
