/* A C program that uses each module of the installed library by the header
 * names every installation has (<velmor/...>). It is built through
 * pkg-config and by the C-only consumer project; both links must bring the
 * C++ runtime the archive needs. */
#include <stdio.h>
#include <string.h>
#include <velmor/ip_ranges.h>
#include <velmor/misc.h>
#include <velmor/str.h>

/* From syslog_unit.c, which includes <syslog.h> too. */
int syslog_debug_level(void);
int velmor_debug_level(void);

static int check(int ok, const char *what) {
  if (!ok) fprintf(stderr, "app: %s\n", what);
  return !ok;
}

int main(void) {
  int failures = 0;
  ip_ranges *table = ip_ranges_new("countries");
  failures += check(table != NULL && strcmp(table->name, "countries") == 0, "ip_ranges_new");
  ip_ranges_free(table);
  failures += check(strcmp(str_ip_format(str_ip_parse("192.0.2.1")), "192.0.2.1") == 0,
                    "str_ip_parse and str_ip_format");
  failures += check(strcmp(str_num_grouped(1234567), "1,234,567") == 0, "str_num_grouped");
  failures += check(strcmp(time_text(0, 5), "Thu, 01 Jan 1970 00:00:00 GMT") == 0, "time_text");
  failures += check(LOG_DEBUG == 0 && velmor_debug_level() == 0 && syslog_debug_level() == 7,
                    "debug levels of the logger and of syslog");
  return failures == 0 ? 0 : 1;
}
