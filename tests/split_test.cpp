// Field splitting into fixed-size outputs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "str.h"

namespace {

// Three outputs of 16 bytes, with a guard pattern in each one's tail so that
// writes beyond the allowed length show up.
struct Outputs {
  char buf[3][16];
  Outputs() { memset(buf, '#', sizeof buf); }
  std::string at(int i) const { return buf[i]; }
};

TEST(StrSplit, TokensLikeStrtok) {
  struct Case {
    const char *source, *delimiters, *a, *b, *c;
  } cases[] = {
      {"a,,b", ",", "a", "b", ""},  // empty field vanishes
      {",x,", ",", "x", "", ""},    // leading and trailing delimiters
      {"", ",", "", "", ""},
      {"a;b c;d", "; ", "a", "b", "c"},               // any byte of the set; extra tokens dropped
      {"\"1\",\"a,b\"", ",", "\"1\"", "\"a", "b\""},  // quotes mean nothing
  };
  for (const Case &c : cases) {
    Outputs o;
    ASSERT_EQ(str_split(c.source, c.delimiters, 16, o.buf[0], o.buf[1], o.buf[2], nullptr), 1);
    EXPECT_EQ(o.at(0), c.a) << c.source;
    EXPECT_EQ(o.at(1), c.b) << c.source;
    EXPECT_EQ(o.at(2), c.c) << c.source;
  }
}

TEST(StrSplit, CutsTokensToSizeMinusTwo) {
  Outputs o;
  ASSERT_EQ(
      str_split("12345678,123456789,1234567890", ",", 10, o.buf[0], o.buf[1], o.buf[2], nullptr),
      1);
  EXPECT_EQ(o.at(0), "12345678");
  EXPECT_EQ(o.at(1), "12345678");
  EXPECT_EQ(o.at(2), "12345678");
  for (auto &b : o.buf) EXPECT_EQ(b[9], '#');  // the last byte of an output is never written
}

TEST(StrSplit, SmallAndInvalidSizes) {
  for (int size : {0, -5}) {
    Outputs o;
    EXPECT_EQ(str_split("a,b", ",", size, o.buf[0], nullptr), 0);
    EXPECT_EQ(o.buf[0][0], '#');
  }
  // One-byte and two-byte outputs can hold no character: they are emptied and
  // nothing after their first byte changes.
  for (int size : {1, 2}) {
    Outputs o;
    EXPECT_EQ(str_split("abc,def", ",", size, o.buf[0], o.buf[1], nullptr), 1);
    EXPECT_EQ(o.buf[0][0], '\0');
    EXPECT_EQ(o.buf[0][1], '#');
    EXPECT_EQ(o.buf[1][0], '\0');
    EXPECT_EQ(o.buf[1][1], '#');
  }
}

TEST(StrSplit, SeesOnlyTheFirst1023Bytes) {
  std::string source(1020, 'x');
  source += ",abcdefg";  // the second token starts at byte 1021 and is cut after 2 bytes
  source += std::string(2000 - source.size(), 'y');
  char first[1024], second[16];
  ASSERT_EQ(str_split(source.c_str(), ",", sizeof first, first, second, nullptr), 1);
  EXPECT_EQ(strlen(first), 1020u);
  EXPECT_STREQ(second, "ab");
}

TEST(StrSplit, LeavesTheSourceIntact) {
  const char source[] = "a,b";
  char a[8], b[8];
  str_split(source, ",", 8, a, b, nullptr);
  EXPECT_STREQ(source, "a,b");
}

}  // namespace
