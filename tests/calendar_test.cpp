// Day numbers, week starts and time texts. Every test pins its time zone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "misc.h"

namespace {

// Central European time with summer time, written out so that no zone
// database is needed.
constexpr const char *kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

class Calendar : public ::testing::Test {
 protected:
  void SetUp() override { use_zone("UTC0"); }
  void TearDown() override { unsetenv("TZ"), tzset(); }
  static void use_zone(const char *zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
};

struct tm date(int year, int month, int day) {
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  timegm(&tm);  // fills in the day of the year
  return tm;
}

std::string text_of(const struct tm &tm) {
  char buf[64];
  strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

TEST_F(Calendar, DayNumber) {
  struct Case {
    int year, month, day;
    uint16_t expected;
  } const cases[] = {
      {2000, 1, 1, 0},     {2000, 12, 31, 365}, {2009, 12, 31, 3652},  {2010, 1, 1, 3653},
      {2024, 2, 29, 8825}, {2024, 3, 1, 8826},  {2178, 12, 31, 65378}, {2179, 1, 1, 0},
      {1999, 12, 31, 0},   {1970, 1, 1, 0},
  };
  for (const Case &c : cases) {
    struct tm tm = date(c.year, c.month, c.day);
    EXPECT_EQ(day_number(&tm), c.expected) << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST_F(Calendar, DayToTm) {
  struct Case {
    int16_t day;
    const char *expected;
  } const cases[] = {
      {0, "2000-01-01"},   {59, "2000-02-29"},   {60, "2000-03-01"},    {424, "2001-02-28"},
      {425, "2001-03-01"}, {3652, "2009-12-31"}, {3653, "2010-01-01"},  {8825, "2024-02-29"},
      {-1, "1999-12-31"},  {-366, "1998-12-31"}, {32767, "2089-09-17"},
  };
  for (const Case &c : cases) {
    const struct tm *tm = day_to_tm(c.day);
    EXPECT_EQ(text_of(*tm), std::string(c.expected) + " 00:00:00") << c.day;
  }
  EXPECT_EQ(day_to_tm(0)->tm_wday, 6);  // 2000-01-01 was a Saturday
}

TEST_F(Calendar, DayNumberAndDayToTmAgreeBothWays) {
  for (int day = 0; day <= 32767; ++day) {
    const struct tm *tm = day_to_tm(static_cast<int16_t>(day));
    ASSERT_EQ(day_number(tm), day);
  }
}

TEST_F(Calendar, MidnightAlsoInSummerTime) {
  use_zone(kCentralEurope);
  const struct tm *tm = day_to_tm(8948);  // 2024-07-01
  EXPECT_EQ(text_of(*tm), "2024-07-01 00:00:00");
  EXPECT_EQ(tm->tm_isdst, 1);

  time_t t = static_cast<time_t>(week_to_time(2024, 26));  // June 30
  struct tm local;
  localtime_r(&t, &local);
  EXPECT_EQ(text_of(local), "2024-06-30 00:00:00");
}

TEST_F(Calendar, WeekToTime) {
  struct Case {
    int year;
    int16_t week;
    const char *expected;
  } const cases[] = {
      {2024, 1, "2024-01-07"},  {2024, 4, "2024-01-28"},  {2024, 5, "2024-02-04"},
      {2024, 9, "2024-03-03"},  {2023, 9, "2023-03-04"},  {2024, 0, "2023-12-31"},
      {2024, 52, "2024-12-29"}, {2024, 53, "2025-01-01"}, {2024, 60, "2025-01-01"},
      {2000, 9, "2000-03-03"},  {1900, 9, "1900-03-04"},
  };
  for (const Case &c : cases) {
    time_t t = static_cast<time_t>(week_to_time(c.year, c.week));
    struct tm utc;
    gmtime_r(&t, &utc);
    EXPECT_EQ(text_of(utc), std::string(c.expected) + " 00:00:00") << c.year << " " << c.week;
  }
}

TEST_F(Calendar, TimeTextStyles) {
  use_zone(kCentralEurope);
  const int64_t t = 1719837296;  // 2024-07-01 12:34:56 UTC, 14:34:56 local
  struct Case {
    int style;
    const char *expected;
  } const cases[] = {
      {0, "01/Jul/2024:14:34:56"},
      {1, "01/Jul/2024"},
      {2, "14:34:56"},
      {3, "2024-07-01"},
      {4, "2024-07-01 14:34:56"},
      {5, "Mon, 01 Jul 2024 12:34:56 GMT"},
      {6, "Mon, 01-Jul-2024 12:34:56 GMT"},
      {7, ""},
      {-1, ""},
  };
  for (const Case &c : cases) EXPECT_STREQ(time_text(t, c.style), c.expected) << c.style;
}

TEST_F(Calendar, TimeTextRingHoldsEightResults) {
  const char *results[9];
  for (int i = 0; i < 8; ++i) results[i] = time_text(86400 * i, 3);
  for (int i = 0; i < 8; ++i) {
    char expected[16];
    snprintf(expected, sizeof expected, "1970-01-0%d", i + 1);
    EXPECT_STREQ(results[i], expected);
  }
  results[8] = time_text(86400 * 8, 3);
  EXPECT_EQ(results[8], results[0]);
  EXPECT_STREQ(results[0], "1970-01-09");
}

TEST_F(Calendar, Localtime32WidensWithSign) {
  int32_t before_epoch = -1;
  EXPECT_EQ(text_of(*localtime32(&before_epoch)), "1969-12-31 23:59:59");
  int32_t last = INT32_MAX;
  EXPECT_EQ(text_of(*localtime32(&last)), "2038-01-19 03:14:07");
}

}  // namespace
