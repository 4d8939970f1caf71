// iplookup against a scratch installation root: arguments, standard input,
// bad addresses and a missing table.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace testing_support;

namespace {

// A fresh TEST_ROOT with a names file and, when given, a boundary table.
void prepare_root(const std::string &table) {
  testing_support::fresh_root(TEST_ROOT);
  write_file(std::string(TEST_ROOT) + "/conf/countries",
             "0 -- Unknown\n1 ru Russian Federation\n7 nl Netherlands\n");
  if (!table.empty()) write_file(std::string(TEST_ROOT) + "/conf/countries.ips", table);
}

const std::string kTable = "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n10.0.0.0 7\n10.1.0.0 9\n";

}  // namespace

TEST(IplookupE2e, AnswersArgumentsAndStandardInputAlike) {
  prepare_root(kTable);
  const std::string expected =
      "5.3.1.2 1 ru Russian Federation\n"
      "1.2.3.4 0 -- Unknown\n"
      "10.1.255.255 9 - -\n"
      "255.255.255.255 9 - -\n";
  RunResult by_args = run_program(IPLOOKUP_TESTROOT_BIN,
                                  {"5.3.1.2", "1.2.3.4", "10.1.255.255", "255.255.255.255"}, "");
  EXPECT_EQ(by_args.status, 0) << by_args.err;
  EXPECT_EQ(by_args.out, expected);
  RunResult by_lines = run_program(IPLOOKUP_TESTROOT_BIN, {},
                                   "5.3.1.2\n  1.2.3.4 \r\n\n10.1.255.255\n255.255.255.255");
  EXPECT_EQ(by_lines.status, 0) << by_lines.err;
  EXPECT_EQ(by_lines.out, expected);
  EXPECT_EQ(by_lines.err, "");
}

TEST(IplookupE2e, BadAddressIsReportedAndTheRestAnswered) {
  prepare_root(kTable);
  RunResult run =
      run_program(IPLOOKUP_TESTROOT_BIN, {"10.0.0.1", "10.0.0", "ip=1.2.3.4", "5.3.0.0"}, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "10.0.0.1 7 nl Netherlands\n5.3.0.0 1 ru Russian Federation\n");
  EXPECT_EQ(run.err,
            "iplookup: not an address: 10.0.0\n"
            "iplookup: not an address: ip=1.2.3.4\n");
}

TEST(IplookupE2e, MissingTableAnswersZeroAndSaysSo) {
  prepare_root("");
  RunResult run = run_program(IPLOOKUP_TESTROOT_BIN, {"5.3.1.2"}, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "5.3.1.2 0 -- Unknown\n");
  EXPECT_NE(run.err.find("iplookup: no table loaded from " TEST_ROOT "/conf/countries.ips"),
            std::string::npos)
      << run.err;
  EXPECT_NE(day_log(TEST_ROOT, "error.log").find("|iplookup| cannot open conf/countries.ips"),
            std::string::npos);
}
