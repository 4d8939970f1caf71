// The names of a table: "conf/<name>" lists "id code title" lines, read
// once into one buffer and parsed in place.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ip_ranges.h"
#include "misc.h"
#include "str.h"

namespace {

constexpr int id_count = 256;

void drop_names(ip_ranges *table) {
  table->names_text = static_cast<char *>(mem_free(table->names_text));
  table->codes = static_cast<char **>(mem_free(table->codes));
  table->titles = static_cast<char **>(mem_free(table->titles));
}

char *skip_field(char *p) {
  while (*p && !str_is_space(static_cast<unsigned char>(*p))) p++;
  return p;
}

char *skip_space(char *p) {
  while (*p && str_is_space(static_cast<unsigned char>(*p))) p++;
  return p;
}

// Parses "id code title" lines in place. White space between fields may
// cross line ends, and an id outside 0..255 ends the parse: stored names
// files are read this way, so the rules stay exactly as they are.
void parse_names(char *text, char **codes, char **titles) {
  for (char *s = text; *s;) {
    long id = strtol(s, nullptr, 10);
    if (id < 0 || id >= id_count) return;
    char *p = skip_space(skip_field(s));
    codes[id] = p;
    p = skip_field(p);
    if (!*p) {
      titles[id] = p;
      return;
    }
    *p = '\0';
    p = skip_space(p + 1);
    titles[id] = p;
    char *line_end = strchr(p, '\n');
    if (!line_end) return;
    *line_end = '\0';
    s = line_end + 1;
  }
}

}  // namespace

extern "C" {

ip_ranges *ip_ranges_new(const char *name) {
  auto *table = static_cast<ip_ranges *>(mem_calloc(sizeof(ip_ranges), __FILE__, __LINE__));
  if (!table) return nullptr;
  table->name = mem_strdup(name, __FILE__, __LINE__);
  if (!table->name) return static_cast<ip_ranges *>(mem_free(table));
  return table;
}

bool ip_ranges_load_names(ip_ranges *table) {
  drop_names(table);
  char path[256];
  if (str_concat(path, sizeof path, "conf/", table->name, nullptr) == 0) return false;
  table->names_text = file_read_all(path, nullptr);
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

const char *ip_ranges_code(ip_ranges *table, uint16_t id) {
  if (!table) return "";
  if (!table->titles) ip_ranges_load_names(table);
  if (id >= id_count || !table->titles) return "";
  return table->codes[id];
}

const char *ip_ranges_title(ip_ranges *table, uint16_t id) {
  if (!table) return "";
  if (!table->titles) ip_ranges_load_names(table);
  if (id >= id_count || !table->titles) return "";
  return table->titles[id];
}

int16_t ip_ranges_find(ip_ranges *table, const char *code) {
  if (!table || (!table->titles && !ip_ranges_load_names(table))) return -1;
  for (int id = 0; id < id_count; id++) {
    const char *entry = table->codes[id];
    if (entry && strcmp(entry, code) == 0) return static_cast<int16_t>(id);
  }
  return -1;
}

}  // extern "C"
