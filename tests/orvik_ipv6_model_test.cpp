// orvik's IPv6 table on 500,000 generated lines against Python's ipaddress
// as the model (tests/models/orvik6_model.py): the table written must be
// the model's, byte for byte, and the library's lookups in it must give the
// model's answers, for the six-field form and for the range-code form with
// --close-gaps.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ip_ranges.h"
#include "python_models.h"
#include "str.h"
#include "test_support.h"

namespace {

using testing_support::first_difference;
using testing_support::path_exists;
using testing_support::python_model;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::TempRoot;

// Looks up every probe (lines "ADDRESS ID CLOSED_ID") in the IPv6 table
// under root; "" when each gives the id of column (0: ID, 1: CLOSED_ID).
std::string lookups_differ(const TempRoot &root, int column, long *checked) {
  testing_support::ScopedCwd cwd(root.path());
  ip_ranges *table = ip_ranges_new("countries");
  std::string problem;
  std::ifstream probes(root / "probes");
  std::string address;
  int ids[2];
  while (problem.empty() && probes >> address >> ids[0] >> ids[1]) {
    uint8_t bytes[16];
    if (!str_ip6_parse(address.c_str(), bytes)) {
      problem = "the model's address " + address + " does not read";
    } else if (const int id = ip_ranges_lookup6(table, bytes); id != ids[column]) {
      problem = address + ": " + std::to_string(id) + ", model " + std::to_string(ids[column]);
    }
    ++*checked;
  }
  ip_ranges_free(table);
  return problem;
}

TEST(OrvikIpv6Model, TablesAndLookupsMatchTheModel) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  const RunResult made =
      testing_support::run_python({python_model("orvik6_model.py"), "6", "500000", root.path()});
  ASSERT_EQ(made.status, 0) << made.err;
  struct Run {
    std::vector<std::string> args;
    std::string expected;
    int column;
  } const runs[] = {
      {{root / "six-field.csv"}, "expected6.ips", 0},
      {{"--format", "range-code", "--close-gaps", root / "range-code.csv"},
       "expected6-closed.ips",
       1},
  };
  for (const Run &run : runs) {
    const RunResult result = testing_support::run_in_root(ORVIK_BIN, root, run.args);
    ASSERT_EQ(result.status, 0) << run.expected << result.err;
    EXPECT_EQ(
        first_difference(read_file(root / "conf/countries6.ips"), read_file(root / run.expected)),
        "")
        << run.expected;
    // Only IPv6 lines: the IPv4 table is neither replaced nor made.
    EXPECT_FALSE(path_exists(root / "conf/countries.ips"));
    long checked = 0;
    EXPECT_EQ(lookups_differ(root, run.column, &checked), "") << run.expected;
    EXPECT_GT(checked, 250000) << run.expected;
  }
}

}  // namespace
