// orvik run as a program against a scratch installation root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "orvik_csv.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using testing_support::au;
using testing_support::cn;
using testing_support::csv_line;
using testing_support::day_log;
using testing_support::path_exists;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::split_lines;
using testing_support::write_file;

const std::string kRoot = TEST_ROOT;
const std::string kTable = kRoot + "/conf/countries.ips";

class OrvikProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::fresh_root(kRoot);
    write_file(kRoot + "/conf/countries", "0 -- Unknown\n13 au Australia\n45 cn China\n");
  }
  void TearDown() override { testing_support::remove_tree_at(kRoot); }

  testing_support::RunResult run(const std::string &input,
                                 const std::function<void()> &before_exec = nullptr) {
    return run_program(ORVIK_TESTROOT_BIN, {}, input, before_exec);
  }
};

TEST_F(OrvikProgram, BoundaryTables) {
  struct Case {
    std::string input, table;
  } cases[] = {
      {"", "0.0.0.0 0\n"},
      {au("1.0.0.0", "1.0.0.255") + cn("1.0.1.0", "1.0.3.255") + au("1.0.4.0", "1.0.7.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.4.0 13\n1.0.8.0 0\n"},
      {au("1.0.0.0", "1.0.0.255") + cn("1.0.2.0", "1.0.3.255"),  // gap keeps the id before it
       "0.0.0.0 0\n1.0.0.0 13\n1.0.2.0 45\n1.0.4.0 0\n"},
      {au("1.0.0.0", "1.0.0.255") + au("1.0.2.0", "1.0.2.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.3.0 0\n"},
      {au("1.0.0.0", "1.0.0.255") + csv_line("1.0.1.0", "1.0.1.255", "XX", "Nowhere"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n1.0.2.0 0\n"},
      {au("1.0.4.0", "1.0.7.255") + cn("1.0.0.0", "1.0.0.255") + cn("1.0.8.0", "1.0.8.255"),
       "0.0.0.0 0\n1.0.4.0 13\n1.0.8.0 45\n1.0.9.0 0\n"},
      {au("223.0.0.0", "255.255.255.255"), "0.0.0.0 0\n223.0.0.0 13\n"},
      {au("0.0.0.0", "0.255.255.255") + cn("1.0.0.0", "1.0.0.255"),
       "0.0.0.0 0\n1.0.0.0 45\n1.0.1.0 0\n"},
      // A range whose end lies below its start would put a later start below
      // an earlier one: it is skipped like an unsorted line.
      {au("1.0.0.0", "1.0.0.255") + csv_line("1.0.2.0", "1.0.1.0", "CN", "China") +
           cn("1.0.1.0", "1.0.1.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.2.0 0\n"},
      // Codes in any case, CR LF line ends.
      {csv_line("1.0.0.0", "1.0.0.255", "aU", "Australia") +
           "\"1.0.1.0\",\"1.0.1.255\",\"16777472\","
           "\"16777727\",\"Cn\",\"China\"\r\n",
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.2.0 0\n"},
  };
  for (const Case &c : cases) {
    SetUp();
    const auto result = run(c.input);
    EXPECT_EQ(result.status, 0) << c.input;
    EXPECT_EQ(read_file(kTable), c.table) << c.input;
    EXPECT_FALSE(path_exists(kRoot + "/logs/current/error.log")) << day_log(kRoot, "error.log");
  }
}

TEST_F(OrvikProgram, LogsUnknownAndUnsortedLines) {
  const std::string unsorted = cn("1.0.0.0", "1.0.0.255");
  const auto result = run(au("0.0.0.0", "0.0.0.255") + au("1.0.4.0", "1.0.7.255") + unsorted +
                          csv_line("1.0.8.0", "1.0.8.255", "XX", "Nowhere, Land"));
  ASSERT_EQ(result.status, 0);
  const auto lines = split_lines(day_log(kRoot, "message.log"));
  ASSERT_EQ(lines.size(), 3u) << day_log(kRoot, "message.log");
  const std::string prefix = R"(^\d\d:\d\d:\d\d\|orvik\| )";
  EXPECT_TRUE(
      std::regex_search(lines[0], std::regex(prefix + "skip unsorted: \"0\\.0\\.0\\.0\",")));
  EXPECT_EQ(lines[1].substr(16), "skip unsorted: " + unsorted.substr(0, unsorted.size() - 1));
  // The name reaches the message only up to its comma.
  EXPECT_EQ(lines[2].substr(16), "unknown country: xx (\"Nowhere)");
}

TEST_F(OrvikProgram, OddInputNeverBreaksTheTable) {
  std::string input = "\"ip_start\",\"ip_end\",\"start\",\"end\",\"cc\",\"name\"\n";  // header
  input += "\n";                                                                      // empty line
  input += "\"1.0.0.0\",\"1.0.0.255\",\"16777216\",\"16777471\",\"au\"\n";            // no name
  input += "\"a\",\"b\",\"1\"\n";          // three fields
  input += std::string(5000, 'x') + "\n";  // long line
  input += "\"2.0.0.0\",\"2.0.0.9\",\"\"33554432\"\",\"33554441\",\"a\"u\",\"Q\"\"\n";  // quotes
  input +=
      "\"x\",\"y\",\"99999999999999999999\",\"4294967297\",\"cn\",\"Big\"\n";  // beyond 32 bits
  input += "\"3\x01\xFF\",\"\0\x80\",\"50331648\",\"50331903\",\"CN\",\"\xC0\"\n"s;  // binary
  input += cn("4.0.0.0", "4.0.0.255");
  const auto result = run(input);
  ASSERT_EQ(result.status, 0) << result.err;
  // Whatever was accepted, starts ascend strictly and every id is in range.
  const auto lines = split_lines(read_file(kTable));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "0.0.0.0 0");
  int64_t previous = -1;
  for (const auto &line : lines) {
    const uint32_t start = testing_support::dotted(line.substr(0, line.find(' ')));
    EXPECT_GT(static_cast<int64_t>(start), previous) << read_file(kTable);
    previous = start;
    const int id = std::stoi(line.substr(line.find(' ') + 1));
    EXPECT_TRUE(id == 0 || id == 13 || id == 45) << line;
  }
  EXPECT_EQ(lines.back(), "4.0.1.0 0");
  EXPECT_NE(day_log(kRoot, "message.log").find("skip unsorted: \"ip_start\""), std::string::npos);
}

TEST_F(OrvikProgram, EmptyInputReplacesTheTable) {
  write_file(kTable, "0.0.0.0 0\n9.0.0.0 13\n");
  ASSERT_EQ(run("").status, 0);
  EXPECT_EQ(read_file(kTable), "0.0.0.0 0\n");
  EXPECT_EQ(split_lines(read_file(kRoot + "/conf/countries")).size(), 3u);  // names untouched
}

// A root without conf/ gets one, but without a names file there is no id
// to give: the run fails and writes no table.
TEST_F(OrvikProgram, MissingConfFailsWithoutATable) {
  testing_support::remove_tree_at(kRoot + "/conf");
  const auto result = run(au("1.0.0.0", "1.0.0.255"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(day_log(kRoot, "error.log")
                .find("|orvik| cannot read the names file conf/countries: No such file or "
                      "directory\n"),
            std::string::npos)
      << day_log(kRoot, "error.log");
  EXPECT_EQ(testing_support::list_table_files(kRoot + "/conf"), std::vector<std::string>{});
}

// No IPv4 address lies above 4294967295 or below 0. Such a line used to be
// cut to its low 32 bits and wrote a nonsense entry; now nothing is written
// for it. A line with an IPv6 address in field 1 is no such line: it belongs
// to the IPv6 table, and the IPv4 table is the same without it.
TEST_F(OrvikProgram, NumbersBeyond32BitsAreSkippedAsMalformed) {
  const std::string ipv6 = "\"2001:200::\",\"2001:200:ffff:ffff:ffff:ffff:ffff:ffff\",\""s +
                           "42540528726795050063891204319802818560\",\"" +
                           "42540528806023212578155541913346768895\",\"JP\",\"Japan\"";
  const std::string just_over = "\"x\",\"y\",\"4294967296\",\"4294967296\",\"AU\",\"Over\"";
  const std::string negative = "\"x\",\"y\",\"-1\",\"-1\",\"CN\",\"Minus\"";
  const auto result = run(au("1.0.0.0", "1.0.0.255") + ipv6 + "\n" + just_over + "\n" + negative +
                          "\n" + cn("2.0.0.0", "2.0.0.255"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(kTable), "0.0.0.0 0\n1.0.0.0 13\n2.0.0.0 45\n2.0.1.0 0\n");
  const auto lines = split_lines(day_log(kRoot, "message.log"));
  ASSERT_EQ(lines.size(), 3u) << day_log(kRoot, "message.log");
  EXPECT_EQ(lines[0].substr(16), "unknown country: jp (Japan)");  // no JP in the names
  EXPECT_EQ(lines[1].substr(16), "skip malformed: " + just_over);
  EXPECT_EQ(lines[2].substr(16), "skip malformed: " + negative);
  EXPECT_EQ(read_file(kRoot + "/conf/countries6.ips"), ":: 0\n2001:201:: 0\n");
}

// A read error on the input is no end of input: "orvik < directory" used to
// replace a good table with "0.0.0.0 0" and exit 0, logging nothing.
TEST_F(OrvikProgram, ReadErrorKeepsTheOldTable) {
  write_file(kTable, "0.0.0.0 0\n9.0.0.0 13\n");
  const std::string dir = kRoot + "/conf";
  const auto result = run("", [&dir] {
    int fd = open(dir.c_str(), O_RDONLY);
    dup2(fd, 0);
  });
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(
      day_log(kRoot, "error.log").find("|orvik| cannot read standard input: Is a directory\n"),
      std::string::npos)
      << day_log(kRoot, "error.log");
  EXPECT_EQ(read_file(kTable), "0.0.0.0 0\n9.0.0.0 13\n");
  EXPECT_EQ(testing_support::list_table_files(dir),
            (std::vector<std::string>{"countries", "countries.ips"}));
}

// Under a file-size limit the table's writes fail with EFBIG rather than
// kill the program with SIGXFSZ (which left the temporary file behind): the
// failure is reported and the old table stays.
TEST_F(OrvikProgram, FileSizeLimitLeavesNoTemporaryFile) {
  write_file(kTable, "0.0.0.0 0\n9.0.0.0 13\n");
  std::string input;
  for (int i = 0; i < 200; ++i) {
    input += (i % 2 ? au : cn)(("1.0." + std::to_string(i) + ".0").c_str(),
                               ("1.0." + std::to_string(i) + ".255").c_str());
  }
  const auto result = run(input, [] {
    signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(day_log(kRoot, "error.log").find(": File too large\n"), std::string::npos)
      << day_log(kRoot, "error.log");
  EXPECT_EQ(read_file(kTable), "0.0.0.0 0\n9.0.0.0 13\n");
  EXPECT_EQ(testing_support::list_table_files(kRoot + "/conf"),
            (std::vector<std::string>{"countries", "countries.ips"}));
}

// The new table is on disk before it takes the table's name, and the rename
// is synced: after a crash the name holds the old or the whole new table.
TEST_F(OrvikProgram, TableIsSyncedBeforeTheRenameAndTheRenameAfter) {
  if (system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  const std::string trace = kRoot + "/trace";
  const auto result = testing_support::run_program(
      "/usr/bin/strace", {"-f", "-o", trace, "-e", "trace=openat,fsync,rename", ORVIK_TESTROOT_BIN},
      au("1.0.0.0", "1.0.0.255"));
  ASSERT_EQ(result.status, 0) << result.err;
  // The calls that matter, in order: the scan of conf for temporaries of
  // runs that died, the open of the temporary table (its descriptor), its
  // fsync; then the compiled table, written, synced and renamed first, an
  // open of conf and its fsync; then the table's rename, and conf again.
  std::string calls;
  std::smatch m;
  std::map<std::string, std::string> opened;  // descriptor -> what it was last opened for
  for (const std::string &line : split_lines(read_file(trace))) {
    if (std::regex_search(line, m,
                          std::regex(R"(openat\(.*"conf/countries\.ips\.\d+".* = (\d+))"))) {
      opened[m[1]] = "temp", calls += "open-temp ";
    } else if (std::regex_search(line, m,
                                 std::regex(R"(openat\(.*"conf/countries\.ipt\.\d+".* = (\d+))"))) {
      opened[m[1]] = "ipt", calls += "open-ipt ";
    } else if (std::regex_search(line, m, std::regex(R"(openat\(.*"conf", .* = (\d+))"))) {
      opened[m[1]] = "conf", calls += "open-conf ";
    } else if (std::regex_search(line, m, std::regex(R"(fsync\((\d+)\) += 0)"))) {
      calls += "fsync-" + (opened.count(m[1]) ? opened[m[1]] : "other") + " ";
    } else if (line.find("rename(\"conf/countries.ips.") != std::string::npos) {
      calls += "rename ";
    } else if (line.find("rename(\"conf/countries.ipt.") != std::string::npos) {
      calls += "rename-ipt ";
    }
  }
  EXPECT_EQ(calls,
            "open-conf open-temp fsync-temp open-ipt fsync-ipt rename-ipt open-conf fsync-conf "
            "rename open-conf fsync-conf ")
      << read_file(trace);
}

}  // namespace
