// orvik's IPv6 tables, run as the real program against scratch roots (-r):
// six-field IPv6 lines (a ":" in field 1), the range-code form of both families,
// which tables a run replaces, and what a failure leaves.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "hardening_procs.h"
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
using testing_support::day_log;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::write_file;

constexpr const char *kTop = "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";
constexpr const char *k2To128 = "340282366920938463463374607431768211456";
constexpr const char *k2To128Less1 = "340282366920938463463374607431768211455";

// Two ranges of each family, and their tables.
const std::string kInput6 = slash32("2001:200", "JP", "Japan") + slash32("2001:250", "CN", "China");
const std::string kTable6 = ":: 0\n2001:200:: 17\n2001:250:: 45\n2001:251:: 0\n";
// The same ranges in the range-code form.
const std::string kRangeCode4 = "1.0.0.0,1.0.0.255,AU\n\"1.0.1.0\",\"1.0.3.255\",\"CN\"\n";
const std::string kRangeCode6 =
    "2001:200::,2001:200:ffff:ffff:ffff:ffff:ffff:ffff,JP\n"
    "\"2001:250::\",\"2001:250:ffff:ffff:ffff:ffff:ffff:ffff\",\"CN\"\n";

using OrvikIpv6 = orvik_lines::TwoTablesRoot;

TEST_F(OrvikIpv6, Ipv6LinesMakeTheIpv6Table) {
  struct Case {
    std::string input, table;
  } const cases[] = {
      // A gap keeps the id before it; the last range is closed.
      {kInput6, kTable6},
      // Quoted fields without the space after the comma.
      {line6("2001:200::", "2001:200:ffff:ffff:ffff:ffff:ffff:ffff", "JP", "Japan", ","),
       ":: 0\n2001:200:: 17\n2001:201:: 0\n"},
      // Adjacent ranges of one id give one entry; an unknown code gets id 0.
      {slash32("2001:200", "JP") + slash32("2001:201", "JP") + slash32("2001:202", "ZZ"),
       ":: 0\n2001:200:: 17\n2001:202:: 0\n2001:203:: 0\n"},
      // A last range reaching the top needs no closing entry.
      {line6("ffff::", kTop, "JP"), ":: 0\nffff:: 17\n"},
      {six_fields(kTop, kTop, k2To128Less1, k2To128Less1, "JP", "Top"),
       std::string(":: 0\n") + kTop + " 17\n"},
      // A range starting at "::" is skipped as unsorted, as one at 0.0.0.0 is.
      {line6("::", "::ff", "JP") + slash32("2001:250", "CN"),
       ":: 0\n2001:250:: 45\n2001:251:: 0\n"},
      // Lines below the previous range, or running backwards, are skipped.
      {slash32("2001:250", "CN") + slash32("2001:200", "JP") +
           line6("2001:260::", "2001:25f::", "JP") + slash32("2001:270", "AU"),
       ":: 0\n2001:250:: 45\n2001:270:: 13\n2001:271:: 0\n"},
      // The numbers decide, not the texts (they disagree in the published
      // list's IPv4-mapped region).
      {six_fields("::1.0.0.0", "::1.0.0.255", orvik_lines::decimal(0xFFFF01000000u),
                  orvik_lines::decimal(0xFFFF010000FFu), "JP", "Japan"),
       ":: 0\n::ffff:100:0 17\n::ffff:100:100 0\n"},
      // Numbers beyond 128 bits, without digits or negative, and a missing
      // code: skipped as malformed, nothing written for them.
      {six_fields("2001:100::", "2001:100::1", k2To128, k2To128, "JP", "Over") +
           six_fields("2001:100::", "2001:100::1", "42540528726795050063891204319802818560", "",
                      "JP", "No digits") +
           six_fields("2001:100::", "2001:100::1", "x", "y", "JP", "Letters") +
           six_fields("2001:100::", "2001:100::1", "-1", "-1", "JP", "Minus") +
           six_fields("2001:100::", "2001:100::1", "1", "2", "", "No code") +
           "\"2001:100::\", \"2001:100::1\", \"1\", \"2\"\n" + slash32("2001:200", "JP"),
       ":: 0\n2001:200:: 17\n2001:201:: 0\n"},
      // Codes in any case, CR LF line ends.
      {"\"2001:200::\", \"x\", \"42540528726795050063891204319802818560\", "
       "\"42540528806023212578155541913346768895\", \"jP\", \"Japan\"\r\n",
       ":: 0\n2001:200:: 17\n2001:201:: 0\n"},
  };
  for (const Case &c : cases) {
    SetUp();
    const RunResult result = orvik({}, c.input);
    EXPECT_EQ(result.status, 0) << c.input << result.err;
    EXPECT_EQ(table6(), c.table) << c.input;
    EXPECT_EQ(table4(), kOld4) << c.input;
    EXPECT_EQ(conf(), kConf) << c.input;
  }
}

// IPv6 lines are read whole: the messages show the whole line, and a code
// or name of any length (a quoted comma included) reaches them uncut.
TEST_F(OrvikIpv6, MessagesShowWholeFields) {
  const std::string long_code(35, 'Q');
  const std::string unknown = line6("2001:200::", "2001:200::ffff", long_code,
                                    "A name of more than thirty characters, with a comma");
  const std::string over = six_fields("2001:300::", "2001:300::1", "1", k2To128, "JP", "Over");
  const std::string at_zero = line6("::", "::1", "JP", "Zero");
  const std::string known = line6("2001:400::", "2001:400::1", "JP", "Known");
  ASSERT_EQ(orvik({}, unknown + over + at_zero + known).status, 0);
  const std::vector<std::string> expected = {
      "unknown country: " + std::string(35, 'q') +
          " (A name of more than thirty characters, with a comma)",
      "skip malformed: " + over.substr(0, over.size() - 1),
      "skip unsorted: " + at_zero.substr(0, at_zero.size() - 1),
  };
  EXPECT_EQ(messages(), expected);
}

// A run replaces the tables of the families that brought ranges; with none
// at all, the IPv4 table, as an empty input always did.
TEST_F(OrvikIpv6, OnlyTheTablesOfTheInputsFamiliesAreReplaced) {
  const std::string header = "\"ip_start\",\"ip_end\",\"start\",\"end\",\"cc\",\"name\"\n";
  const std::string skipped6 =
      six_fields("2001:100::", "2001:100::1", k2To128, k2To128, "JP", "Over") +
      line6("::", "::1", "JP");
  const std::string range_code[] = {"--format", "range-code"};
  struct Case {
    std::vector<std::string> args;
    std::string input, table4, table6;
  } const cases[] = {
      {{}, kInput6, kOld4, kTable6},
      {{}, kInput4, kTable4, kOld6},
      {{}, kInput4 + kInput6, kTable4, kTable6},
      // The families interleaved: each table takes its own lines in order.
      {{},
       kInput6.substr(0, kInput6.find('\n') + 1) + kInput4 + kInput6.substr(kInput6.find('\n') + 1),
       kTable4,
       kTable6},
      {{}, "", "0.0.0.0 0\n", kOld6},
      // A header is an IPv4 line without a range: the IPv4 table stays.
      {{}, header + kInput6, kOld4, kTable6},
      {{}, skipped6, "0.0.0.0 0\n", kOld6},
      {{"--format", "six-field"}, kInput4 + kInput6, kTable4, kTable6},
      {{range_code[0], range_code[1]}, kRangeCode6, kOld4, kTable6},
      {{"--format=range-code"}, kRangeCode4, kTable4, kOld6},
      {{range_code[0], range_code[1]}, kRangeCode6 + kRangeCode4, kTable4, kTable6},
      {{range_code[0], range_code[1]}, kRangeCode4 + kRangeCode6, kTable4, kTable6},
      {{range_code[0], range_code[1]}, "", "0.0.0.0 0\n", kOld6},
  };
  for (const Case &c : cases) {
    SetUp();
    const RunResult result = orvik(c.args, c.input);
    const std::string what = words(c.args) + c.input;
    EXPECT_EQ(result.status, 0) << what << result.err;
    EXPECT_EQ(result.out + result.err, "") << what;
    EXPECT_EQ(table4(), c.table4) << what;
    EXPECT_EQ(table6(), c.table6) << what;
    EXPECT_EQ(conf(), kConf) << what;
  }
  // A table that is not replaced is not made either.
  remove((root / "conf/countries6.ips").c_str());
  ASSERT_EQ(orvik({}, kInput4).status, 0);
  EXPECT_EQ(conf(), (std::vector<std::string>{"countries", "countries.ips"}));
}

// The range-code form: "first,last,code", quoted or not, both families in
// one list; addresses read strictly.
TEST_F(OrvikIpv6, RangeCodeLines) {
  struct Case {
    std::string input, table4, table6;
  } const cases[] = {
      {"\"1.0.0.0\",\"1.0.0.255\",\"AU\"\n1.0.1.0, 1.0.1.255, cn\n"
       "\"2001:200::\",2001:200::ffff,jp\n",
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.2.0 0\n", ":: 0\n2001:200:: 17\n2001:200::1:0 0\n"},
      // Fields after the code are not read; a dotted tail is an IPv6 text.
      {"::ffff:1.2.3.4,::ffff:1.2.3.255,AU\n2001:300::,2001:300::ff,CN,China,more\n"
       "ffff::,ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,JP\n",
       kOld4, ":: 0\n::ffff:102:304 13\n2001:300:: 45\nffff:: 17\n"},
      // 0.0.0.0 and "::" starts, and ranges running backwards, are unsorted.
      {"0.0.0.0,0.0.0.255,AU\n::,::ff,JP\n1.0.9.0,1.0.8.255,AU\n2001:2::,2001:1::,JP\n"
       "1.0.9.0,1.0.9.255,AU\n",
       "0.0.0.0 0\n1.0.9.0 13\n1.0.10.0 0\n", kOld6},
  };
  for (const Case &c : cases) {
    SetUp();
    const RunResult result = orvik({"--format", "range-code"}, c.input);
    EXPECT_EQ(result.status, 0) << c.input << result.err;
    EXPECT_EQ(table4(), c.table4) << c.input;
    EXPECT_EQ(table6(), c.table6) << c.input;
  }
  // Each of these is skipped as malformed, and nothing is written for it.
  const std::string malformed[] = {
      "01.0.2.0,1.0.2.255,AU",            // leading zero
      "1.0.2,1.0.2.255,AU",               // three numbers
      "1.0.2.0,1.0.2.256,AU",             // above 255
      "1.0.2.0/24,1.0.2.255,AU",          // a prefix length
      " 1.0.2.0 ,1.0.2.255,AU",           // a blank after the address
      "0x1.0.2.0,1.0.2.255,AU",           // not decimal
      "1.0.2.0,1.0.2.255",                // no code
      "1.0.2.0,1.0.2.255,",               // empty code
      "ip_start,ip_end,country",          // a header
      "2001:db8::/32,2001:db8::ff,JP",    // a prefix length
      "2001:db8::g,2001:db8::ff,JP",      // not hex
      "[2001:db8::],2001:db8::ff,JP",     // brackets
      "fe80::1%eth0,fe80::2,JP",          // a zone
      "1:2:3:4:5:6:7:8:9,1::,JP",         // nine groups
      "2001:db8::,1.0.2.255,JP",          // two families
      "\"2001:db8::\",\"2001:db8::ff\"",  // no code
  };
  std::string input = "1.0.1.0,1.0.1.255,AU\n2001:200::,2001:200::ff,JP\n";
  for (const std::string &line : malformed) input += line + "\n";
  SetUp();
  ASSERT_EQ(orvik({"--format", "range-code"}, input).status, 0);
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.1.0 13\n1.0.2.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 17\n2001:200::100 0\n");
  std::vector<std::string> expected;
  for (const std::string &line : malformed) expected.push_back("skip malformed: " + line);
  EXPECT_EQ(messages(), expected);
}

// Both temporary files are complete and on disk before either is renamed:
// when the second cannot be completed, neither table changes.
TEST_F(OrvikIpv6, IncompleteIpv6TableKeepsBothOldTables) {
  std::string input6;
  for (int i = 0; i < 600; ++i) {
    const std::string prefix = "2001:" + std::to_string(1000 + i);
    input6 += slash32(prefix, i % 2 ? "JP" : "CN");
  }
  const RunResult result = orvik({}, kInput4 + input6, [] {
    const rlimit limit{4096, 4096};  // the IPv4 table fits, the IPv6 table does not
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(std::regex_match(
      result.err, std::regex(R"(orvik: cannot close conf/countries6\.ips\.\d+: File too large\n)")))
      << result.err;
  EXPECT_EQ(table4(), kOld4);
  EXPECT_EQ(table6(), kOld6);
  EXPECT_EQ(conf(), kConf);
}

// The one failure that leaves the tables of different runs: the second
// rename, after the first table took its name.
TEST_F(OrvikIpv6, FailedSecondRenameLeavesTheIpv4TableNew) {
  remove((root / "conf/countries6.ips").c_str());
  mkdir((root / "conf/countries6.ips").c_str(), 0755);
  write_file(root / "conf/countries6.ips/keep", "x");
  const RunResult result = orvik({}, kInput4 + kInput6);
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(std::regex_match(
      result.err, std::regex(R"(orvik: cannot rename conf/countries6\.ips\.\d+ -> )"
                             R"(conf/countries6\.ips: (Is a directory|Directory not empty)\n)")))
      << result.err;
  EXPECT_EQ(table4(), kTable4);
  EXPECT_EQ(read_file(root / "conf/countries6.ips/keep"), "x");
  EXPECT_EQ(conf(), kConf);
}

TEST_F(OrvikIpv6, FormatOptionErrorsChangeNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string err;  // regex
  } const cases[] = {
      {{"--format", "csv"},
       R"(orvik: option '--format' takes six-field, range-code, geolite2, ip2location or )"
       R"(registry, not 'csv'\nUsage: .*\n)"},
      {{"--format="}, R"(orvik: option '--format' takes .*, not ''\n.*\n)"},
      {{"--format"}, R"(orvik: option '--format' needs a value\nUsage: .*\n)"},
  };
  for (const Case &c : cases) {
    const RunResult result = orvik(c.args, kRangeCode6);
    EXPECT_EQ(result.status, 2) << words(c.args);
    EXPECT_TRUE(std::regex_match(result.err, std::regex(c.err))) << result.err;
    EXPECT_EQ(table6(), kOld6);
    EXPECT_EQ(conf(), kConf);
  }
  const std::string help = orvik({"--help"}, "").out;
  for (const char *option : {"--format FORM", "six-field", "range-code"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
