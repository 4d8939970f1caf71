// iplookup's command line, through the program and a scratch root: help,
// version and usage errors, the table named by -t, the root from -r or
// $VELMOR_ROOT, "-" for standard input, -v, and --json judged by Python's
// json module.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "iplookup_oracle.h"
#include "test_support.h"

using testing_support::run_in_root;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::with_root;
using testing_support::write_file;

namespace {

const char kUsageLine[] = "Usage: iplookup [OPTION]... [ADDRESS|-]... (see iplookup --help)";

// The countries table, and a blocklist as tamsel writes it (the id of "ru").
void lay_out_tables(const TempRoot &root) {
  write_file(root / "conf/countries", "0 -- Unknown\n1 ru Russian Federation\n7 nl Netherlands\n");
  write_file(root / "conf/countries.ips",
             "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n");
  write_file(root / "conf/blocklist", "0 -- none\n1 ru Russian Federation\n");
  write_file(root / "conf/blocklist.ips", "0.0.0.0 0\n192.0.2.0 1\n192.0.2.100 0\n");
  write_file(root / "conf/bare.ips", "0.0.0.0 0\n192.0.2.0 1\n");  // no names file
}

RunResult iplookup(const TempRoot &root, const std::vector<std::string> &args,
                   const std::string &input = "") {
  return run_in_root(IPLOOKUP_BIN, root, args, input);
}

TEST(IplookupCommandLine, HelpAndVersionAnswerOnStandardOutput) {
  TempRoot root;
  for (const char *option : {"-h", "--help"}) {
    RunResult run = iplookup(root, {option, "--summary", "1.2.3.4"});
    EXPECT_EQ(run.status, 0) << option;
    EXPECT_EQ(run.out.rfind("Usage: iplookup [OPTION]... [ADDRESS|-]...\n", 0), 0u) << run.out;
    for (const char *documented : {"--table NAME", "--json", "--export CODE", "--summary"})
      EXPECT_NE(run.out.find(documented), std::string::npos) << documented;
    EXPECT_EQ(run.err, "");
  }
  for (const char *option : {"-V", "--version"}) {
    RunResult run = iplookup(root, {option});
    EXPECT_EQ(run.status, 0) << option;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("iplookup [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << run.out;
    EXPECT_EQ(run.err, "");
  }
}

TEST(IplookupCommandLine, UsageErrorsEndWithStatusTwoBeforeAnyWork) {
  TempRoot root;
  lay_out_tables(root);
  struct Case {
    std::vector<std::string> args;
    const char *complaint;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x", "1.2.3.4"}, "unknown option '-x'"},
      {{"-t"}, "option '-t' needs a value"},
      {{"--export"}, "option '--export' needs a value"},
      {{"-t", "../countries", "1.2.3.4"},
       "table name '../countries' is not made of letters, digits, '-', '.' and '_'"},
      {{"-t", "", "1.2.3.4"}, "table name '' is not made of letters, digits, '-', '.' and '_'"},
      {{"--export", ""}, "--export needs a code"},
      {{"--json", "--summary"}, "--json, --export and --summary exclude each other"},
      {{"--summary", "--export", "ru"}, "--json, --export and --summary exclude each other"},
      {{"--summary", "1.2.3.4"}, "--summary takes no addresses (got '1.2.3.4')"},
      {{"--export", "ru", "-"}, "--export takes no addresses (got '-')"},
      {{"--export", "ru,,by"}, "--export needs codes separated by ',' (got 'ru,,by')"},
      {{"--export", "ru,"}, "--export needs codes separated by ',' (got 'ru,')"},
      {{"--export", "ru", "--format", "iptables"},
       "--format takes cidr, ipset or nft (got 'iptables')"},
      {{"--format", "ipset", "5.3.0.1"}, "--format, --set and --nft-table go with --export"},
      {{"--summary", "--set", "x"}, "--format, --set and --nft-table go with --export"},
      {{"--export", "ru", "--set", "x"}, "--set goes with --format ipset or nft"},
      {{"--export", "ru", "--format", "ipset", "--nft-table", "inet x"},
       "--nft-table goes with --format nft"},
      {{"--export", "ru", "--format", "nft", "--nft-table", "velmor"},
       "--nft-table takes 'FAMILY NAME' (FAMILY ip, ip6, inet, arp, bridge or netdev; NAME as a "
       "set name) (got 'velmor')"},
      {{"--export", "ru", "--format", "nft", "--nft-table", "inet6 velmor"},
       "--nft-table takes 'FAMILY NAME' (FAMILY ip, ip6, inet, arp, bridge or netdev; NAME as a "
       "set name) (got 'inet6 velmor')"},
      {{"--export", "ru", "--format", "nft", "--nft-table", "inet  velmor"},
       "--nft-table takes 'FAMILY NAME' (FAMILY ip, ip6, inet, arp, bridge or netdev; NAME as a "
       "set name) (got 'inet  velmor')"},
      {{"--export", "ru", "--format", "ipset", "--set", "9lives"},
       "set name '9lives' is not a letter, then letters, digits, '-' and '_', 26 at most"},
      {{"--export", "ru", "--format", "ipset", "--set", "block list"},
       "set name 'block list' is not a letter, then letters, digits, '-' and '_', 26 at most"},
      {{"--export", "ru", "--format", "ipset", "--set", "abcdefghijklmnopqrstuvwxyz1"},
       "set name 'abcdefghijklmnopqrstuvwxyz1' is not a letter, then letters, digits, '-' and "
       "'_', 26 at most"},
      {{"--export", "ru,by,kz,uz,tj,kg,am", "--format", "nft"},
       "the codes 'ru,by,kz,uz,tj,kg,am' make no set name (a letter, then letters, digits, '-' "
       "and '_', 26 at most): give --set NAME"},
      {{"--export", "\xc0\xc1", "--format", "ipset"},
       "the codes '\xc0\xc1' make no set name (a letter, then letters, digits, '-' and '_', 26 "
       "at most): give --set NAME"},
  };
  for (const Case &c : cases) {
    RunResult run = iplookup(root, c.args);
    SCOPED_TRACE(c.complaint);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(split_lines(run.err),
              (std::vector<std::string>{std::string("iplookup: ") + c.complaint, kUsageLine}));
  }
  EXPECT_EQ(testing_support::day_log(root.path(), "error.log"), "");
}

TEST(IplookupCommandLine, TableOptionNamesTheTableItsNamesAndItsMessages) {
  TempRoot root;
  lay_out_tables(root);
  struct Case {
    std::vector<std::string> args;
    const char *out;
    const char *err;
    int status;
  };
  const Case cases[] = {
      {{"192.0.2.5", "5.3.0.1"},
       "192.0.2.5 0 -- Unknown\n5.3.0.1 1 ru Russian Federation\n",
       "",
       0},
      {{"-t", "blocklist", "192.0.2.5", "192.0.2.100"},
       "192.0.2.5 1 ru Russian Federation\n192.0.2.100 0 -- none\n",
       "",
       0},
      {{"--table=blocklist", "192.0.2.99"}, "192.0.2.99 1 ru Russian Federation\n", "", 0},
      {{"-t", "bare", "192.0.2.5"}, "192.0.2.5 1 - -\n", "", 0},
      {{"-v", "-t", "blocklist", "192.0.2.5"},
       "192.0.2.5 1 ru Russian Federation\n",
       "iplookup: loaded ROOT/conf/blocklist.ips: 3 entries\n",
       0},
      {{"-t", "missing", "192.0.2.5"},
       "192.0.2.5 0 - -\n",
       "iplookup: no table loaded from ROOT/conf/missing.ips (see ROOT/logs/current/)\n",
       1},
      {{"-t", "missing", "--summary"},
       "",
       "iplookup: no table loaded from ROOT/conf/missing.ips (see ROOT/logs/current/)\n",
       1},
      {{"-t", "bare", "--export", "ru"},
       "",
       "iplookup: cannot read the names file ROOT/conf/bare (see ROOT/logs/current/)\n",
       1},
  };
  for (const Case &c : cases) {
    RunResult run = iplookup(root, c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, with_root(c.err, root));
  }
}

TEST(IplookupCommandLine, RootComesFromTheOptionThenTheEnvironment) {
  TempRoot by_option, by_environment;
  lay_out_tables(by_option);
  write_file(by_environment / "conf/countries", "4 de Germany\n");
  write_file(by_environment / "conf/countries.ips", "0.0.0.0 4\n");
  const std::string environment_root = by_environment.path();
  auto set_root = [&environment_root] { setenv("VELMOR_ROOT", environment_root.c_str(), 1); };
  RunResult from_environment = run_program(IPLOOKUP_BIN, {"5.3.0.1"}, "", set_root);
  EXPECT_EQ(from_environment.out, "5.3.0.1 4 de Germany\n") << from_environment.err;
  RunResult from_option =
      run_program(IPLOOKUP_BIN, {"--root", by_option.path(), "5.3.0.1"}, "", set_root);
  EXPECT_EQ(from_option.out, "5.3.0.1 1 ru Russian Federation\n") << from_option.err;
  RunResult missing = run_program(IPLOOKUP_BIN, {"-r", by_option / "missing", "5.3.0.1"}, "");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "iplookup: cannot chdir to " + by_option / "missing" + ": No such file or directory\n");
}

TEST(IplookupCommandLine, DashReadsStandardInputInItsPlace) {
  TempRoot root;
  lay_out_tables(root);
  RunResult run = iplookup(root, {"5.3.0.1", "-", "10.0.0.1"}, " 1.1.1.1\n\n5.4.0.0\r\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "5.3.0.1 1 ru Russian Federation\n1.1.1.1 0 -- Unknown\n5.4.0.0 0 -- Unknown\n"
            "10.0.0.1 7 nl Netherlands\n");
}

// Titles of every kind a names file may hold; each line must still be
// valid JSON and give back the title, bytes outside UTF-8 as U+0000-U+00FF.
TEST(IplookupJson, EveryTitleBecomesValidJsonAndEveryBadAddressAFailure) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  struct Title {
    const char *what;
    std::string bytes;
  };
  const std::vector<Title> titles = {
      {"quotes and backslashes", "Say \"hi\" \\ \\\"x\\"},
      {"control bytes",
       "a\x01\x08\x0c\r\x1b[31m\x1f\x7f"
       "b\tc"},
      {"Windows-1251 Cyrillic", "\xd0\xee\xf1\xf1\xe8\xff \xc0\xc1"},
      {"UTF-8 of 2, 3 and 4 bytes", "\xd0\xa0\xd0\xbe\xd1\x81 \xe2\x82\xac \xf0\x9f\x8c\x8d"},
      {"cut-off and stray sequences", "\xe2\x82 \x80 \xc3"},
      {"overlong forms", "\xc0\xaf \xe0\x80\xaf \xf0\x80\x80\xaf"},
      {"surrogates, above U+10FFFF, never-used bytes",
       "\xed\xa0\x80 \xed\xbf\xbf \xf4\x90\x80\x80 \xf5\x80 \xfe\xff"},
      {"line and paragraph separators", "\xe2\x80\xa8 \xe2\x80\xa9 \xc2\x85"},
  };
  std::string names = "0 -- Unknown\n";
  std::string table;
  std::string expected;
  std::vector<std::string> args{"--json"};
  for (size_t i = 0; i < titles.size(); ++i) {
    const int id = static_cast<int>(i) + 1;
    const std::string start = "10.0." + std::to_string(id) + ".0";
    names +=
        std::to_string(id) + " c" + titles[i].bytes.substr(0, 2) + " " + titles[i].bytes + "\n";
    table += start + " " + std::to_string(id) + "\n";
    args.push_back(start);
    expected += start + "\t" + std::to_string(id) + "\t" +
                iplookup_oracle::hex("c" + titles[i].bytes.substr(0, 2)) + "\t" +
                iplookup_oracle::hex(titles[i].bytes) + "\n";
  }
  names += "200 xx\n";  // listed without a title: null
  table += "10.200.0.0 200\n10.201.0.0 201\n";
  args.insert(args.end(), {"not-an-address", "10.200.0.1", "10.201.0.1", "1.1.1.1"});
  expected += "10.200.0.1\t200\t" + iplookup_oracle::hex("xx") +
              "\t-\n10.201.0.1\t201\t-\t-\n1.1.1.1\t0\t" + iplookup_oracle::hex("--") + "\t" +
              iplookup_oracle::hex("Unknown") + "\n";
  write_file(root / "conf/countries", names);
  write_file(root / "conf/countries.ips", "0.0.0.0 0\n" + table);

  RunResult run = iplookup(root, args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "iplookup: not an address: not-an-address\n");
  write_file(root / "expected", expected);
  write_file(root / "output", run.out);
  RunResult judged = iplookup_oracle::check({"json", root / "expected", root / "output"});
  EXPECT_EQ(judged.status, 0) << judged.out << judged.err;
}

TEST(IplookupJson, MissingTableAnswersZeroWithNullsAndFails) {
  TempRoot root;
  RunResult run = iplookup(root, {"--json", "8.8.8.8"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "{\"address\": \"8.8.8.8\", \"id\": 0, \"code\": null, \"title\": null}\n");
  EXPECT_EQ(run.err, with_root("iplookup: no table loaded from ROOT/conf/countries.ips (see "
                               "ROOT/logs/current/)\n",
                               root));
}

}  // namespace
