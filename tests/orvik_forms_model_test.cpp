// Every input form orvik reads, on one generated data set written in each
// form by a Python model (tests/models/orvik_forms_model.py): each run must
// write the model's two tables byte for byte, the same the range-code list
// of the same ranges gives, and skip no line. --update-names on the registry
// files titles the new codes from an ISO 3166 list (the model's fixture).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "python_models.h"
#include "test_support.h"

namespace {

using testing_support::first_difference;
using testing_support::python_model;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::TempRoot;
using testing_support::write_file;

TEST(OrvikFormsModel, EveryFormGivesTheTablesOfItsRanges) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  const RunResult made = testing_support::run_python(
      {python_model("orvik_forms_model.py"), "19", "20000", "8000", root.path()});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string names = read_file(root / "conf/countries");
  const std::string expected4 = read_file(root / "expected4.ips");
  const std::string expected6 = read_file(root / "expected6.ips");
  ASSERT_FALSE(expected4.empty());
  ASSERT_FALSE(expected6.empty());
  const std::vector<std::string> runs[] = {
      {"--format", "six-field", root / "six-field.csv"},
      {"--format", "range-code", root / "range-code.csv"},
      {"--format", "range-code", root / "range-code-numeric.csv"},
      {"--format", "range-code", root / "range-code.tsv"},
      {"--format", "geolite2", "--locations", root / "geolite2-locations.csv",
       root / "geolite2-ipv4.csv", root / "geolite2-ipv6.csv"},
      {"--format", "ip2location", root / "ip2location6.csv"},
      {"--format", "registry", root / "delegated-a", root / "delegated-b"},
      // Sorting a sorted list changes nothing.
      {"--format", "range-code", "--sort", root / "range-code.csv"},
  };
  for (const std::vector<std::string> &args : runs) {
    const std::string form = args[1] + " " + args.back();
    write_file(root / "conf/countries.ips", "");
    write_file(root / "conf/countries6.ips", "");
    std::vector<std::string> verbose = args;
    verbose.push_back("-v");
    const RunResult result = testing_support::run_in_root(ORVIK_BIN, root, verbose);
    ASSERT_EQ(result.status, 0) << form << result.err;
    EXPECT_EQ(first_difference(read_file(root / "conf/countries.ips"), expected4), "") << form;
    EXPECT_EQ(first_difference(read_file(root / "conf/countries6.ips"), expected6), "") << form;
    // Every line a range or passed over (headers, comments, gaps).
    EXPECT_NE(result.err.find("0 skipped as unsorted, 0 skipped as malformed"), std::string::npos)
        << form << result.err;
    EXPECT_EQ(read_file(root / "conf/countries"), names) << form;
  }
  // The IPv4 file of IP2Location gives the IPv4 table alone.
  write_file(root / "conf/countries.ips", "");
  ASSERT_EQ(testing_support::run_in_root(ORVIK_BIN, root,
                                         {"--format", "ip2location", root / "ip2location4.csv"})
                .status,
            0);
  EXPECT_EQ(first_difference(read_file(root / "conf/countries.ips"), expected4), "");

  // New codes of the registry files, in the order they come, titled by the
  // ISO list; codes it lacks are their own titles.
  write_file(root / "conf/countries", "");
  const RunResult named = testing_support::run_in_root(
      ORVIK_BIN, root,
      {"--format", "registry", "--update-names", root / "delegated-a", root / "delegated-b"}, "",
      [&root] { setenv("VELMOR_ISO_3166", (root / "iso.json").c_str(), 1); });
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(read_file(root / "conf/countries"), read_file(root / "expected-names"));
}

}  // namespace
