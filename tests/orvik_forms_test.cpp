// The input forms beside the six-field list, run as the real program
// against scratch roots (-r): GeoLite2 Country CSV, IP2Location LITE DB1,
// the registries' statistics, the range-code form's numbers, tabs and
// header, --sort, the lines each form passes over or logs as malformed,
// and the titles --update-names gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "orvik_ipv6_lines.h"
#include "test_support.h"

namespace {

using orvik_lines::kOld4;
using orvik_lines::kOld6;
using orvik_lines::words;
using testing_support::day_log;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::write_file;

constexpr const char *kBlocksHeader =
    "network,geoname_id,registered_country_geoname_id,represented_country_geoname_id,"
    "is_anonymous_proxy,is_satellite_provider,is_anycast\n";
constexpr const char *kLocations =
    "geoname_id,locale_code,continent_code,continent_name,country_iso_code,country_name,"
    "is_in_european_union\n"
    "2077456,en,OC,Oceania,AU,Australia,0\n"
    "1861060,en,AS,Asia,JP,Japan,0\n"
    "1814991,en,AS,Asia,CN,China,0\n"
    "6255147,en,AS,Asia,,,0\n"  // a continent: no country
    "2635167,en,EU,Europe,GB,\"United Kingdom of Great Britain and Northern Ireland, the\",1\n";

class OrvikForms : public orvik_lines::TwoTablesRoot {
 protected:
  // orvik --format geolite2 with kLocations and the blocks as one file.
  RunResult geolite2(const std::string &blocks, std::vector<std::string> more = {}) {
    write_file(root / "locations.csv", kLocations);
    write_file(root / "blocks.csv", blocks);
    std::vector<std::string> args{"--format", "geolite2", "--locations", root / "locations.csv"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(root / "blocks.csv");
    return orvik(args, "");
  }

  // Runs orvik with the ISO 3166 list at iso (a path under the root).
  RunResult with_iso(const std::string &iso, const std::vector<std::string> &args,
                     const std::string &input) {
    const std::string path = root / iso;
    return orvik(args, input, [path] { setenv("VELMOR_ISO_3166", path.c_str(), 1); });
  }
};

// A block's country is its location's, else its registered country's; a
// block with neither (or a continent only) is a gap. IPv4-mapped blocks go
// to the IPv4 table.
TEST_F(OrvikForms, GeoLite2Blocks) {
  const std::string blocks = std::string(kBlocksHeader) +
                             "1.0.0.0/24,2077456,2077456,,0,0,\n"
                             "1.0.1.0/24,,1814991,,0,0,\n"         // registered only
                             "1.0.2.0/23,6255147,1861060,,0,0,\n"  // a continent, registered
                             "1.0.4.0/22,,,,1,0,\n"                // a proxy: no country
                             "1.0.8.0/21,2077456,2077456,,0,0,0\n"
                             "2001:200::/32,1861060,1861060,,0,0,\n"
                             "2001:250::/31,,,,0,1,\n"  // satellite: a gap
                             "2001:252::/32,1814991,1814991,,0,0,\n";
  const RunResult result = geolite2(blocks, {"-v"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.2.0 17\n1.0.8.0 13\n1.0.16.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 17\n2001:252:: 45\n2001:253:: 0\n");
  EXPECT_EQ(result.err,
            "orvik: conf/countries.ips: 6 lines read, 4 ranges accepted, 6 entries, 0 skipped as "
            "unsorted, 0 skipped as malformed, 2 passed over, 0 unknown codes\n"
            "orvik: conf/countries6.ips: 3 lines read, 2 ranges accepted, 4 entries, 0 skipped as "
            "unsorted, 0 skipped as malformed, 1 passed over, 0 unknown codes\n");
  EXPECT_EQ(messages(), std::vector<std::string>{});

  // The IPv6 file of older releases held the IPv4 blocks as ::ffff:a.b.c.d.
  const RunResult mapped = geolite2(std::string(kBlocksHeader) +
                                    "::ffff:1.0.0.0/120,2077456,2077456,,0,0,\n"
                                    "2001:200::/32,1861060,1861060,,0,0,\n");
  ASSERT_EQ(mapped.status, 0) << mapped.err;
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 17\n2001:201:: 0\n");
}

// IP2Location's IPv6 file: the IPv4 ranges as mapped numbers first, "-"
// for addresses without a country, the whole space in order.
TEST_F(OrvikForms, Ip2location) {
  const std::string input =
      "\"0\",\"281470681743359\",\"-\",\"-\"\n"
      "\"281470681743360\",\"281470698520575\",\"-\",\"-\"\n"
      "\"281470698520576\",\"281470698520831\",\"AU\",\"Australia\"\n"  // 1.0.0.0/24
      "\"281470698520832\",\"281470698521599\",\"CN\",\"China\"\n"      // 1.0.1.0-1.0.3.255
      "\"281470698521600\",\"281474976710655\",\"-\",\"-\"\n"
      "\"281474976710656\",\"42540528726795050063891204319802818559\",\"-\",\"-\"\n"
      "\"42540528726795050063891204319802818560\",\"42540528806023212578155541913346768895\","
      "\"JP\",\"Japan\"\n"  // 2001:200::/32
      "\"42540528806023212578155541913346768896\",\"340282366920938463463374607431768211455\","
      "\"-\",\"-\"\n";
  const RunResult result = orvik({"--format", "ip2location", "-v"}, input);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.4.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 17\n2001:201:: 0\n");
  // The lines below ::ffff:0:0 are IPv6 ones, passed over.
  EXPECT_NE(result.err.find("conf/countries.ips: 4 lines read, 2 ranges accepted, 4 entries, 0 "
                            "skipped as unsorted, 0 skipped as malformed, 2 passed over"),
            std::string::npos)
      << result.err;
  // The IPv4 file: plain 32-bit numbers.
  SetUp();
  ASSERT_EQ(
      orvik({"--format", "ip2location"},
            "\"0\",\"16777215\",\"-\",\"-\"\n\"16777216\",\"16777471\",\"AU\",\"Australia\"\n")
          .status,
      0);
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n");
  EXPECT_EQ(table6(), kOld6);
}

// Registry statistics: records among the version line, summaries,
// comments and asn records; ipv4 values count addresses, ipv6 ones are
// prefix lengths; only allocated and assigned records have a country. The
// files of two registries together are unsorted: this form sorts.
TEST_F(OrvikForms, RegistryStatistics) {
  const std::string apnic =
      "2.3|apnic|20261209|5|19830613|20261208|+1000\n"
      "# a comment\n"
      "apnic|*|ipv4|*|3|summary\n"
      "apnic|AU|asn|4608|1|20010101|allocated|A1\n"
      "apnic|AU|ipv4|1.0.0.0|256|20110811|assigned|A91872ED\n"
      "apnic|CN|ipv4|1.0.1.0|768|20110414|allocated|A92E1062\n"  // not a power of two
      "apnic||ipv4|1.0.4.0|1024||available|\n"
      "apnic|JP|ipv6|2001:200::|35|19990813|allocated|A91C2E46\n";
  const std::string ripe =
      "2.3|ripencc|20261209|3|19830705|20261208|+0100\n"
      "ripencc|ZZ|ipv4|0.0.0.1|255||reserved|ripencc\n"
      "ripencc|CN|ipv4|2.0.0.0|512|20100712|allocated|b1\n"
      "ripencc|ZZ|ipv6|2001:300::|32||reserved|ripencc\n";
  write_file(root / "delegated-ripencc", ripe);
  write_file(root / "delegated-apnic", apnic);
  const RunResult result = orvik(
      {"--format", "registry", "-v", root / "delegated-ripencc", root / "delegated-apnic"}, "");
  ASSERT_EQ(result.status, 0) << result.err;
  // The gap after 1.0.3.255 keeps CN's id up to its next range, 2.0.0.0/23.
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n2.0.2.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 17\n2001:200:2000:: 0\n");
  EXPECT_EQ(result.err,
            "orvik: conf/countries.ips: 10 lines read, 3 ranges accepted, 4 entries, 0 skipped "
            "as unsorted, 0 skipped as malformed, 0 skipped as overlapping, 7 passed over, 0 "
            "unknown codes\n"
            "orvik: conf/countries6.ips: 2 lines read, 1 ranges accepted, 3 entries, 0 skipped "
            "as unsorted, 0 skipped as malformed, 0 skipped as overlapping, 1 passed over, 0 "
            "unknown codes\n");
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

// Range-code lines with numeric addresses (family by value, IPv4-mapped
// numbers in the IPv4 table), tabs, and a header as an input's first line
// passed over without a message; a header-like line elsewhere is malformed.
TEST_F(OrvikForms, RangeCodeNumbersTabsAndHeader) {
  struct Case {
    std::string input, table4, table6;
  } const cases[] = {
      {"ip_range_start,ip_range_end,country_code\n16777216,16777471,AU\n"
       "42540528726795050063891204319802818560,42540528726795050063891204319802818815,JP\n",
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n", ":: 0\n2001:200:: 17\n2001:200::100 0\n"},
      {"1.0.0.0\t1.0.0.255\tAU\n\"2001:200::\"\t2001:200::ff\tjp\tJapan, more\n"
       "281470698520832\t281470698521599\tCN\n",
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.4.0 0\n", ":: 0\n2001:200:: 17\n2001:200::100 0\n"},
      {"first\tlast\tcode\n1.0.0.0\t1.0.0.255\tAU\n", "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n", kOld6},
  };
  for (const Case &c : cases) {
    SetUp();
    const RunResult result = orvik({"--format", "range-code"}, c.input);
    EXPECT_EQ(result.status, 0) << c.input << result.err;
    EXPECT_EQ(table4(), c.table4) << c.input;
    EXPECT_EQ(table6(), c.table6) << c.input;
    EXPECT_EQ(messages(), std::vector<std::string>{}) << c.input;
  }
}

// Malformed lines of every form are logged and counted, and nothing is
// written for them.
TEST_F(OrvikForms, MalformedLinesAreLoggedAndCounted) {
  struct Case {
    std::vector<std::string> args;
    std::string good;  // a line giving 1.0.0.0/24 AU
    std::vector<std::string> malformed;
  } const cases[] = {
      {{"--format", "range-code"},
       "1.0.0.0,1.0.0.255,AU",
       {"16777216,1.0.0.255,AU", "16777216,16777471", "16777216,16777471,",
        "340282366920938463463374607431768211456,1,AU", "-1,16777471,AU", "1.0.0.0\t1.0.0.255",
        "ip_start,ip_end,cc"}},
      {{"--format", "ip2location"},
       "\"16777216\",\"16777471\",\"AU\",\"Australia\"",
       {"\"16777216\",\"x\",\"AU\",\"Australia\"", "\"16777216\",\"16777471\"",
        "\"16777216\",\"16777471\",\"\",\"Nowhere\"", "\" 16777216\",\"16777471\",\"AU\",\"A\""}},
      {{"--format", "registry"},
       "apnic|AU|ipv4|1.0.0.0|256|20110811|assigned|A91872ED",
       {"apnic|AU|ipv4|1.0.0.0|256|20110811", "apnic|AU|ipv5|1.0.0.0|256|20110811|assigned",
        "apnic|AU|ipv4|1.0.0|256|20110811|assigned", "apnic|AU|ipv4|1.0.0.0|0|20110811|assigned",
        "apnic|AU|ipv4|255.255.255.0|257|20110811|assigned",
        "apnic|JP|ipv6|2001:200::|129|19990813|allocated",
        "apnic|JP|ipv6|2001:200::1|32|19990813|allocated"}},
  };
  for (const Case &c : cases) {
    SetUp();
    std::string input = c.good + "\n";
    for (const std::string &line : c.malformed) input += line + "\n";
    std::vector<std::string> args = c.args;
    args.push_back("-n");
    const RunResult result = orvik(args, input);
    EXPECT_EQ(result.status, 0) << words(c.args) << result.err;
    // Counted in the tables of their families.
    size_t counted = 0;
    const std::regex count(R"(([0-9]+) skipped as malformed)");
    for (std::sregex_iterator it(result.out.begin(), result.out.end(), count), end; it != end; ++it)
      counted += std::stoul((*it)[1]);
    EXPECT_EQ(counted, c.malformed.size()) << words(c.args) << result.out;
    std::vector<std::string> expected;
    for (const std::string &line : c.malformed) expected.push_back("skip malformed: " + line);
    EXPECT_EQ(messages(), expected) << words(c.args);
  }
  // GeoLite2: a bad network, set host bits, an id the locations lack.
  const std::vector<std::string> blocks{
      "1.0.1.0,2077456,2077456,,0,0,", "1.0.1.1/24,2077456,2077456,,0,0,",
      "1.0.1.0/33,2077456,2077456,,0,0,", "1.0.1.0/24,999,2077456,,0,0,", "1.0.1.0/24"};
  std::string input = std::string(kBlocksHeader) + "1.0.0.0/24,2077456,2077456,,0,0,\n";
  for (const std::string &line : blocks) input += line + "\n";
  SetUp();
  ASSERT_EQ(geolite2(input).status, 0);
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n");
  std::vector<std::string> expected;
  for (const std::string &line : blocks) expected.push_back("skip malformed: " + line);
  EXPECT_EQ(messages(), expected);
}

// --sort gathers the ranges of any form: unsorted input gives the sorted
// table, ranges of one code that overlap are merged, one that overlaps a
// range of another code is logged and left out, the first kept.
TEST_F(OrvikForms, SortSettlesOrderAndOverlaps) {
  const std::string input =
      "1.0.4.0,1.0.7.255,CN\n"
      "1.0.0.0,1.0.0.255,AU\n"
      "1.0.0.128,1.0.1.255,AU\n"  // the same code: merged
      "1.0.1.0,1.0.2.255,JP\n"    // overlaps AU: left out
      "1.0.4.0,1.0.4.255,JP\n"    // the same start as CN, later: left out
      "2001:200::,2001:200::ff,JP\n"
      "0.0.0.0,0.0.0.255,AU\n"  // a start of 0: unsorted, as always
      "1.0.9.0,1.0.8.0,AU\n";   // backwards: unsorted
  const RunResult result = orvik({"--format", "range-code", "--sort", "-v"}, input);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.4.0 45\n1.0.8.0 0\n");
  EXPECT_EQ(table6(), ":: 0\n2001:200:: 17\n2001:200::100 0\n");
  EXPECT_EQ(messages(), (std::vector<std::string>{"skip unsorted: 0.0.0.0,0.0.0.255,AU",
                                                  "skip unsorted: 1.0.9.0,1.0.8.0,AU",
                                                  "skip overlapping: 1.0.1.0,1.0.2.255,JP",
                                                  "skip overlapping: 1.0.4.0,1.0.4.255,JP"}));
  EXPECT_NE(result.err.find("7 lines read, 3 ranges accepted, 4 entries, 2 skipped as unsorted, "
                            "0 skipped as malformed, 2 skipped as overlapping"),
            std::string::npos)
      << result.err;
  // The six-field form sorts the same way; without --sort the old rule.
  SetUp();
  const std::string six =
      testing_support::cn("1.0.4.0", "1.0.7.255") + testing_support::au("1.0.0.0", "1.0.0.255");
  ASSERT_EQ(orvik({"--sort"}, six).status, 0);
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.4.0 45\n1.0.8.0 0\n");
  SetUp();
  ASSERT_EQ(orvik({}, six).status, 0);
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.4.0 45\n1.0.8.0 0\n");
}

// New codes take the title the form gives them: the locations file's name,
// IP2Location's fourth field; forms without names take the ISO 3166 list's
// (a code it lacks, or a list that cannot be read, keeps the code; the
// failure is logged once).
TEST_F(OrvikForms, UpdateNamesTitles) {
  write_file(root / "iso.json",
             R"({"3166-1": [{"alpha_2": "DE", "alpha_3": "DEU", "name": "Germany"},
                            {"alpha_2": "FR", "name": "France", "common_name": "La France"}]})");
  write_file(root / "broken.json", R"({"3166-1": [{"alpha_2": "DE", )");
  struct Case {
    std::vector<std::string> args;
    std::string input, iso, names;
  } const cases[] = {
      {{"--format", "registry"},
       "ripencc|DE|ipv4|2.0.0.0|256|20100712|allocated|x\n"
       "ripencc|FR|ipv4|2.0.1.0|256|20100712|allocated|x\n"
       "ripencc|NL|ipv4|2.0.2.0|256|20100712|allocated|x\n",
       "iso.json",
       "1 de Germany\n2 fr France\n3 nl nl\n"},
      {{"--format", "range-code"},
       "2.0.0.0,2.0.0.255,DE\n2.0.1.0,2.0.1.255,FR\n",
       "missing.json",
       "1 de de\n2 fr fr\n"},
      {{"--format", "range-code"}, "2.0.0.0,2.0.0.255,DE\n", "broken.json", "1 de de\n"},
      {{"--format", "ip2location"},
       "\"33554432\",\"33554687\",\"DE\",\"Deutschland\"\n",
       "iso.json",
       "1 de Deutschland\n"},
  };
  for (const Case &c : cases) {
    SetUp();
    remove((root / "logs/current/error.log").c_str());
    write_file(root / "conf/countries", "0 -- Unknown\n");
    std::vector<std::string> args = c.args;
    args.push_back("--update-names");
    const RunResult result = with_iso(c.iso, args, c.input);
    EXPECT_EQ(result.status, 0) << words(c.args) << result.err;
    EXPECT_EQ(names(), "0 -- Unknown\n" + c.names) << words(c.args) << c.iso;
    const auto errors = split_lines(day_log(root.path(), "error.log"));
    EXPECT_EQ(errors.size(), c.iso == "iso.json" ? 0u : 1u) << c.iso;
  }
  // GeoLite2: the locations file's name, commas and all.
  SetUp();
  write_file(root / "conf/countries", "0 -- Unknown\n");
  ASSERT_EQ(geolite2(std::string(kBlocksHeader) + "2.0.0.0/24,2635167,2635167,,0,0,\n",
                     {"--update-names"})
                .status,
            0);
  EXPECT_EQ(names(),
            "0 -- Unknown\n1 gb United Kingdom of Great Britain and Northern Ireland, the\n");
}

TEST_F(OrvikForms, LocationsOptionErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // regex
  } const cases[] = {
      {{"--format", "geolite2"}, 2, R"(orvik: --format geolite2 needs --locations FILE\n.*\n)"},
      {{"--locations", "x.csv"}, 2, R"(orvik: option '--locations' needs --format geolite2\n.*\n)"},
      {{"--format", "geolite2", "--locations", "/nonexistent/locations.csv"},
       1,
       R"(orvik: cannot open /nonexistent/locations.csv: No such file or directory\n)"},
  };
  for (const Case &c : cases) {
    const RunResult result = orvik(c.args, "1.0.0.0/24,2077456,2077456,,0,0,\n");
    EXPECT_EQ(result.status, c.status) << words(c.args);
    EXPECT_TRUE(std::regex_match(result.err, std::regex(c.err))) << result.err;
    EXPECT_EQ(table4(), kOld4);
    EXPECT_EQ(table6(), kOld6);
    EXPECT_EQ(conf(), kConf);
  }
  // A relative name is taken from the directory orvik started in.
  write_file(root / "locations.csv", kLocations);
  const RunResult relative = testing_support::run_program(
      "/bin/sh",
      {"-c", "cd " + root.path() + " && printf '1.0.0.0/24,2077456,,,0,0,\\n' | " + ORVIK_BIN +
                 " -r " + root.path() + " --format geolite2 --locations locations.csv"},
      "");
  ASSERT_EQ(relative.status, 0) << relative.err;
  EXPECT_EQ(table4(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n");
}

}  // namespace
