// iplookup --export and --summary over the IPv4 and the IPv6 table: which
// tables a run walks (-4, -6, the files present) and what it does when one
// cannot be used, by cases; the blocks and counts on hand-made and
// generated IPv6 tables (one of 500,000 entries) judged against a model
// built with Python's ipaddress module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iplookup_oracle.h"
#include "test_support.h"

using testing_support::run_in_root;
using testing_support::RunResult;
using testing_support::TempRoot;
using testing_support::with_root;
using testing_support::write_file;

namespace {

RunResult iplookup(const TempRoot &root, const std::vector<std::string> &args) {
  return run_in_root(IPLOOKUP_BIN, root, args);
}

const char kNames[] = "0 -- Unknown\n1 ru Russian Federation\n7 nl Netherlands\n";
const char kTable4[] = "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n";
const char kTable6[] = ":: 0\n2001:db8:: 1\n2001:db9:: 0\n";

// What conf/countries6.ips holds in a case.
enum class Table6 { absent, usable, empty, no_entry, descending };

void write_table6(const TempRoot &root, Table6 table6) {
  const char *text = nullptr;
  switch (table6) {
    case Table6::absent:
      return;
    case Table6::usable:
      text = kTable6;
      break;
    case Table6::empty:
      text = "";
      break;
    case Table6::no_entry:
      text = "2001:db8::/32 1\n";
      break;
    case Table6::descending:
      text = ":: 0\n2001:db8:: 1\n2001:db7:: 0\n";
      break;
  }
  write_file(root / "conf/countries6.ips", text);
}

TEST(IplookupIpv6TableModes, WalkTheTablesAskedForOrPresent) {
  const char kNo4[] =
      "iplookup: no table loaded from ROOT/conf/countries.ips (see ROOT/logs/current/)\n";
  const char kNo6[] =
      "iplookup: no table loaded from ROOT/conf/countries6.ips (see ROOT/logs/current/)\n";
  struct Case {
    const char *what;
    bool table4;
    Table6 table6;
    std::vector<std::string> args;
    const char *out;
    const char *err;
    int status;
  };
  const Case cases[] = {
      {"both tables: IPv4 blocks first",
       true,
       Table6::usable,
       {"--export", "ru"},
       "5.3.0.0/16\n2001:db8::/32\n",
       "",
       0},
      {"-4", true, Table6::usable, {"-4", "--export", "ru"}, "5.3.0.0/16\n", "", 0},
      {"-6", true, Table6::usable, {"--ipv6", "--export", "ru"}, "2001:db8::/32\n", "", 0},
      {"no IPv6 file: IPv4 as before",
       true,
       Table6::absent,
       {"--export", "ru"},
       "5.3.0.0/16\n",
       "",
       0},
      {"no IPv4 file: IPv6 alone",
       false,
       Table6::usable,
       {"--export", "ru"},
       "2001:db8::/32\n",
       "",
       0},
      {"neither file: the IPv4 table is missing",
       false,
       Table6::absent,
       {"--export", "ru"},
       "",
       kNo4,
       1},
      {"-6 without an IPv6 file", true, Table6::absent, {"-6", "--export", "ru"}, "", kNo6, 1},
      {"-4 without an IPv4 file", false, Table6::usable, {"-4", "--summary"}, "", kNo4, 1},
      {"an empty IPv6 file is no table", true, Table6::empty, {"--export", "ru"}, "", kNo6, 1},
      {"an IPv6 file without entries", true, Table6::no_entry, {"--summary"}, "", kNo6, 1},
      {"descending IPv6 starts",
       true,
       Table6::descending,
       {"--export", "ru"},
       "",
       "iplookup: ROOT/conf/countries6.ips: entry 3 starts at 2001:db7::, below the one before "
       "it\n",
       1},
      {"-4 passes over a broken IPv6 file",
       true,
       Table6::descending,
       {"-4", "--export", "ru"},
       "5.3.0.0/16\n",
       "",
       0},
      {"-v with both tables",
       true,
       Table6::usable,
       {"-v", "--export", "ru"},
       "5.3.0.0/16\n2001:db8::/32\n",
       "iplookup: loaded ROOT/conf/countries.ips: 3 entries\n"
       "iplookup: loaded ROOT/conf/countries6.ips: 3 entries\n"
       "iplookup: exported 1 blocks of id 1\n"
       "iplookup: exported 1 IPv6 blocks of id 1\n",
       0},
      {"-v says a missing IPv6 file was skipped",
       true,
       Table6::absent,
       {"-v", "--export", "ru"},
       "5.3.0.0/16\n",
       "iplookup: no IPv6 table ROOT/conf/countries6.ips: skipped\n"
       "iplookup: loaded ROOT/conf/countries.ips: 3 entries\n"
       "iplookup: exported 1 blocks of id 1\n",
       0},
      {"-v -6",
       true,
       Table6::usable,
       {"-v", "-6", "--export", "nl"},
       "",
       "iplookup: loaded ROOT/conf/countries6.ips: 3 entries\n"
       "iplookup: exported 0 IPv6 blocks of id 7\n",
       0},
      {"summary of both tables",
       true,
       Table6::usable,
       {"--summary"},
       "   id  code  ranges   addresses\n"
       "    0  --         2  4294901760\n"
       "    1  ru         1       65536\n"
       "total             3  4294967296\n"
       "\n"
       "   id  code  ranges                                addresses\n"
       "    0  --         3  340282366841710300949110269833929293824\n"
       "    1  ru         1            79228162514264337593543950336\n"
       "total             4  340282366920938463463374607427473244160\n",
       "",
       0},
      {"summary -6",
       true,
       Table6::usable,
       {"-6", "--summary"},
       "   id  code  ranges                                addresses\n"
       "    0  --         3  340282366841710300949110269833929293824\n"
       "    1  ru         1            79228162514264337593543950336\n"
       "total             4  340282366920938463463374607427473244160\n",
       "",
       0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempRoot root;
    write_file(root / "conf/countries", kNames);
    if (c.table4) write_file(root / "conf/countries.ips", kTable4);
    write_table6(root, c.table6);
    RunResult run = iplookup(root, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, with_root(c.err, root));
  }
}

const char kModelNames[] = "0 -- Unknown\n1 aa First\n2 bb Second\n7 cc Seventh\n";
const char *const kCodes[] = {"--", "aa", "bb", "cc"};
const char *const kCodeIds[] = {"0", "1", "2", "7"};

// Runs --summary and --export for the codes given on the table "NAME"
// (whose files are in place), with the family option when there is one,
// keeping the outputs under the root; gives the oracle's manifest line.
std::string run_modes(const TempRoot &root, const std::string &name, const std::string &family,
                      const std::vector<int> &codes) {
  std::vector<std::string> options{"-t", name};
  if (!family.empty()) options.push_back(family);
  const std::string table4 = family == "-6" ? "-" : root / ("conf/" + name + ".ips");
  const std::string table6 = family == "-4" ? "-" : root / ("conf/" + name + "6.ips");
  const std::string output = root / (name + family);
  std::string manifest = table4 + " " + table6 + " " + root / ("conf/" + name);
  std::vector<std::string> args = options;
  args.push_back("--summary");
  RunResult summary = iplookup(root, args);
  EXPECT_EQ(summary.status, 0) << summary.err;
  write_file(output + ".summary", summary.out);
  manifest += " " + output + ".summary";
  for (int code : codes) {
    args = options;
    args.insert(args.end(), {"--export", kCodes[code]});
    RunResult blocks = iplookup(root, args);
    EXPECT_EQ(blocks.status, 0) << blocks.err;
    write_file(output + ".export-" + kCodeIds[code], blocks.out);
    manifest += std::string(" ") + kCodeIds[code] + " " + output + ".export-" + kCodeIds[code];
  }
  return manifest + "\n";
}

TEST(IplookupIpv6TableModes, ExportAndSummaryAgreeWithTheModel) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  const std::pair<const char *, std::string> tables[] = {
      {"one entry at ::: the whole space", ":: 1\n"},
      {"one entry above ::", "2001:db8:: 1\n"},
      {"the last entry at the top", ":: 0\nffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff 2\n"},
      {"equal starts: the last one answers",
       "2001:db8:: 1\n2001:db8:: 2\n2001:db8:: 1\n2001:db8:0:1:: 0\n"},
      {"neighbours of one id are one range", "2001:db8:: 1\n2001:db8:8000:: 1\n2001:db9:: 2\n"},
      {"a run across the IPv4-mapped addresses", ":: 0\n::fffe:0:0 1\n::1:0:0:1 0\n"},
      {"entries inside the IPv4-mapped addresses only",
       ":: 2\n::ffff:1.0.0.0 1\n::ffff:2.0.0.0 7\n"},
      {"entries at the edges of the IPv4-mapped addresses",
       ":: 0\n::fffe:ffff:ffff 1\n::ffff:0:0 2\n::ffff:ffff:ffff 7\n::1:0:0:0 1\n::1:0:0:1 0\n"},
      {"id 255 has no name", ":: 255\n8000:: 7\n"},
      {"starts with long covers",
       ":: 0\n1:2:3:4:5:6:7:8 1\nfedc:ba98:7654:3210:123:4567:89ab:cdef 0\n"},
  };
  std::string manifest;
  int number = 0;
  for (const auto &[what, table] : tables) {
    const std::string name = "gen" + std::to_string(number++);
    write_file(root / ("conf/" + name), kModelNames);
    write_file(root / ("conf/" + name + ".ips"), "0.0.0.0 0\n10.0.0.0 1\n10.0.1.0 7\n");
    write_file(root / ("conf/" + name + "6.ips"), table);
    for (const char *family : {"", "-6"}) manifest += run_modes(root, name, family, {0, 1, 2, 3});
  }
  write_file(root / "manifest", manifest);
  RunResult judged = iplookup_oracle::check({"families", root / "manifest"});
  EXPECT_EQ(judged.status, 0) << judged.out << judged.err;
}

// A table shaped like registry data (see the oracle's table6), with an
// IPv4 table beside it: the export holds the IPv4 blocks, then the IPv6 ones.
TEST(IplookupIpv6TableModes, LargeTableAgreesWithTheModel) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  write_file(root / "conf/big", kModelNames);
  write_file(root / "conf/big.ips", "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n5.4.1.0 1\n5.4.1.1 2\n");
  RunResult generated = iplookup_oracle::check({"table6", "6", "500000", root / "conf/big6.ips"});
  ASSERT_EQ(generated.status, 0) << generated.out << generated.err;
  write_file(root / "manifest", run_modes(root, "big", "", {1}));
  RunResult judged = iplookup_oracle::check({"families", root / "manifest"});
  EXPECT_EQ(judged.status, 0) << judged.out << judged.err;
}

}  // namespace
