// Day numbers counted from 2000-01-01, week starts, and time stamps as text.
#include <cstring>
#include <ctime>

#include "misc.h"
#include "misc/internal/day_count.h"
#include "str/internal/text_ring.h"

namespace {

// Last year all of whose days have a 16-bit day number.
constexpr int kLastNumberedYear = 2178;

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Splits a 0-based day counted from the start of month m into month and
// day within the month: a d below the first month's length (negative
// included) stays in it; December takes whatever is left past November,
// however large.
void walk_months(int year, int m, int d, int *month, int *mday) {
  static const int kLength[11] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30};
  while (m < 11) {
    int length = (m == 1 && is_leap(year)) ? 29 : kLength[m];
    if (d < length) break;
    d -= length;
    ++m;
  }
  *month = m;
  *mday = d;
}

// Local midnight of the given date. The daylight-saving flag is left to
// mktime so that the result is 00:00 also in summer time; mktime carries a
// day beyond the month's end (or below 1) into the neighbouring months.
void set_midnight(struct tm *tm, int year, int month, int mday) {
  memset(tm, 0, sizeof *tm);
  tm->tm_year = year - 1900;
  tm->tm_mon = month;
  tm->tm_mday = mday;
  tm->tm_isdst = -1;
}

const char *const kStyles[] = {
    "%d/%b/%Y:%H:%M:%S",
    "%d/%b/%Y",
    "%H:%M:%S",
    "%Y-%m-%d",
    "%Y-%m-%d %H:%M:%S",
    "%a, %d %b %Y %H:%M:%S GMT",
    "%a, %d-%b-%Y %H:%M:%S GMT",
};
constexpr int kStyleCount = sizeof kStyles / sizeof kStyles[0];
constexpr int kFirstUtcStyle = 5;

thread_local velmor::TextRing<8, 64> time_ring;

}  // namespace

extern "C" uint16_t day_number(const struct tm *tm) {
  int year = tm->tm_year + 1900;
  if (year < 2000 || year > kLastNumberedYear) return 0;
  return static_cast<uint16_t>(velmor::days_since_2000(year, tm->tm_yday));
}

extern "C" struct tm *day_to_tm(int16_t day) {
  static struct tm result;
  int c = 9;
  while (c > 0 && year_start_days[c] > day) --c;
  int year = 2000 + c;
  int month = 0, d = day - year_start_days[c];
  walk_months(year, 0, d, &month, &d);
  set_midnight(&result, year, month, d + 1);
  mktime(&result);
  return &result;
}

extern "C" int64_t week_to_time(int year, int16_t week) {
  struct tm record;
  int d = 7 * week - 1;
  int month = 0;
  if (week >= 5) walk_months(year, 1, d - 31, &month, &d);
  int mday = (d < 31 ? d : 31) + 1;
  set_midnight(&record, year, month, mday);
  return mktime(&record);
}

extern "C" struct tm *localtime32(const int32_t *seconds) {
  time_t t = *seconds;
  return localtime(&t);
}

extern "C" const char *time_text(int64_t seconds, int style) {
  char *slot = time_ring.take();
  if (style < 0 || style >= kStyleCount) return slot;
  time_t t = static_cast<time_t>(seconds);
  struct tm broken;
  bool converted = style >= kFirstUtcStyle ? gmtime_r(&t, &broken) : localtime_r(&t, &broken);
  if (!converted || strftime(slot, time_ring.slot_size, kStyles[style], &broken) == 0)
    slot[0] = '\0';
  return slot;
}
