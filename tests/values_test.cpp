// Sizes and durations as text, doubling sizes, counting bits.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "misc.h"
#include "str.h"

namespace {

TEST(SizeText, Table) {
  struct Case {
    int64_t bytes;
    const char *expected;
  } const cases[] = {
      {0, "    0"},
      {-5, "   -5"},
      {999, "  999"},
      {1000, "0.98k"},
      {1024, "1.00k"},
      {10240, "10.0k"},
      {102400, " 100k"},
      {1023999, "1000k"},
      {1024000, "0.98M"},
      {1048576, "1.00M"},
      {1073741824, "1.00G"},
      {1099511627776, "1.00T"},
      {1099511627776 * 999, " 999T"},
      {INT64_MAX, "8388608T"},
  };
  for (const Case &c : cases) EXPECT_STREQ(str_size_text(c.bytes), c.expected) << c.bytes;
}

TEST(DurationText, Table) {
  struct Case {
    int32_t seconds;
    const char *expected;
  } const cases[] = {
      {0, "0s"},      {-90, "-90s"},   {119, "119s"},  {120, "2m"},
      {149, "2m"},    {150, "3m"},     {7169, "119m"}, {7170, "2h"},
      {86400, "24h"}, {127769, "35h"}, {127770, "2d"}, {INT32_MAX, "24855d"},
  };
  for (const Case &c : cases) EXPECT_STREQ(str_duration_text(c.seconds), c.expected) << c.seconds;
}

TEST(HumanText, RingsHoldFourResultsEach) {
  const char *sizes[4];
  const char *durations[4];
  for (int i = 0; i < 4; ++i) {
    sizes[i] = str_size_text(i);
    durations[i] = str_duration_text(i);
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(atoi(sizes[i]), i);
    EXPECT_EQ(atoi(durations[i]), i);
  }
  EXPECT_EQ(str_size_text(7), sizes[0]);
  EXPECT_EQ(str_duration_text(7), durations[0]);
}

TEST(GrowPow2, Table) {
  struct Case {
    uint32_t needed;
    int start;
    uint32_t expected;
  } const cases[] = {
      {0, 16, 16},
      {1000, 16, 1024},
      {1000, 1, 1024},
      {1024, 1, 1024},
      {17, 3, 24},
      {5, 64, 64},
      {5, 0, 8},
      {0, 0, 0},
      {0x7FFFFFFF, 1, 0x80000000u},
      {0x80000000u, 1, 0x80000000u},
      {0xFFFFFFFFu, 1, 0x80000000u},
  };
  for (const Case &c : cases)
    EXPECT_EQ(grow_pow2(c.needed, c.start), c.expected) << c.needed << " from " << c.start;
}

TEST(BitCount, Table) {
  struct Case {
    uint32_t value;
    int expected;
  } const cases[] = {{0, 0}, {1, 1}, {0x80000001u, 2}, {0xF0F0, 8}, {0xFFFFFFFFu, 32}};
  for (const Case &c : cases) EXPECT_EQ(bit_count(c.value), c.expected) << c.value;
}

}  // namespace
