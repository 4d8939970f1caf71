// The names of a table: reading rules of "conf/<name>" and the queries.
#include <gtest/gtest.h>

#include <string>

#include "ip_ranges.h"
#include "test_support.h"

namespace {

using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

struct Expect {
  int id;
  const char *code;   // nullptr: absent
  const char *title;  // nullptr: absent
};

struct NamesCase {
  const char *what;
  const char *file;
  std::vector<Expect> expect;
};

class Names : public ::testing::Test {
 protected:
  TempRoot root;
  ScopedCwd cwd{root.path()};
};

TEST_F(Names, ReadingRules) {
  const NamesCase cases[] = {
      {"plain", "12 ru Some Country\n", {{12, "ru", "Some Country"}, {11, nullptr, nullptr}}},
      {"no final LF, tabs", "3\tde\t\tGermany", {{3, "de", "Germany"}}},
      {"inner and trailing blanks kept", "5 us United  States \n", {{5, "us", "United  States "}}},
      {"CR LF gives titles ending in CR",
       "1 ru Russia\r\n2 ua Ukraine\r\n",
       {{1, "ru", "Russia\r"}, {2, "ua", "Ukraine\r"}}},
      {"later line replaces", "4 aa First\n4 bb Second\n", {{4, "bb", "Second"}}},
      {"id 256 ends parsing at once",
       "256 xx Big\n1 ru Russia\n",
       {{1, nullptr, nullptr}, {0, nullptr, nullptr}}},
      {"lines after 300 ignored",
       "1 ru Russia\n300 xx X\n2 ua Ukraine\n",
       {{1, "ru", "Russia"}, {2, nullptr, nullptr}}},
      {"lines after -1 ignored", "1 ru Russia\n-1 xx X\n2 ua Ukraine\n", {{2, nullptr, nullptr}}},
      {"id and code only: next line is the title",
       "7 ru\n8 ua Ukraine\n",
       {{7, "ru", "8 ua Ukraine"}, {8, nullptr, nullptr}}},
      {"id only: next line gives code and title", "7\nru Russia\n", {{7, "ru", "Russia"}}},
      {"leading blank: number is id and code", " 9 rest of line\n", {{9, "9", "rest of line"}}},
      {"no number gives id 0", "xx Nowhere\n", {{0, "Nowhere", ""}}},
  };
  for (const auto &c : cases) {
    write_file("conf/t", c.file);
    ip_ranges *t = ip_ranges_new("t");
    ASSERT_TRUE(ip_ranges_load_names(t)) << c.what;
    for (const auto &e : c.expect) {
      const char *code = ip_ranges_code(t, e.id);
      const char *title = ip_ranges_title(t, e.id);
      if (e.code)
        EXPECT_STREQ(code, e.code) << c.what;
      else
        EXPECT_EQ(code, nullptr) << c.what;
      if (e.title)
        EXPECT_STREQ(title, e.title) << c.what;
      else
        EXPECT_EQ(title, nullptr) << c.what;
    }
  }
}

TEST_F(Names, FindIsExactAndLowestIdWins) {
  write_file("conf/countries", "7 ru Russia\n3 ru Also Russia\n12 de Germany\n");
  ip_ranges *t = ip_ranges_new("countries");
  EXPECT_EQ(ip_ranges_find(t, "ru"), 3);
  EXPECT_EQ(ip_ranges_find(t, "RU"), -1);
  EXPECT_EQ(ip_ranges_find(t, "de"), 12);
  EXPECT_EQ(ip_ranges_find(t, "r"), -1);
  EXPECT_STREQ(ip_ranges_code(t, 256), "");
  EXPECT_STREQ(ip_ranges_code(t, 65535), "");
  EXPECT_EQ(ip_ranges_code(t, 255), nullptr);
}

TEST_F(Names, MissingFileIsRetriedByEveryQuery) {
  ip_ranges *t = ip_ranges_new("countries");
  EXPECT_STREQ(ip_ranges_code(t, 1), "");
  EXPECT_STREQ(ip_ranges_title(t, 1), "");
  EXPECT_EQ(ip_ranges_find(t, "ru"), -1);
  EXPECT_EQ(testing_support::read_file("logs/current/error.log"), "");  // no message
  write_file("conf/countries", "1 ru Russia\n");
  EXPECT_EQ(ip_ranges_find(t, "ru"), 1);
}

TEST_F(Names, NulByteEndsTheText) {
  write_file("conf/t", std::string("1 ru Russia\n\0"
                                   "2 ua Ukraine\n",
                                   25));
  ip_ranges *t = ip_ranges_new("t");
  EXPECT_EQ(ip_ranges_find(t, "ru"), 1);
  EXPECT_EQ(ip_ranges_find(t, "ua"), -1);
}

TEST_F(Names, NullRecord) {
  EXPECT_STREQ(ip_ranges_code(nullptr, 1), "");
  EXPECT_STREQ(ip_ranges_title(nullptr, 1), "");
  EXPECT_EQ(ip_ranges_find(nullptr, "ru"), -1);
}

TEST_F(Names, LoadingAgainReplacesTheNames) {
  write_file("conf/t", "1 aa A\n");
  ip_ranges *t = ip_ranges_new("t");
  ASSERT_TRUE(ip_ranges_load_names(t));
  write_file("conf/t", "1 bb B\n");
  ASSERT_TRUE(ip_ranges_load_names(t));
  EXPECT_STREQ(ip_ranges_code(t, 1), "bb");
}

}  // namespace
