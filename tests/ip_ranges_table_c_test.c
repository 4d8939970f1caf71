/* The boundary table, file status and checked formatting compiled as C. */
#include <stdio.h>
#include <string.h>

#include "c_check.h"
#include "ip_ranges.h"
#include "misc.h"
#include "str.h"

int main(void) {
  char buf[8];
  uint32_t starts[2] = {0x0A000000u, 0x0B000000u};
  uint8_t ids[2] = {7, 0};
  ip_ranges table;
  memset(&table, 0, sizeof table);
  table.starts = starts;
  table.ids = ids;
  table.count = 2;
  check(ip_ranges_lookup(&table, 0x0A010203u) == 7, "ip_ranges_lookup");
  check(ip_ranges_lookup(&table, 0x09000000u) == 0, "ip_ranges_lookup below");
  check(ip_ranges_lookup(NULL, 1) == 0, "ip_ranges_lookup null");
  check(!ip_ranges_reload(NULL), "ip_ranges_reload null");
  check(file_exists("/") == 1 && file_size("/nonexistent/file") == -1, "file status");
  check(str_snprintf(__FILE__, __LINE__, buf, (int)sizeof buf, "%d", 42) == 2, "str_snprintf");
  check(strcmp(buf, "42") == 0, "str_snprintf text");
  if (failures == 0) printf("C interface of the boundary table: all checks passed\n");
  return failures != 0;
}
