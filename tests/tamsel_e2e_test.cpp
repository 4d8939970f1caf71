// The tamsel program itself, built for the scratch root TEST_ROOT: its table
// on standard output, its messages in the root's day log, its exit status.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "test_support.h"

namespace {

using testing_support::day_log;
using testing_support::remove_tree_at;
using testing_support::run_program;
using testing_support::write_file;

class TamselProgram : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::fresh_root(TEST_ROOT); }
  void TearDown() override { remove_tree_at(TEST_ROOT); }
};

TEST_F(TamselProgram, PrintsTheTableAndLogsBadLines) {
  write_file(TEST_ROOT "/conf/countries", "0 -- Unknown\n3 by Belarus\n7 ru Russia\n");
  const std::string input =
      "# ranges\r\n"
      "10.0.0.0/8\r\n"
      "10.128.0.0-12.0.0.0\n"
      "192.168.0.0/16\n"
      "5.5.5.5-1.1.1.1\n"
      "1.2.3.4/40\n";
  auto result = run_program(TAMSEL_TESTROOT_BIN, {}, input);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0.0.0.0 0\n10.0.0.0 7\n12.0.0.1 0\n192.168.0.0 7\n192.169.0.0 0\n");
  EXPECT_EQ(result.err, "");
  std::string errors = day_log(TEST_ROOT, "error.log");
  for (const char *message :
       {"|tamsel| wrong string: # ranges\n", "|tamsel| wrong range order: 5.5.5.5-1.1.1.1\n",
        "|tamsel| wrong bits count: 1.2.3.4/40\n"}) {
    EXPECT_NE(errors.find(message), std::string::npos) << message << " not in:\n" << errors;
  }
  EXPECT_EQ(errors.find("\n\n"), std::string::npos) << errors;  // one message, one line
}

// Without an id for "ru" the table used to carry -1 for every range (read
// back as id 255) with status 0. Now the run fails with one line and prints
// no table; CIDR blocks carry no id and need no names file.
TEST_F(TamselProgram, NoIdForRuFailsWithoutATable) {
  struct Case {
    const char *names;  // null: no names file
    std::vector<std::string> args;
    const char *line;
  };
  const Case cases[] = {
      {nullptr,
       {},
       "tamsel: cannot read the names file conf/countries: No such file or directory\n"},
      {"0 -- Unknown\n1 ua Ukraine\n",
       {},
       "tamsel: conf/countries lists no code ru: the ranges "
       "would have no id\n"},
      {"1 ua Ukraine\n",
       {"-6"},
       "tamsel: conf/countries lists no code ru: the ranges would have "
       "no id\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    testing_support::fresh_root(TEST_ROOT);
    if (c.names != nullptr) write_file(TEST_ROOT "/conf/countries", c.names);
    auto result = run_program(TAMSEL_TESTROOT_BIN, c.args, "10.0.0.0/8\n2001:db8::/32\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.line);
  }
  auto cidr = run_program(TAMSEL_TESTROOT_BIN, {"--cidr"}, "10.0.0.0/8\n");
  EXPECT_EQ(cidr.status, 0);
  EXPECT_EQ(cidr.out, "10.0.0.0/8\n");
}

TEST_F(TamselProgram, EmptyInputGivesTheSingleEntry) {
  write_file(TEST_ROOT "/conf/countries", "7 ru Russia\n");
  auto result = run_program(TAMSEL_TESTROOT_BIN, {}, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0.0.0.1 0\n");
  EXPECT_EQ(day_log(TEST_ROOT, "error.log"), "");
}

// Started with standard output closed, the program must not take descriptor
// 1 for its first file (a log file) and print the table into it: writing
// the table fails, which is reported, with status 1.
TEST_F(TamselProgram, ClosedStandardOutputIsReportedNotWrittenIntoALog) {
  write_file(TEST_ROOT "/conf/countries", "7 ru Russia\n");
  auto result = run_program(TAMSEL_TESTROOT_BIN, {}, "bad line\n10.0.0.0/8\n", [] { close(1); });
  EXPECT_EQ(result.status, 1);
  const std::string errors = day_log(TEST_ROOT, "error.log");
  EXPECT_NE(errors.find("|tamsel| cannot write to standard output: Bad file descriptor\n"),
            std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("10.0.0.0 7"), std::string::npos) << errors;
}

// Over the file-size limit a write fails with EFBIG instead of killing the
// program with SIGXFSZ: the log line falls back to standard error and the
// table is printed (before: killed, status 153, no table).
TEST_F(TamselProgram, FileSizeLimitTakesTheLoggersFallBack) {
  write_file(TEST_ROOT "/conf/countries", "7 ru Russia\n");
  const std::string day = TEST_ROOT "/logs/" + testing_support::local_date();
  mkdir(day.c_str(), 0755);
  write_file(day + "/error.log", std::string(8192, '.') + "\n");
  auto result = run_program(TAMSEL_TESTROOT_BIN, {}, "x\n", [] {
    signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{4096, 4096};  // below the log file, above the table
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "0.0.0.1 0\n");
  EXPECT_NE(result.err.find("|tamsel| wrong string: x\n"), std::string::npos) << result.err;
}

}  // namespace
