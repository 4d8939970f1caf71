// orvik's options in runs of both families, as the real program against
// scratch roots (-r): --check and -v count per table, --min-ranges holds
// for each table replaced, --close-gaps and --update-names take IPv6 lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardening_procs.h"
#include "ip_ranges.h"
#include "orvik_csv.h"
#include "orvik_ipv6_lines.h"
#include "test_support.h"

namespace {

using orvik_lines::kInput4;
using orvik_lines::kOld4;
using orvik_lines::kOld6;
using orvik_lines::kTable4;
using orvik_lines::line6;
using orvik_lines::six_fields;
using orvik_lines::slash32;
using orvik_lines::words;
using testing_support::csv_line;
using testing_support::day_log;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::write_file;

// Three IPv6 ranges, one of an unknown code, and a malformed IPv6 line.
const std::string kInput6 = slash32("2001:200", "JP") + slash32("2001:250", "CN") +
                            six_fields("2001:258::", "2001:258::1", "1",
                                       "340282366920938463463374607431768211456", "JP", "Over") +
                            slash32("2001:260", "ZZ");
const std::string kTable6 = ":: 0\n2001:200:: 17\n2001:250:: 45\n2001:260:: 0\n2001:261:: 0\n";
const std::string kSummary4 =
    "conf/countries.ips: 2 lines read, 2 ranges accepted, 4 entries, 0 skipped as unsorted, 0 "
    "skipped as malformed, 0 unknown codes";
const std::string kSummary6 =
    "conf/countries6.ips: 4 lines read, 3 ranges accepted, 5 entries, 0 skipped as unsorted, 1 "
    "skipped as malformed, 1 unknown codes (zz 1)";

using OrvikIpv6Options = orvik_lines::TwoTablesRoot;

// A summary line without its "<table>: ".
std::string without_table(const std::string &line) { return line.substr(line.find(": ") + 2); }

// -n prints one line per table, each replaced table must hold enough
// ranges, and nothing is written.
TEST_F(OrvikIpv6Options, CheckCountsEachTable) {
  const std::string nothing4 =
      "conf/countries.ips: 0 lines read, 0 ranges accepted, 1 entries, 0 skipped as unsorted, 0 "
      "skipped as malformed, 0 unknown codes";
  const std::string nothing6 =
      "conf/countries6.ips: 0 lines read, 0 ranges accepted, 1 entries, 0 skipped as unsorted, 0 "
      "skipped as malformed, 0 unknown codes";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out, err;
  } const cases[] = {
      {{"-n"}, kInput4 + kInput6, 0, kSummary4 + "\n" + kSummary6 + "\n", ""},
      {{"-n"}, kInput6, 0, nothing4 + "; not replaced\n" + kSummary6 + "\n", ""},
      // Without IPv6 lines the one summary line IPv4 runs always had.
      {{"-n"}, kInput4, 0, without_table(kSummary4) + "\n", ""},
      {{"-n", "--min-ranges", "3"},
       kInput4 + kInput6,
       1,
       kSummary4 + "\n" + kSummary6 + "\n",
       "orvik: check failed for conf/countries.ips: 2 ranges accepted, at least 3 needed\n"},
      {{"-n", "--min-ranges", "3"},
       kInput6,
       0,
       nothing4 + "; not replaced\n" + kSummary6 + "\n",
       ""},
      {{"-n", "--format", "range-code"},
       "",
       1,
       without_table(nothing4) + "\n",
       "orvik: check failed for conf/countries.ips: 0 ranges accepted, at least 1 needed\n"},
  };
  for (const Case &c : cases) {
    const RunResult result = orvik(c.args, c.input);
    EXPECT_EQ(result.status, c.status) << words(c.args) << c.input;
    EXPECT_EQ(result.out, c.out) << words(c.args) << c.input;
    EXPECT_EQ(result.err, c.err) << words(c.args) << c.input;
    EXPECT_EQ(table4(), kOld4);
    EXPECT_EQ(table6(), kOld6);
    EXPECT_EQ(conf(), kConf);
  }
}

TEST_F(OrvikIpv6Options, VerbosePrintsALinePerTable) {
  const RunResult result = orvik({"-v"}, kInput4 + kInput6);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "orvik: " + kSummary4 + "\norvik: " + kSummary6 + "\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(table4(), kTable4);
  EXPECT_EQ(table6(), kTable6);
}

// --min-ranges N holds for each table the run replaces; one table short
// keeps both old tables, and every refusal is logged.
TEST_F(OrvikIpv6Options, MinRangesHoldsForEachTableReplaced) {
  const std::string refused4 =
      "refusing to replace conf/countries.ips: 2 ranges accepted, at least 3 needed";
  const std::string refused6 =
      "refusing to replace conf/countries6.ips: 3 ranges accepted, at least 4 needed";
  struct Case {
    std::string min_ranges, input;
    std::string table4, table6;
    std::vector<std::string> refusals;  // logged in this order; the last on standard error
  } const cases[] = {
      {"2", kInput4 + kInput6, kTable4, kTable6, {}},
      {"3", kInput4 + kInput6, kOld4, kOld6, {refused4}},
      {"4",
       kInput4 + kInput6,
       kOld4,
       kOld6,
       {"refusing to replace conf/countries.ips: 2 ranges accepted, at least 4 needed", refused6}},
      // A table the run does not replace needs nothing.
      {"3", kInput6, kOld4, kTable6, {}},
      {"4", kInput6, kOld4, kOld6, {refused6}},
      {"3", kInput4, kOld4, kOld6, {refused4}},
      {"1",
       "",
       kOld4,
       kOld6,
       {"refusing to replace conf/countries.ips: 0 ranges accepted, at least 1 needed"}},
  };
  for (const Case &c : cases) {
    SetUp();
    remove((root / "logs/current/error.log").c_str());
    const RunResult result = orvik({"--min-ranges", c.min_ranges}, c.input);
    const std::string what = c.min_ranges + " " + c.input;
    EXPECT_EQ(result.status, c.refusals.empty() ? 0 : 1) << what;
    EXPECT_EQ(result.err, c.refusals.empty() ? "" : "orvik: " + c.refusals.back() + "\n") << what;
    std::vector<std::string> logged;
    for (const std::string &line : split_lines(day_log(root.path(), "error.log")))
      logged.push_back(line.substr(line.find("|orvik| ") + 8));
    EXPECT_EQ(logged, c.refusals) << what;
    EXPECT_EQ(table4(), c.table4) << what;
    EXPECT_EQ(table6(), c.table6) << what;
    EXPECT_EQ(conf(), kConf) << what;
  }
}

TEST_F(OrvikIpv6Options, CloseGapsInTheIpv6Table) {
  struct Case {
    std::vector<std::string> args;
    std::string input, table6;
  } const cases[] = {
      // A gap after a range gets id 0; adjacent ranges get nothing between
      // them; a gap after a range of id 0 needs no entry.
      {{"--close-gaps"},
       slash32("2001:200", "JP") + slash32("2001:250", "CN") + slash32("2001:251", "CN") +
           slash32("2001:260", "ZZ") + slash32("2001:270", "JP"),
       ":: 0\n2001:200:: 17\n2001:201:: 0\n2001:250:: 45\n2001:252:: 0\n2001:270:: 17\n"
       "2001:271:: 0\n"},
      // A one-address gap; a last range reaching the top.
      {{"--close-gaps"},
       line6("2001:200::", "2001:200::ff", "JP") +
           line6("2001:200::101", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "CN"),
       ":: 0\n2001:200:: 17\n2001:200::100 0\n2001:200::101 45\n"},
      {{"--format", "range-code", "--close-gaps"},
       "2001:200::,2001:200::ff,JP\n2001:300::,2001:300::ff,JP\n",
       ":: 0\n2001:200:: 17\n2001:200::100 0\n2001:300:: 17\n2001:300::100 0\n"},
  };
  for (const Case &c : cases) {
    SetUp();
    EXPECT_EQ(orvik(c.args, c.input).status, 0) << c.input;
    EXPECT_EQ(table6(), c.table6) << c.input;
  }
}

// The code the names give an address of the written IPv6 table, through
// the library.
std::string code_at6(const TempRoot &root, const char *address) {
  testing_support::ScopedCwd cwd(root.path());
  ip_ranges *table = ip_ranges_new("countries");
  const uint8_t id = ip_ranges_lookup6(table, orvik_lines::bytes6(address).data());
  const char *code = ip_ranges_code(table, id);
  std::string found = code != nullptr ? code : "(none)";
  ip_ranges_free(table);
  return found;
}

// New codes come from the lines of both families, numbered in the order
// they first appear; the IPv6 line's name is its title, read whole.
TEST_F(OrvikIpv6Options, UpdateNamesTakesCodesOfBothFamilies) {
  write_file(root / "conf/countries", "0 -- Unknown\n13 au Australia\n");
  const std::string input =
      csv_line("2.0.0.0", "2.0.0.255", "DE", "Germany") + slash32("2001:200", "JP", "Japan") +
      slash32("2001:210", "KR", "Korea, Republic of") + slash32("2001:220", "de", "Again") +
      six_fields("2001:228::", "2001:228::1", "1", "", "ZX", "Malformed: no code") +
      line6("::", "::1", "ZY", "Unsorted: no code") + csv_line("2.0.1.0", "2.0.1.255", "AU", "");
  const RunResult result = orvik({"--update-names", "-v"}, input);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(names(),
            "0 -- Unknown\n1 de Germany\n2 jp Japan\n3 kr Korea, Republic of\n13 au Australia\n");
  EXPECT_EQ(result.err,
            "orvik: conf/countries.ips: 2 lines read, 2 ranges accepted, 4 entries, 0 skipped as "
            "unsorted, 0 skipped as malformed, 1 new codes, 0 unknown codes\n"
            "orvik: conf/countries6.ips: 5 lines read, 3 ranges accepted, 5 entries, 1 skipped "
            "as unsorted, 1 skipped as malformed, 2 new codes, 0 unknown codes\n");
  EXPECT_EQ(table4(), "0.0.0.0 0\n2.0.0.0 1\n2.0.1.0 13\n2.0.2.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 2\n2001:210:: 3\n2001:220:: 1\n2001:221:: 0\n");
  const std::pair<const char *, const char *> expected[] = {
      {"2001:200::7", "jp"}, {"2001:210::7", "kr"}, {"2001:220::7", "de"}, {"2001:221::", "--"}};
  for (const auto &[address, code] : expected) EXPECT_EQ(code_at6(root, address), code) << address;

  // The range-code form has no name: a new code takes the ISO 3166 list's
  // (here a fixture that lacks "ca", which is then its own title).
  write_file(root / "conf/countries", "0 -- Unknown\n13 au Australia\n");
  write_file(root / "iso.json", R"({"3166-1": [{"alpha_2": "JP", "name": "Japan"}]})");
  const RunResult codes =
      orvik({"--format", "range-code", "--update-names"},
            "2.0.0.0,2.0.0.255,AU\n2001:200::,2001:200::ff,JP\n2.0.1.0,2.0.1.255,Ca\n",
            [this] { setenv("VELMOR_ISO_3166", (root / "iso.json").c_str(), 1); });
  EXPECT_EQ(codes.status, 0) << codes.err;
  EXPECT_EQ(names(), "0 -- Unknown\n1 jp Japan\n2 ca ca\n13 au Australia\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 1\n2001:200::100 0\n");
}

}  // namespace
