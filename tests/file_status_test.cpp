// File status questions and the checked snprintf, with their reports.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstring>
#include <string>

#include "ip_ranges_table_support.h"
#include "misc.h"
#include "str.h"

using namespace testing_support;

TEST(FileStatus, AnswersForFilesDirectoriesAndMissingPaths) {
  RangesRoot root;
  write_file_at("conf/empty", "", 1'500'000'000);
  write_file_at("conf/five", "12345", 1'400'000'000);
  EXPECT_EQ(file_size("conf/empty"), 0);
  EXPECT_EQ(file_size("conf/five"), 5);
  EXPECT_EQ(file_size("conf/missing"), -1);
  EXPECT_EQ(file_mtime("conf/five"), 1'400'000'000);
  EXPECT_EQ(file_exists("conf/five"), 1);
  EXPECT_EQ(file_exists("conf"), 1);
  EXPECT_EQ(file_exists("conf/missing"), 0);
  EXPECT_EQ(root.error_log(), "");  // only file_mtime reports
}

TEST(FileStatus, MtimeOfAMissingFileIsZeroWithOneReport) {
  RangesRoot root;
  EXPECT_EQ(file_mtime("conf/missing"), 0);
  auto lines = split_lines(root.error_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("| cannot stat 'conf/missing': No such file or directory"),
            std::string::npos)
      << lines[0];
}

TEST(StrSnprintf, StoresWhatFitsAndReportsTheRest) {
  RangesRoot root;
  char buf[10];
  EXPECT_EQ(str_snprintf("caller.cpp", 12, buf, sizeof buf, "%s", "abc"), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(str_snprintf("caller.cpp", 12, buf, sizeof buf, "%s", "123456789"), 9);
  EXPECT_EQ(root.error_log(), "");

  EXPECT_EQ(str_snprintf("caller.cpp", 34, buf, sizeof buf, "%s%s", "1234567890", "abcde"), 9);
  EXPECT_STREQ(buf, "123456789");
  EXPECT_NE(root.error_log().find("| snprintf overflow on caller.cpp:34 \"%s%s\": 15 >= 10\n"),
            std::string::npos)
      << root.error_log();
}

TEST(StrSnprintf, MissingBufferIsReportedAndLeftAlone) {
  RangesRoot root;
  char buf[4] = "xyz";
  EXPECT_EQ(str_snprintf("caller.cpp", 5, buf, 0, "%d", 42), 0);
  EXPECT_EQ(str_snprintf("caller.cpp", 6, buf, -3, "%d", 42), 0);
  EXPECT_EQ(str_snprintf("caller.cpp", 7, nullptr, 16, "%d", 42), 0);  // would crash vsnprintf
  EXPECT_STREQ(buf, "xyz");
  auto lines = split_lines(root.error_log());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("| no buffer for snprintf on caller.cpp:5 \"%d\""), std::string::npos);
  EXPECT_NE(lines[2].find("| no buffer for snprintf on caller.cpp:7 \"%d\""), std::string::npos);
}

TEST(StrSnprintf, FormattingErrorGivesAnEmptyText) {
  RangesRoot root;
  const char *saved = setlocale(LC_CTYPE, nullptr);
  std::string locale = saved ? saved : "C";
  setlocale(LC_CTYPE, "C");
  char buf[16] = "untouched";
  const wchar_t unencodable[] = {0x4E00, 0};  // not a character of the C locale
  EXPECT_EQ(str_snprintf("caller.cpp", 9, buf, sizeof buf, "%ls", unencodable), 0);
  setlocale(LC_CTYPE, locale.c_str());
  EXPECT_STREQ(buf, "");
  EXPECT_NE(root.error_log().find("| snprintf negative on caller.cpp:9 \"%ls\""), std::string::npos)
      << root.error_log();
}
