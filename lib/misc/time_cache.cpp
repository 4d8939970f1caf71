// The time cache read by every log call, and the day count it keeps.
#include "misc/internal/day_count.h"

#include <cstdio>

#include "misc.h"

extern "C" {

time_cache_t time_cache = {};

const int16_t year_start_days[10] = {0, 366, 731, 1096, 1461, 1827, 2192, 2557, 2922, 3288};

int64_t time_cache_update(void) {
  time_cache.now = static_cast<int64_t>(time(nullptr));
  if (time_cache.now == time_cache.refreshed) return time_cache.now;
  time_t now = static_cast<time_t>(time_cache.now);
  localtime_r(&now, &time_cache.local);
  // Wraps modulo 2^16 past 2089; it still changes at every local midnight,
  // which is all the logger needs from it.
  time_cache.day = static_cast<int16_t>(
      velmor::days_since_2000(time_cache.local.tm_year + 1900, time_cache.local.tm_yday));
  struct tm utc;
  gmtime_r(&now, &utc);
  strftime(time_cache.gmt_text, sizeof time_cache.gmt_text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  time_cache.refreshed = time_cache.now;
  return time_cache.now;
}

}  // extern "C"

namespace velmor {

namespace {

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Days from 1 January of year 1 to 1 January of year (proleptic Gregorian).
int64_t days_to_new_year(int64_t year) {
  int64_t y = year - 1;
  return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

}  // namespace

int32_t days_since_2000(int year, int yday) {
  return static_cast<int32_t>(days_to_new_year(year) - days_to_new_year(2000) + yday);
}

}  // namespace velmor
