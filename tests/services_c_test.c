/* The directory, calendar and human-readable value functions called from C. */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "c_check.h"
#include "misc.h"
#include "str.h"

int main(void) {
  struct tm *tm = day_to_tm(60);
  check(tm->tm_mon == 2 && tm->tm_mday == 1, "day_to_tm");
  check(day_number(tm) == 60, "day_number");
  check(strcmp(time_text(0, 7), "") == 0, "time_text");
  check(grow_pow2(1000, 16) == 1024 && bit_count(0xFFu) == 8, "grow_pow2, bit_count");
  check(strcmp(str_size_text(1024), "1.00k") == 0, "str_size_text");
  check(strcmp(str_duration_text(120), "2m") == 0, "str_duration_text");
  check(fd_size(-1) == -1, "fd_size");
  check(make_path(""), "make_path");
  return failures == 0 ? 0 : 1;
}
