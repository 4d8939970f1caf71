/* Address tables: a named table of ids with codes and titles ("conf/%s")
 * and its boundary tables, IPv4 ("conf/%s.ips") and IPv6 ("conf/%s6.ips"),
 * relative to the working directory. C interface.
 * Include as <velmor/ip_ranges.h> (pkg-config velmor, or the CMake target
 * Velmor::velmor); manual pages velmor_ip_ranges(3), the file formats in
 * velmor-tables(5), and ownership and threads in velmor(3).
 *
 * Threads: a record is used by one thread at a time (its first lookup loads
 * the table, a reload frees the arrays). A server gives each worker thread
 * its own record and each thread calls ip_ranges_reload at its own pace. A
 * record of ip_ranges_new holds its own copy of the tables, about 5 bytes
 * per IPv4 entry and 17 per IPv6 entry, each table with an index of at most
 * half a byte per entry; a record of ip_ranges_new_mapped maps the compiled
 * table "conf/%s.ipt", whose pages every record, thread and process shares,
 * and costs a few kilobytes of its own. */
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
  int64_t mtime;       /* boundary file mtime seen by the last load, whole
                          seconds; 0 when the file could not be examined */
  uint32_t load_tried; /* set by the first lookup that found no table */
  int32_t count;       /* entries in starts and ids */
  char *names_text;    /* names file, edited in place while parsed */
  char **codes;        /* 256 references into names_text (into the compiled
                          file on a mapped record, names_text then null), or null */
  char **titles;       /* the same for the titles */
  /* The library's own state of the record (the lookup indexes, built at
   * load, the IPv6 table, a mapped record's compiled file); null on a record
   * not made by ip_ranges_new or ip_ranges_new_mapped (zero it in a record
   * made by hand), whose lookups then bisect the whole table. The index
   * matches the arrays of the last load: change starts, ids and count of a
   * record from those functions only through the functions below. */
  struct ip_ranges_state *state;
} ip_ranges;

/* A new record for the table name (no file is read yet); null when memory
 * cannot be had (reported). */
ip_ranges *ip_ranges_new(const char *name);

/* A new record for the table name whose tables and names come from the
 * compiled table "conf/<name>.ipt" (velmor-tables(5)), mapped read-only and
 * shared through the page cache with every other record, thread and
 * process that maps it; null when memory cannot be had (reported). As with
 * ip_ranges_new nothing is read at creation: the first lookup, name query,
 * ip_ranges_load or ip_ranges_load6 opens the file, checking its header and
 * sizes (constant time). Every function of this header works on the record:
 * starts, ids, codes and titles then point into the mapping (never write
 * through them), and both tables and the names always come from one
 * compiled file. When that file is missing, damaged or older than one of
 * its sources (a text table or the names file is newer, or one appeared or
 * went away since it was compiled), the record reads the text tables
 * exactly as a record of ip_ranges_new does, and this is logged once per
 * process for each file and reason (LOG_MESSAGE); so a server can use it
 * whatever is installed. A reload (ip_ranges_reload, _reload6) compares the
 * identities of the compiled file and its three sources with those the
 * last open saw (four stats) and, when one differs, maps the new file
 * before the old one is unmapped: both tables and the names switch
 * together, and each of reload and reload6 gives true once for every such
 * switch, after which the pointers of both tables and the names are invalid.
 * A record costs a few kilobytes of its own; the file's pages are shared.
 * Replace the compiled file only by renaming a new one over it: a file
 * truncated or rewritten under its readers makes them fail (SIGBUS). */
ip_ranges *ip_ranges_new_mapped(const char *name);

/* Releases a record made by ip_ranges_new or ip_ranges_new_mapped and
 * everything it holds (tables, names, name, mapping); a null record is ignored. Pointers taken from
 * the record are invalid afterwards. Without it a record lives until the process ends. */
void ip_ranges_free(ip_ranges *table);

/* ---- names (begin) ---- */
/* Reads the names file "conf/<name>" whole (file_read_all) and parses it in
 * place into codes and titles, dropping any names the record held. True
 * when the file was read; false for a null record, a missing file (not
 * reported), or one that cannot be read whole or allocated (reported), and
 * the record then holds no names. */
bool ip_ranges_load_names(ip_ranges *table);

/* The code and the title of id. Each loads the names when the record holds
 * none (every call tries again while they cannot be loaded). "" for a null
 * record, an id of 256 or more, or when the names cannot be loaded; NULL
 * for an id the names file does not list. The text belongs to the record:
 * valid until ip_ranges_free, ip_ranges_load_names, or a reload that gave
 * true. */
const char *ip_ranges_code(ip_ranges *table, uint16_t id);
const char *ip_ranges_title(ip_ranges *table, uint16_t id);

/* Lowest id whose code equals code exactly (case matters), loading the
 * names as above; -1 for a null record, when the names cannot be loaded, or
 * when no id has that code. code must not be null. */
int16_t ip_ranges_find(ip_ranges *table, const char *code);
/* ---- names (end) ---- */

/* ---- boundary table (begin) ---- */
/* Reads "conf/<name>.ips" into starts/ids, replacing any table the record
 * holds, and builds its index; records the file's mtime first. True when at
 * least one entry was read; on false the record holds no table. An empty
 * file gives false without a report; a missing one is reported ("cannot
 * stat", then "cannot open"), as are an unreadable one, one without
 * entries ("no ranges found in %s"), a lack of memory, a file that changed
 * during three readings in a row ("cannot load %s: it changed while being
 * read"), and a null record ("NULL ranges"). */
bool ip_ranges_load(ip_ranges *table);

/* When the file is not the one the last load saw (its identity: device,
 * inode, size and modification time to the nanosecond, so that every
 * replacement is seen, also two within one second): drops the table and the
 * names (both are read again on next use), loads the file and gives true
 * whatever the load gave. Otherwise false; costs one stat. A file that
 * cannot be examined is reported at each call ("cannot stat") and loaded
 * once it is there again. */
bool ip_ranges_reload(ip_ranges *table);

/* Id of the last entry whose start is not above addr (through the record's
 * index, built at load; a record filled by hand is bisected whole); 0 below
 * the first start, without a table or for a null record. The first call on
 * a record without a table tries one load; later calls never load (a reload
 * does). No allocation, no file access. */
uint8_t ip_ranges_lookup(ip_ranges *table, uint32_t addr);
/* ---- boundary table (end) ---- */

/* ---- IPv6 boundary table (begin) ---- */
/* The IPv6 table of a record is the file "conf/<name>6.ips" (same shape as
 * the IPv4 table, starts as IPv6 text; velmor-tables(5)); it shares the
 * names file with the IPv4 table. Addresses are 16 bytes in network byte
 * order, as inet_pton(AF_INET6) and str_ip6_parse give them. A record not
 * made by ip_ranges_new has no IPv6 table. */

/* Reads "conf/<name>6.ips" into the record, replacing any IPv6 table it
 * holds, with the rules and messages of ip_ranges_load; false without a
 * report on a record not made by ip_ranges_new. */
bool ip_ranges_load6(ip_ranges *table);

/* ip_ranges_reload for the IPv6 table: when the file is not the one the last
 * load saw (by identity), drops the IPv6 table and the names, loads the file and
 * gives true whatever the load gave. Otherwise false; costs one stat. False
 * for a null record or one not made by ip_ranges_new. */
bool ip_ranges_reload6(ip_ranges *table);

/* Id of the last IPv6 entry whose start is not above addr; 0 below the first
 * start, without an IPv6 table, or for a null record or address. An
 * IPv4-mapped address (::ffff:a.b.c.d) is answered by ip_ranges_lookup of
 * a.b.c.d, whatever the IPv6 table holds for it. The first call on a record
 * without an IPv6 table tries one load; later calls never load (a reload
 * does). No allocation, no file access. */
uint8_t ip_ranges_lookup6(ip_ranges *table, const uint8_t addr[16]);

/* Entries of the loaded IPv6 table (0 while there is none), and entry i of
 * it: its start into start, its id into *id; false when i is out of range.
 * For programs that list or export a table. */
int32_t ip_ranges_count6(const ip_ranges *table);
bool ip_ranges_entry6(const ip_ranges *table, int32_t i, uint8_t start[16], uint8_t *id);
/* ---- IPv6 boundary table (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
