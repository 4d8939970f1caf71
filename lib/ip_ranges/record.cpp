// The life of a record: created for a table name, its names file and
// boundary tables loaded on first use (table_load.cpp), reloaded when a
// table file changes, and released by ip_ranges_free. Whatever drops a
// table's arrays also resets its count, so a record never claims entries it
// does not hold.
#include "ip_ranges/internal/record.h"
#include "ip_ranges.h"
#include "ip_ranges/internal/mapped_record.h"
#include "misc.h"
#include "misc/internal/paths.h"

namespace {

constexpr int id_count = 256;

using velmor::Family;

// When the family's file is not the one its last load saw (by identity:
// device, inode, size, modification time to the nanosecond): drops the
// table and the names (both are read again on next use), loads the file and
// gives true whatever the load gave. Otherwise false; costs one stat. A
// record made by hand keeps no identities and compares whole seconds.
bool reload(ip_ranges *table, Family family) {
  velmor::PathText path;
  if (!velmor::table_path(table, family, path)) return false;
  if (table->state) {
    const velmor::FileIdentity &seen =
        family == Family::ipv4 ? table->state->identity : table->state->identity6;
    if (velmor::same_identity(velmor::file_identity(path.c_str(), true), seen)) return false;
  } else if (file_mtime(path.c_str()) == table->mtime) {
    return false;
  }
  velmor::drop_table(table, family);
  velmor::drop_names(table);
  velmor::load_table(table, nullptr, family);
  return true;
}

}  // namespace

namespace velmor {

// The names are parsed in place from names_text; dropping them makes the
// next name query read the names file again.
void drop_names(ip_ranges *table) {
  table->codes = static_cast<char **>(mem_free(table->codes));
  table->titles = static_cast<char **>(mem_free(table->titles));
  table->names_text = static_cast<char *>(mem_free(table->names_text));
}

bool load_names_file(ip_ranges *table) {
  drop_names(table);
  PathText path;
  if (!build_path(path, {"cannot open "}, {"conf/", table->name})) return false;
  table->names_text = file_read_all(path.c_str(), nullptr);
  if (!table->names_text) return false;
  table->codes = static_cast<char **>(mem_calloc(id_count * sizeof(char *), __FILE__, __LINE__));
  table->titles = static_cast<char **>(mem_calloc(id_count * sizeof(char *), __FILE__, __LINE__));
  if (!table->codes || !table->titles) {
    drop_names(table);
    return false;
  }
  parse_names(table->names_text, table->codes, table->titles);
  return true;
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
  if (velmor::is_mapped_record(table)) {
    velmor::mapped_release(table);
  } else {
    velmor::drop_table(table, Family::ipv4);
    velmor::drop_table(table, Family::ipv6);
    velmor::drop_names(table);
  }
  mem_free(table->state);
  mem_free(table->name);
  mem_free(table);
}

bool ip_ranges_load_names(ip_ranges *table) {
  if (!table) return false;
  if (velmor::is_mapped_record(table)) return velmor::mapped_load_names(table);
  return velmor::load_names_file(table);
}

bool ip_ranges_load(ip_ranges *table) {
  if (table && velmor::is_mapped_record(table)) return velmor::mapped_load(table, Family::ipv4);
  return velmor::load_table(table, nullptr);
}

bool ip_ranges_reload(ip_ranges *table) {
  if (!table) return false;
  if (velmor::is_mapped_record(table)) return velmor::mapped_reload(table, Family::ipv4);
  return reload(table, Family::ipv4);
}

bool ip_ranges_load6(ip_ranges *table) {
  if (table && velmor::is_mapped_record(table)) return velmor::mapped_load(table, Family::ipv6);
  return velmor::load_table(table, nullptr, Family::ipv6);
}

bool ip_ranges_reload6(ip_ranges *table) {
  if (!table || !table->state) return false;
  if (velmor::is_mapped_record(table)) return velmor::mapped_reload(table, Family::ipv6);
  return reload(table, Family::ipv6);
}

}  // extern "C"
