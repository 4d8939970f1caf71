// iplookup's IPv6 answers through the program and a scratch root: IPv6
// operands and lines answered from conf/NAME6.ips, IPv4-mapped ones from
// the IPv4 table, text that is no address refused by family, -4 and -6,
// each table read only when an address needs it, and --json judged by
// Python's json module.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "iplookup_oracle.h"
#include "test_support.h"

using testing_support::day_log;
using testing_support::run_in_root;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::with_root;
using testing_support::write_file;

namespace {

const char kNames[] = "0 -- Unknown\n1 ru Russian Federation\n7 nl Netherlands\n";
const char kTable4[] = "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n";
// The IPv4-mapped addresses get id 9 here: the lookup must never answer it.
const char kTable6[] =
    ":: 0\n::ffff:0:0 9\n::1:0:0:0 0\n2001:db8:: 1\n2001:db9:: 0\n2a00:: 7\n2a01:: 0\n"
    "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff 7\n";

void lay_out(const TempRoot &root, bool table4, bool table6,
             const std::string &name = "countries") {
  write_file(root / ("conf/" + name), kNames);
  if (table4) write_file(root / ("conf/" + name + ".ips"), kTable4);
  if (table6) write_file(root / ("conf/" + name + "6.ips"), kTable6);
}

RunResult iplookup(const TempRoot &root, const std::vector<std::string> &args,
                   const std::string &input = "") {
  return run_in_root(IPLOOKUP_BIN, root, args, input);
}

TEST(IplookupIpv6, AnswersIpv6AddressesAndMappedOnesFromTheIpv4Table) {
  TempRoot root;
  lay_out(root, true, true);
  struct Case {
    const char *address;
    const char *answer;
  };
  const Case cases[] = {
      {"2001:db8::1", "2001:db8::1 1 ru Russian Federation"},
      {"2001:DB8:0:0:0:0:0:FFFF", "2001:db8::ffff 1 ru Russian Federation"},
      {"2001:0db8:ffff:ffff:ffff:ffff:ffff:ffff",
       "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff 1 ru Russian Federation"},
      {"2001:db9::", "2001:db9:: 0 -- Unknown"},
      {"2a00::", "2a00:: 7 nl Netherlands"},
      {"::", ":: 0 -- Unknown"},
      {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe",
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe 0 -- Unknown"},
      {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff 7 nl "
       "Netherlands"},
      // IPv4-mapped: the IPv4 table answers, written in hex groups.
      {"::ffff:5.3.1.2", "::ffff:503:102 1 ru Russian Federation"},
      {"::FFFF:10.0.0.1", "::ffff:a00:1 7 nl Netherlands"},
      {"0:0:0:0:0:ffff:0b00:0001", "::ffff:b00:1 0 -- Unknown"},
      // Next to the mapped addresses, and IPv4-compatible text: the IPv6 table.
      {"::fffe:ffff:ffff", "::fffe:ffff:ffff 0 -- Unknown"},
      {"::1:0:0:0", "::1:0:0:0 0 -- Unknown"},
      {"::5.3.1.2", "::503:102 0 -- Unknown"},
      {"64:ff9b::5.3.1.2", "64:ff9b::503:102 0 -- Unknown"},
      // IPv4 as before.
      {"5.3.1.2", "5.3.1.2 1 ru Russian Federation"},
  };
  std::vector<std::string> args;
  std::string lines, expected;
  for (const Case &c : cases) {
    args.push_back(c.address);
    lines += std::string(" ") + c.address + " \r\n\n";
    expected += std::string(c.answer) + "\n";
  }
  RunResult by_args = iplookup(root, args);
  EXPECT_EQ(by_args.status, 0) << by_args.err;
  EXPECT_EQ(by_args.out, expected);
  EXPECT_EQ(by_args.err, "");
  RunResult by_lines = iplookup(root, {"-"}, lines);
  EXPECT_EQ(by_lines.status, 0) << by_lines.err;
  EXPECT_EQ(by_lines.out, expected);
}

// Each refused text is reported alone, nothing is printed for it, and the
// addresses around it are still answered.
TEST(IplookupIpv6, RefusesTextThatIsNoAddressOfTheFamiliesAsked) {
  TempRoot root;
  lay_out(root, true, true);
  struct Case {
    const char *option;  // "" for none
    const char *text;
    const char *kind;  // what the text is reported as not being, "an IPv4" for "an IPv4 address"
  };
  const Case cases[] = {
      // Without -4 or -6, text of neither family is "not an address".
      {"", "1::2::3", "an"},
      {"", "2001:db8::g", "an"},
      {"", "12345::", "an"},
      {"", "1:2:3:4:5:6:7:8:9", "an"},
      {"", "1:2:3:4:5:6:7", "an"},
      {"", ":1::", "an"},
      {"", "::1/128", "an"},
      {"", "[::1]", "an"},
      {"", "fe80::1%eth0", "an"},
      {"", "::ffff:1.2.3", "an"},
      {"", "::ffff:1.2.3.04", "an"},
      {"", "::ffff:256.0.0.1", "an"},
      {"", "5.3.1.2:80", "an"},
      {"", ":", "an"},
      {"", "10.0.0", "an"},
      {"", "2001", "an"},
      {"", "x", "an"},
      // -4 and -6 take their own family only.
      {"-4", "2001:db8::1", "an IPv4"},
      {"-4", "::ffff:5.3.1.2", "an IPv4"},
      {"--ipv4", "::", "an IPv4"},
      {"-6", "5.3.1.2", "an IPv6"},
      {"--ipv6", "10.0.0", "an IPv6"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.text);
    const std::string option = c.option;
    const bool only4 = !option.empty() && option.back() == '4';
    const bool only6 = !option.empty() && option.back() == '6';
    const char *before = only4 ? "10.0.0.1" : "2a00::1";
    const char *after = only6 ? "2001:db8::" : "5.3.0.0";
    std::vector<std::string> args{before, c.text, after};
    if (!option.empty()) args.insert(args.begin(), option);
    RunResult run = iplookup(root, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string("iplookup: not ") + c.kind + " address: " + c.text + "\n");
    EXPECT_EQ(run.out,
              std::string(before) + " 7 nl Netherlands\n" + after + " 1 ru Russian Federation\n");
  }
}

// A table is read by the first address that needs it; one that cannot be
// loaded then fails the run, one no address needed is never looked at (the
// error log names every table file that was tried and missing).
TEST(IplookupIpv6, ReadsOnlyTheTablesItsAddressesNeed) {
  const std::string no4 =
      "iplookup: no table loaded from ROOT/conf/countries.ips (see ROOT/logs/current/)\n";
  const std::string no6 =
      "iplookup: no table loaded from ROOT/conf/countries6.ips (see ROOT/logs/current/)\n";
  struct Case {
    const char *what;
    bool table4, table6;
    std::vector<std::string> args;
    std::string out, err;
    int status;
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {"IPv6 address, no IPv6 table",
       true,
       false,
       {"2001:db8::1"},
       "2001:db8::1 0 -- Unknown\n",
       no6,
       1,
       {"countries6.ips"}},
      {"IPv4 and mapped addresses, no IPv6 table",
       true,
       false,
       {"5.3.1.2", "::ffff:5.3.1.2"},
       "5.3.1.2 1 ru Russian Federation\n::ffff:503:102 1 ru Russian Federation\n",
       "",
       0,
       {}},
      {"IPv6 address, no IPv4 table",
       false,
       true,
       {"2001:db8::1"},
       "2001:db8::1 1 ru Russian Federation\n",
       "",
       0,
       {}},
      {"mapped address, no IPv4 table",
       false,
       true,
       {"::ffff:5.3.1.2"},
       "::ffff:503:102 0 -- Unknown\n",
       no4,
       1,
       {"countries.ips"}},
      {"both families, no table",
       false,
       false,
       {"::1", "1.1.1.1"},
       "::1 0 -- Unknown\n1.1.1.1 0 -- Unknown\n",
       no4 + no6,
       1,
       {"countries.ips", "countries6.ips"}},
      {"-v names both tables loaded",
       true,
       true,
       {"-v", "2a00::1", "1.1.1.1"},
       "2a00::1 7 nl Netherlands\n1.1.1.1 0 -- Unknown\n",
       "iplookup: loaded ROOT/conf/countries.ips: 5 entries\n"
       "iplookup: loaded ROOT/conf/countries6.ips: 8 entries\n",
       0,
       {}},
      {"--json, no IPv6 table",
       true,
       false,
       {"--json", "::1"},
       "{\"address\": \"::1\", \"id\": 0, \"code\": \"--\", \"title\": \"Unknown\"}\n",
       no6,
       1,
       {"countries6.ips"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempRoot root;
    lay_out(root, c.table4, c.table6);
    RunResult run = iplookup(root, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, with_root(c.err, root));
    const std::string log = day_log(root.path(), "error.log");
    for (const char *file : {"countries.ips", "countries6.ips"}) {
      const bool listed = std::find(c.logged.begin(), c.logged.end(), file) != c.logged.end();
      EXPECT_EQ(log.find(file) != std::string::npos, listed) << file << "\n" << log;
    }
  }
}

TEST(IplookupIpv6, TableOptionNamesTheIpv6TableToo) {
  TempRoot root;
  lay_out(root, true, true, "blocklist");
  write_file(root / "conf/countries6.ips", ":: 7\n");  // must not be read
  RunResult run = iplookup(root, {"-t", "blocklist", "2001:db8::1"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2001:db8::1 1 ru Russian Federation\n");
  RunResult missing = iplookup(root, {"-t", "missing", "2001:db8::1"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, with_root("iplookup: no table loaded from ROOT/conf/missing6.ips (see "
                                   "ROOT/logs/current/)\n",
                                   root));
}

TEST(IplookupIpv6, FamilyOptionsExcludeEachOther) {
  TempRoot root;
  lay_out(root, true, true);
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"-4", "-6", "::1"}, std::vector<std::string>{"--ipv6", "-4"},
        std::vector<std::string>{"-46", "--summary"}}) {
    RunResult run = iplookup(root, args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(split_lines(run.err),
              (std::vector<std::string>{
                  "iplookup: -4 and -6 exclude each other",
                  "Usage: iplookup [OPTION]... [ADDRESS|-]... (see iplookup --help)"}));
  }
}

TEST(IplookupIpv6, JsonCarriesTheAddressAsIpv6Text) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  lay_out(root, true, true);
  write_file(root / "conf/countries",
             std::string(kNames) + "9 m\xe0pped \"Mapped\" \\ \xd0\xa0\n");  // never answered
  RunResult run = iplookup(root, {"--json", "2001:DB8::1", "::ffff:5.3.0.1", "2001:db8::x",
                                  "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::", "5.3.0.1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "iplookup: not an address: 2001:db8::x\n");
  const std::string ru = "\t1\t" + iplookup_oracle::hex("ru") + "\t" +
                         iplookup_oracle::hex("Russian Federation") + "\n";
  const std::string expected =
      "2001:db8::1" + ru + "::ffff:503:1" + ru + "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff\t7\t" +
      iplookup_oracle::hex("nl") + "\t" + iplookup_oracle::hex("Netherlands") + "\n::\t0\t" +
      iplookup_oracle::hex("--") + "\t" + iplookup_oracle::hex("Unknown") + "\n5.3.0.1" + ru;
  write_file(root / "expected", expected);
  write_file(root / "output", run.out);
  RunResult judged = iplookup_oracle::check({"json", root / "expected", root / "output"});
  EXPECT_EQ(judged.status, 0) << judged.out << judged.err;
}

}  // namespace
