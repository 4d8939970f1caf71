/* The library's interface compiled as C: every public header, a few calls
 * into each module. */
#include <stdio.h>
#include <string.h>

#include "c_check.h"
#include "ip_ranges.h"
#include "misc.h"
#include "str.h"

int main(void) {
  char buf[32];
  check(str_concat(buf, (int)sizeof buf, "a", "b", (char *)NULL) == 2, "str_concat");
  check(strcmp(str_num(-12), "-12") == 0, "str_num");
  check(str_ip_parse("10.0.0.1") == 0x0A000001u, "str_ip_parse");
  check(strcmp(str_ip_format(0x0A000001u), "10.0.0.1") == 0, "str_ip_format");
  check(str_is_space(' ') && !str_is_space('x'), "str_is_space");
  check(strcmp(process_info.name, "undef") == 0, "process_info");
  check(time_cache_update() > 0 && time_cache.refreshed > 0, "time_cache");
  void *block = mem_alloc(16, __FILE__, __LINE__);
  check(block != NULL && mem_free(block) == NULL, "mem_alloc");
  ip_ranges *table = ip_ranges_new("countries");
  check(table != NULL && strcmp(table->name, "countries") == 0, "ip_ranges_new");
  check(ip_ranges_find(NULL, "ru") == -1, "ip_ranges_find");
  if (failures == 0) printf("C interface: all checks passed\n");
  return failures != 0;
}
