// Core text helpers: bounded concatenation and copy, number ring, address
// text, line ends.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "str.h"
#include "str/internal/ipv4_text.h"

namespace {

TEST(StrConcat, FitsOrEmpties) {
  char buf[8] = "xxxxxxx";
  EXPECT_EQ(str_concat(buf, 8, nullptr), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(str_concat(buf, 8, "", "", nullptr), 0);
  EXPECT_EQ(str_concat(buf, 8, "abc", "", "defg", nullptr), 7);  // size - 1 fits
  EXPECT_STREQ(buf, "abcdefg");
  EXPECT_EQ(str_concat(buf, 8, "abcd", "efgh", nullptr), 0);  // size bytes: emptied
  EXPECT_STREQ(buf, "");
  strcpy(buf, "keep");
  EXPECT_EQ(str_concat(buf, 0, "a", nullptr), 0);
  EXPECT_STREQ(buf, "keep");
  EXPECT_EQ(str_concat(nullptr, 8, "a", nullptr), 0);
}

TEST(StrCopy, KeepsAtMostSizeMinusOne) {
  char buf[6];
  memset(buf, 'x', sizeof buf);
  str_copy(buf, "abcdefgh", 4);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], 'x');
  str_copy(buf, "ab", 6);
  EXPECT_STREQ(buf, "ab");
  str_copy(buf, "ab", 1);
  EXPECT_STREQ(buf, "");
}

TEST(StrNum, DecimalAndRing) {
  EXPECT_STREQ(str_num(0), "0");
  EXPECT_STREQ(str_num(-5), "-5");
  EXPECT_STREQ(str_num(INT64_MIN), "-9223372036854775808");
  EXPECT_STREQ(str_num(INT64_MAX), "9223372036854775807");
  const char *first = str_num(1);
  for (int i = 0; i < 39; i++) EXPECT_NE(str_num(i), first);
  EXPECT_EQ(str_num(2), first);  // the 41st call reuses the first buffer
  EXPECT_STREQ(first, "2");
}

struct ParseCase {
  const char *text;
  uint32_t want;
};

TEST(StrIpParse, Table) {
  const ParseCase cases[] = {
      {"10.0.0.1", 0x0A000001},
      {"300.1.2.3", 0x2C010203},
      {"1.2.3", 0xFFFFFFFF},
      {"1.2.3.4.5", 0x01020304},
      {"1.2.3.4/24", 0x01020304},
      {"ip=1.2.3.4", 0x01020304},
      {"255.255.255.255", 0xFFFFFFFF},
      {"1. 2.3.4", 0x01020304},
      {"1.-1.3.4", 0x01FF0304},
      {"1.+.3.4", 0xFFFFFFFF},
      {"", 0xFFFFFFFF},
      {"no digits", 0xFFFFFFFF},
      {"1..2.3", 0xFFFFFFFF},
      {"99999999999999999999999.0.0.1", 0xFF000001},
      {"0.0.0.0", 0},
      {"1.2.3.4\r\n", 0x01020304},
  };
  for (const auto &c : cases) EXPECT_EQ(str_ip_parse(c.text), c.want) << c.text;
  EXPECT_EQ(str_ip_parse(nullptr), 0u);
}

TEST(StrIpFormat, DottedQuadInTwoSlots) {
  const char *a = str_ip_format(0x0A000001);
  const char *b = str_ip_format(0);
  EXPECT_STREQ(a, "10.0.0.1");
  EXPECT_STREQ(b, "0.0.0.0");
  EXPECT_EQ(str_ip_format(0xFFFFFFFF), a);  // third call reuses the first slot
  EXPECT_STREQ(a, "255.255.255.255");
}

// Texts a dotted-quad reader gets wrong easily, then random ones.
// The dotted quad as four strtoul calls read it: what stored range lists
// have always meant.
uint32_t reference_parse(const char *text) {
  while (*text && !isdigit(static_cast<unsigned char>(*text))) text++;
  uint32_t addr = 0;
  for (int i = 0; i < 4; i++) {
    char *end;
    unsigned long part = strtoul(text, &end, 10);
    if (end == text) return 0xFFFFFFFFu;
    if (i < 3) {
      if (*end != '.') return 0xFFFFFFFFu;
      end++;
    }
    addr = addr << 8 | static_cast<uint32_t>(part & 0xFF);
    text = end;
  }
  return addr;
}

TEST(ScanIpv4, ReadsEachNumberLikeStrtoul) {
  std::vector<std::string> texts = {"",
                                    "1.2.3.4",
                                    "x1.2.3.4y",
                                    "1.2.3",
                                    "1.2.3.",
                                    "1..2.3.4",
                                    "256.257.258.259",
                                    "1. 2.\t3.\v4",
                                    "1.+2.-3.4",
                                    "1.2.3.-",
                                    "1.2.3.+",
                                    "1.2.3. ",
                                    "-1.2.3.4",
                                    "+1.2.3.4",
                                    "99999999999999999999.1.1.1",
                                    "1.1.1.-99999999999999999999",
                                    "18446744073709551615.0.0.0",
                                    "18446744073709551616.0.0.0",
                                    "1.2.3.4.5",
                                    "1 .2.3.4",
                                    "0x1.2.3.4",
                                    "00001.0002.03.4",
                                    "255.255.255.255",
                                    "255.255.255.254",
                                    "a-b 7.7.7.7-8.8.8.8",
                                    "1.2.3.4\x85"};
  std::mt19937 rng(5);
  for (int i = 0; i < 200000; ++i) {
    std::string t(rng() % 24, ' ');
    for (char &c : t) c = "0123456789..... \t+-/x9\xa0"[rng() % 23];
    texts.push_back(t);
  }
  for (const std::string &t : texts) {
    ASSERT_EQ(str_ip_parse(t.c_str()), reference_parse(t.c_str())) << t;
    // Bounded: the scanner stops at the end it is given, never at a NUL.
    std::string head = t.substr(0, t.size() / 2);
    std::string unterminated = head + "7";
    ASSERT_EQ(velmor::scan_ipv4(unterminated.data(), unterminated.data() + head.size()),
              reference_parse(head.c_str()))
        << head;
  }
}

TEST(FormatIpv4, EqualsPrintf) {
  std::mt19937 rng(3);
  std::vector<uint32_t> addrs = {0, 1, 9, 10, 99, 100, 255, 0x0A000000, 0x64646464, UINT32_MAX};
  for (int i = 0; i < 100000; ++i) addrs.push_back(rng());
  for (uint32_t a : addrs) {
    char text[16], expected[16];
    size_t len = velmor::format_ipv4(a, text);
    snprintf(expected, sizeof expected, "%u.%u.%u.%u", a >> 24, a >> 16 & 255, a >> 8 & 255,
             a & 255);
    ASSERT_EQ(std::string(text, len), expected) << a;
    ASSERT_STREQ(str_ip_format(a), expected);
  }
}

TEST(StrChomp, OneLineFeedThenOneCarriageReturn) {
  const std::pair<const char *, const char *> cases[] = {
      {"a\r\n", "a"}, {"a\n\n", "a\n"}, {"a\r", "a"}, {"a\n\r", "a\n"}, {"", ""}, {"\n", ""},
  };
  for (const auto &[in, want] : cases) {
    std::string text = in;
    EXPECT_STREQ(str_chomp(text.data()), want) << in;
  }
  EXPECT_EQ(str_chomp(nullptr), nullptr);
}

TEST(StrIsSpace, ExactlyFourCharacters) {
  for (int c = 0; c < 256; c++)
    EXPECT_EQ(str_is_space(c), c == '\n' || c == '\r' || c == ' ' || c == '\t') << c;
}

}  // namespace
