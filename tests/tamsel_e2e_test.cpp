// The tamsel program itself, built for the scratch root TEST_ROOT: its table
// on standard output, its messages in the root's day log, its exit status.
#include <gtest/gtest.h>

#include <string>

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
  auto result = run_program(TAMSEL_TESTROOT_BIN, {"--ignored", "argument"}, input);
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

TEST_F(TamselProgram, MissingNamesFileGivesMinusOne) {
  auto result = run_program(TAMSEL_TESTROOT_BIN, {}, "10.0.0.0/8\n12.0.0.0/8\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0.0.0.0 0\n10.0.0.0 -1\n11.0.0.0 0\n12.0.0.0 -1\n13.0.0.0 0\n");
}

TEST_F(TamselProgram, EmptyInputGivesTheSingleEntry) {
  auto result = run_program(TAMSEL_TESTROOT_BIN, {}, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0.0.0.1 0\n");
  EXPECT_EQ(day_log(TEST_ROOT, "error.log"), "");
}

}  // namespace
