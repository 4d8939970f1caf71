// Hash, grouped decimal, the decimal reader, hexadecimal parse, reversal, duplicate, rotating
// printf and the cut at the last '/'.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "misc.h"
#include "str.h"
#include "str/internal/number_scan.h"

namespace {

TEST(StrHash, KnownValues) {
  EXPECT_EQ(str_hash(""), 0u);
  EXPECT_EQ(str_hash("a"), 97u);
  EXPECT_EQ(str_hash("abc"), 807794786u);
  EXPECT_EQ(str_hash("\xFF"), 255u);  // bytes taken as unsigned
}

TEST(StrNumGrouped, GroupsOfThree) {
  struct Case {
    int64_t value;
    const char *text;
  } cases[] = {
      {0, "0"},
      {100, "100"},
      {999, "999"},
      {1000, "1,000"},
      {-1000, "-1,000"},
      {100000, "100,000"},
      {1234567, "1,234,567"},
      {INT64_MIN, "-9,223,372,036,854,775,808"},
      {INT64_MAX, "9,223,372,036,854,775,807"},
  };
  for (const Case &c : cases) EXPECT_STREQ(str_num_grouped(c.value), c.text);
}

TEST(StrNumGrouped, RingOfForty) {
  const char *first = str_num_grouped(1);
  for (int i = 2; i <= 40; ++i) str_num_grouped(i);
  EXPECT_STREQ(first, "1");  // intact through 39 further calls
  EXPECT_EQ(str_num_grouped(41), first);
  EXPECT_STREQ(first, "41");
}

TEST(ScanDecimal, ReadsLikeStrtoul) {
  const char *texts[] = {"16777216\"",
                         "0",
                         "",
                         "\"",
                         "  42",
                         "+7",
                         "-1",
                         "-",
                         "12abc",
                         "4294967295",
                         "4294967296",
                         "4294967297",
                         "18446744073709551615",
                         "18446744073709551616",
                         "99999999999999999999999",
                         "-99999999999999999999",
                         "\v\f9"};
  for (const char *text : texts) {
    const auto number = velmor::scan_decimal<uint64_t>(text, text + strlen(text));
    EXPECT_EQ(velmor::strtoul_value(number), strtoul(text, nullptr, 10)) << text;
  }
}

TEST(StrHexParse, Cases) {
  struct Case {
    const char *text;
    int64_t value;
  } cases[] = {
      {"  ff", 255},    {"-FF", -255},
      {"+10", 16},      {"0x1f", 0},
      {"", 0},          {"g", 0},
      {"\v1", 0},       {"-", 0},
      {"+-5", 0},       {"ffffffffffffffff", -1},
      {"\t\r\n1A", 26}, {"123456789abcdef01", 0x23456789abcdef01},  // only the last 16 digits
  };
  for (const Case &c : cases) EXPECT_EQ(str_hex_parse(c.text), c.value) << c.text;
  EXPECT_EQ(str_hex_parse(nullptr), 0);
}

TEST(StrReverse, BytesInPlace) {
  for (std::string s : {"", "a", "ab", "abc", "\xD0\xB4x"}) {
    std::string want(s.rbegin(), s.rend());
    str_reverse(s.data());
    EXPECT_EQ(s, want);
  }
}

TEST(StrDup, CopiesOrNull) {
  EXPECT_EQ(str_dup(nullptr), nullptr);
  char *copy = str_dup("abc");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  mem_free(copy);
}

TEST(StrPrintf, RingOfEightAndCut) {
  char *first = str_printf("%d-%s", 7, "x");
  EXPECT_STREQ(first, "7-x");
  for (int i = 0; i < 7; ++i) str_printf("%d", i);
  EXPECT_STREQ(first, "7-x");  // intact through 7 further calls
  EXPECT_EQ(str_printf("again"), first);
  char *longer = str_printf("%s", std::string(3000, 'z').c_str());
  EXPECT_EQ(strlen(longer), 1023u);
}

TEST(StrDirname, CutsAtLastSlash) {
  struct Case {
    const char *path;
    int32_t length;
    int32_t result;
    const char *left;
  } cases[] = {
      {"a/b/c", 5, 3, "a/b"}, {"abc", 3, 0, "abc"},
      {"/abc", 4, 0, ""},     {"a/b/c", 2, 1, "a"},  // only the first length bytes are scanned
      {"a/b", 0, 0, "a/b"},   {"a/b", -7, 0, "a/b"},
  };
  for (const Case &c : cases) {
    std::string path = c.path;
    EXPECT_EQ(str_dirname(path.data(), c.length), c.result) << c.path;
    EXPECT_STREQ(path.c_str(), c.left) << c.path;
  }
}

}  // namespace
