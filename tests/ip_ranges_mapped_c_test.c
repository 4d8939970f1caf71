/* A record of ip_ranges_new_mapped from C: without a compiled file it
 * answers from the text tables; after iplookup --compile from the compiled
 * file, the same answers, names included, and a reload sees the switch. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "c_check.h"
#include "ip_ranges.h"
#include "misc.h"
#include "str.h"

static void write_text(const char *path, const char *text) {
  FILE *out = fopen(path, "w");
  if (out) {
    fputs(text, out);
    fclose(out);
  }
}

static void check_answers(ip_ranges *table, const char *when) {
  uint8_t addr6[16];
  char what[96];
  str_ip6_parse("2001:db8::1", addr6);
  snprintf(what, sizeof what, "lookups %s", when);
  check(ip_ranges_lookup(table, 0x0A000001u) == 7 && ip_ranges_lookup(table, 0x0B000000u) == 0,
        what);
  check(ip_ranges_lookup6(table, addr6) == 7, what);
  snprintf(what, sizeof what, "names %s", when);
  check(strcmp(ip_ranges_code(table, 7), "aa") == 0 && ip_ranges_title(table, 3) == NULL, what);
  check(ip_ranges_find(table, "aa") == 7 && ip_ranges_count6(table) == 2, what);
}

int main(void) {
  char root[] = "/tmp/velmor-mapped-c.XXXXXX";
  char command[512];
  if (!mkdtemp(root) || chdir(root) != 0) return 2;
  mkdir("conf", 0755);
  mkdir("logs", 0755);
  write_text("conf/countries", "0 -- None\n7 aa Alpha\n");
  write_text("conf/countries.ips", "0.0.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n");
  write_text("conf/countries6.ips", ":: 0\n2001:db8:: 7\n");

  ip_ranges *table = ip_ranges_new_mapped("countries");
  check(table != NULL, "ip_ranges_new_mapped");
  check_answers(table, "from the text tables");
  check(!ip_ranges_reload(table), "no reload while nothing changed");

  snprintf(command, sizeof command, "%s -r %s --compile", IPLOOKUP_BIN, root);
  check(system(command) == 0, "iplookup --compile");
  check(ip_ranges_reload(table) && ip_ranges_reload6(table), "reloads see the compiled file");
  check_answers(table, "from the compiled file");
  ip_ranges_free(table);
  ip_ranges_free(NULL);

  snprintf(command, sizeof command, "rm -rf %s", root);
  if (system(command) != 0) return 2;
  if (failures == 0) printf("C interface of mapped records: all checks passed\n");
  return failures != 0;
}
