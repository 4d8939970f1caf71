// The names of a table: "conf/<name>" lists "id code title" lines, read
// once into one buffer (record.cpp) and parsed in place; the queries by id
// and by code.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ip_ranges.h"
#include "ip_ranges/internal/record.h"
#include "str.h"

namespace {

constexpr int id_count = 256;

char *skip_field(char *p) {
  while (*p && !str_is_space(static_cast<unsigned char>(*p))) p++;
  return p;
}

char *skip_space(char *p) {
  while (*p && str_is_space(static_cast<unsigned char>(*p))) p++;
  return p;
}

}  // namespace

namespace velmor {

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

}  // namespace velmor

extern "C" {

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
