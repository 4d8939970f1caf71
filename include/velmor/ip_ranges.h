/* Address tables: a named table of ids with codes and titles ("conf/%s")
 * and its boundary table ("conf/%s.ips"). C interface.
 * Include as <velmor/ip_ranges.h> (pkg-config velmor, or the CMake target
 * Velmor::velmor); manual pages velmor_ip_ranges(3), the file formats in
 * velmor-tables(5), and ownership and threads in velmor(3).
 *
 * Threads: a record is used by one thread at a time (its first lookup loads
 * the table, a reload frees the arrays). A server gives each worker thread
 * its own record, about 5 bytes per table entry plus an index of at most
 * half a byte per entry, and each thread calls ip_ranges_reload at its own
 * pace. */
#ifndef VELMOR_IP_RANGES_H
#define VELMOR_IP_RANGES_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ip_ranges {
  char *name;          /* table name, e.g. "countries" */
  uint32_t *starts;    /* boundary starts, ascending; null while not loaded */
  uint8_t *ids;        /* id of each entry of starts */
  int64_t mtime;       /* boundary file mtime seen by the last load */
  uint32_t load_tried; /* set by the first lookup that found no table */
  int32_t count;       /* entries in starts and ids */
  char *names_text;    /* names file, edited in place while parsed */
  char **codes;        /* 256 references into names_text, or null */
  char **titles;       /* 256 references into names_text, or null */
  /* The library's own state of the record (the lookup index, built at
   * load); null on a record not made by ip_ranges_new, whose lookups then
   * bisect the whole table. */
  struct ip_ranges_state *state;
} ip_ranges;

/* A new record for the table name (no file is read yet); null when memory
 * cannot be had (reported). */
ip_ranges *ip_ranges_new(const char *name);

/* Releases the record and everything it holds (table, names, name); a null
 * record is ignored. Pointers taken from the record are invalid afterwards.
 * Without it a record lives until the process ends. */
void ip_ranges_free(ip_ranges *table);

bool ip_ranges_load_names(ip_ranges *table);
const char *ip_ranges_code(ip_ranges *table, uint16_t id);
const char *ip_ranges_title(ip_ranges *table, uint16_t id);
int16_t ip_ranges_find(ip_ranges *table, const char *code);

/* ---- boundary table (begin) ---- */
/* Reads "conf/<name>.ips" into starts/ids, replacing any table the record
 * holds; records the file's mtime first. True when at least one entry was
 * read; on false the record holds no table. A null record is reported. */
bool ip_ranges_load(ip_ranges *table);

/* When the file's mtime differs from the recorded one: drops the table and
 * the names (both are read again on next use), loads the file and gives true
 * whatever the load gave. Otherwise false; costs one stat. */
bool ip_ranges_reload(ip_ranges *table);

/* Id of the last entry whose start is not above addr (through the record's
 * index, built at load; a record filled by hand is bisected whole); 0 below the first
 * start, without a table or for a null record. The first call on a record
 * without a table tries one load. No allocation, no file access. */
uint8_t ip_ranges_lookup(ip_ranges *table, uint32_t addr);
/* ---- boundary table (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
