// iplookup --export with several codes and --format ipset|nft, as text: the
// scripts of small tables line by line, the nft elements in statements of
// bounded size, and exports that fail printing nothing. The scripts loaded
// by the real tools are in iplookup_firewall_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "script_writes.h"
#include "set_script.h"
#include "test_support.h"

using testing_support::run_in_root;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::with_root;
using testing_support::write_file;

namespace {

const char kNames[] = "0 -- Unknown\n1 ru Russian Federation\n2 by Belarus\n7 nl Netherlands\n";

// ru and by touch at 5.3.0.0: one range, one block 5.2.0.0/15.
const char kTable4[] = "0.0.0.0 0\n5.2.0.0 1\n5.3.0.0 2\n5.4.0.0 0\n5.8.0.0 1\n5.8.3.0 0\n";
const char kTable6[] = ":: 0\n2001:db8:: 1\n2001:db9:: 0\n";

// An IPv4 table of count ranges of ru and by in turn, each of size
// addresses at the start of its own /24, none touching another.
std::string separate_ranges(int count, int size) {
  std::string table;
  for (int i = 0; i < count; ++i) {
    const std::string net = "10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".";
    table += net + "0 " + std::to_string(1 + i % 2) + "\n" + net + std::to_string(size) + " 0\n";
  }
  return table;
}

TEST(IplookupSetScripts, ScriptsOfSmallTables) {
  struct Case {
    const char *what;
    const char *table4;  // nullptr: no file
    const char *table6;
    std::vector<std::string> args;
    const char *out;
    const char *err;
  };
  const Case cases[] = {
      {"blocks of two codes: touching ranges are one",
       kTable4,
       kTable6,
       {"--export", "ru,BY"},
       "5.2.0.0/15\n5.8.0.0/23\n5.8.2.0/24\n2001:db8::/32\n",
       ""},
      {"ipset: both families, the live sets first, the swaps last",
       kTable4,
       kTable6,
       {"--export", "ru,by", "--format", "ipset"},
       "-exist create \"velmor-ru-by\" hash:net family inet maxelem 16777216\n"
       "-exist create \"velmor-ru-by6\" hash:net family inet6 maxelem 16777216\n"
       "-exist destroy \"velmor-ru-by.tmp\"\n"
       "create \"velmor-ru-by.tmp\" hash:net family inet hashsize 1024 maxelem 16777216\n"
       "-exist destroy \"velmor-ru-by6.tmp\"\n"
       "create \"velmor-ru-by6.tmp\" hash:net family inet6 hashsize 1024 maxelem 16777216\n"
       "add \"velmor-ru-by.tmp\" 5.2.0.0/15\n"
       "add \"velmor-ru-by.tmp\" 5.8.0.0/23\n"
       "add \"velmor-ru-by.tmp\" 5.8.2.0/24\n"
       "add \"velmor-ru-by6.tmp\" 2001:db8::/32\n"
       "swap \"velmor-ru-by.tmp\" \"velmor-ru-by\"\n"
       "swap \"velmor-ru-by6.tmp\" \"velmor-ru-by6\"\n"
       "destroy \"velmor-ru-by.tmp\"\n"
       "destroy \"velmor-ru-by6.tmp\"\n",
       ""},
      {"ipset -6 with --set, a code given twice; -v counts the blocks",
       kTable4,
       kTable6,
       {"-6", "-v", "--export", "ru,RU", "--format", "ipset", "--set", "block_list"},
       "-exist create \"block_list6\" hash:net family inet6 maxelem 16777216\n"
       "-exist destroy \"block_list6.tmp\"\n"
       "create \"block_list6.tmp\" hash:net family inet6 hashsize 1024 maxelem 16777216\n"
       "add \"block_list6.tmp\" 2001:db8::/32\n"
       "swap \"block_list6.tmp\" \"block_list6\"\n"
       "destroy \"block_list6.tmp\"\n",
       "iplookup: loaded ROOT/conf/countries6.ips: 3 entries\n"
       "iplookup: exported 1 IPv6 blocks of id 1\n"},
      {"ipset: the whole space as two halves, hash:net takes no /0; no IPv6 file, no IPv6 set",
       "0.0.0.0 1\n",
       nullptr,
       {"--export", "ru", "--format", "ipset"},
       "-exist create \"velmor-ru\" hash:net family inet maxelem 16777216\n"
       "-exist destroy \"velmor-ru.tmp\"\n"
       "create \"velmor-ru.tmp\" hash:net family inet hashsize 1024 maxelem 16777216\n"
       "add \"velmor-ru.tmp\" 0.0.0.0/1\n"
       "add \"velmor-ru.tmp\" 128.0.0.0/1\n"
       "swap \"velmor-ru.tmp\" \"velmor-ru\"\n"
       "destroy \"velmor-ru.tmp\"\n",
       ""},
      {"ipset: a code without addresses empties its set",
       kTable4,
       kTable6,
       {"-4", "--export", "nl", "--format", "ipset"},
       "-exist create \"velmor-nl\" hash:net family inet maxelem 16777216\n"
       "-exist destroy \"velmor-nl.tmp\"\n"
       "create \"velmor-nl.tmp\" hash:net family inet hashsize 1024 maxelem 16777216\n"
       "swap \"velmor-nl.tmp\" \"velmor-nl\"\n"
       "destroy \"velmor-nl.tmp\"\n",
       ""},
      {"nft: one element per range, a block where the range is one; -v counts the ranges",
       kTable4,
       kTable6,
       {"-v", "--export", "ru,by", "--format", "nft"},
       "define ranges4_1 = { 5.2.0.0/15, 5.8.0.0-5.8.2.255 }\n"
       "define ranges6_1 = { 2001:db8::/32 }\n"
       "add table inet velmor\n"
       "add set inet velmor velmor-ru-by { type ipv4_addr; flags interval; }\n"
       "add set inet velmor velmor-ru-by6 { type ipv6_addr; flags interval; }\n"
       "flush set inet velmor velmor-ru-by\n"
       "flush set inet velmor velmor-ru-by6\n"
       "add element inet velmor velmor-ru-by $ranges4_1\n"
       "add element inet velmor velmor-ru-by6 $ranges6_1\n",
       "iplookup: loaded ROOT/conf/countries.ips: 6 entries\n"
       "iplookup: loaded ROOT/conf/countries6.ips: 3 entries\n"
       "iplookup: exported 2 ranges of ids 1, 2\n"
       "iplookup: exported 1 IPv6 ranges of ids 1, 2\n"},
      {"nft -4 into another table; the whole space is one element",
       "0.0.0.0 2\n",
       kTable6,
       {"-4", "--export", "by", "--format", "nft", "--set", "blocklist", "--nft-table",
        "ip filter"},
       "define ranges4_1 = { 0.0.0.0/0 }\n"
       "add table ip filter\n"
       "add set ip filter blocklist { type ipv4_addr; flags interval; }\n"
       "flush set ip filter blocklist\n"
       "add element ip filter blocklist $ranges4_1\n",
       ""},
      {"nft: a family without ranges is flushed only",
       kTable4,
       kTable6,
       {"--export", "by", "--format", "nft"},
       "define ranges4_1 = { 5.3.0.0/16 }\n"
       "add table inet velmor\n"
       "add set inet velmor velmor-by { type ipv4_addr; flags interval; }\n"
       "add set inet velmor velmor-by6 { type ipv6_addr; flags interval; }\n"
       "flush set inet velmor velmor-by\n"
       "flush set inet velmor velmor-by6\n"
       "add element inet velmor velmor-by $ranges4_1\n",
       ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempRoot root;
    write_file(root / "conf/countries", kNames);
    if (c.table4) write_file(root / "conf/countries.ips", c.table4);
    if (c.table6) write_file(root / "conf/countries6.ips", c.table6);
    RunResult run = run_in_root(IPLOOKUP_BIN, root, c.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, with_root(c.err, root));
  }
}

// 600 ranges: three statements of at most 256 elements, each taking in the
// one before; the command adds the last.
TEST(IplookupSetScripts, NftElementsComeInStatementsOfBoundedSize) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", separate_ranges(600, 128));
  RunResult run = run_in_root(IPLOOKUP_BIN, root, {"--export", "ru,by", "--format", "nft"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = split_lines(run.out);
  ASSERT_EQ(lines.size(), 7u) << run.out;
  const std::regex define(R"(define (ranges4_\d) = \{ (\$ranges4_\d, )?(.*) \})");
  std::string previous;
  size_t elements = 0;
  for (size_t i = 0; i < 3; ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[i], match, define)) << lines[i];
    EXPECT_EQ(match[2].str(), previous.empty() ? "" : "$" + previous + ", ");
    const size_t count =
        split_lines(std::regex_replace(match[3].str(), std::regex(", "), "\n")).size();
    EXPECT_LE(count, 256u);
    elements += count;
    previous = match[1].str();
  }
  EXPECT_EQ(elements, 600u);
  EXPECT_EQ(lines[6], "add element inet velmor velmor-ru-by $" + previous);
}

// The lines that create, swap and destroy ipset sets, and the nft commands,
// must reach a reader of a pipe whole: each such stretch begins and ends
// with one of iplookup's writes and holds no other end.
TEST(IplookupSetScripts, LinesThatChangeTheSetsGoOutInWritesOfTheirOwn) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", separate_ranges(3000, 7));
  write_file(root / "conf/countries6.ips", kTable6);
  struct Case {
    const char *format;
    const char *head_ends_before;  // "": no such stretch at the start
    const char *tail_starts_at;
  };
  const Case cases[] = {{"ipset", "add ", "swap "}, {"nft", "", "add table "}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    const testing_support::RecordedOutput output =
        testing_support::iplookup_writes(root, {"--export", "ru,by", "--format", c.format});
    ASSERT_EQ(output.status, 0);
    ASSERT_GE(output.ends.size(), 10u);
    auto line_at = [&output](const std::string &start) {
      const size_t at = output.text.find("\n" + start);
      return at == std::string::npos ? at : at + 1;
    };
    auto whole = [&output](size_t begin, size_t end) {
      const auto &ends = output.ends;
      EXPECT_TRUE(begin == 0 || std::count(ends.begin(), ends.end(), begin) == 1) << begin;
      EXPECT_EQ(std::count(ends.begin(), ends.end(), end), 1) << end;
      EXPECT_EQ(std::count_if(ends.begin(), ends.end(),
                              [&](size_t at) { return at > begin && at < end; }),
                0);
    };
    if (*c.head_ends_before) {
      ASSERT_NE(line_at(c.head_ends_before), std::string::npos);
      whole(0, line_at(c.head_ends_before));
    }
    ASSERT_NE(line_at(c.tail_starts_at), std::string::npos);
    whole(line_at(c.tail_starts_at), output.text.size());
  }
}

TEST(IplookupSetScripts, FailedExportsPrintNothing) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", kTable4);
  struct Case {
    const char *what;
    const char *table6;
    const char *codes;
    const char *err;
  };
  const Case cases[] = {
      {"an unknown code among known ones", kTable6, "ru,xx,by",
       "iplookup: no code 'xx' in ROOT/conf/countries\n"},
      {"an IPv6 table that cannot be used", ":: 0\n2001:db8:: 1\n2001:db7:: 0\n", "ru,by",
       "iplookup: ROOT/conf/countries6.ips: entry 3 starts at 2001:db7::, below the one "
       "before it\n"},
  };
  for (const Case &c : cases) {
    write_file(root / "conf/countries6.ips", c.table6);
    for (const char *format : {"cidr", "ipset", "nft"}) {
      SCOPED_TRACE(std::string(c.what) + ", " + format);
      RunResult run = run_in_root(IPLOOKUP_BIN, root, {"--export", c.codes, "--format", format});
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, with_root(c.err, root));
    }
  }
}

struct Written {
  bool ok;
  std::string out;
  std::string err;
};

Written write_ipset(const iplookup::ExportRanges &ranges, long limit) {
  iplookup::Request request;
  request.set_name = "velmor-ru";
  char *out_text = nullptr, *err_text = nullptr;
  size_t out_size = 0, err_size = 0;
  FILE *out = open_memstream(&out_text, &out_size);
  FILE *err = open_memstream(&err_text, &err_size);
  const bool ok = iplookup::write_ipset_script(request, ranges, out, err, limit);
  fclose(out);
  fclose(err);
  Written written{ok, out_text, err_text};
  free(out_text);
  free(err_text);
  return written;
}

// More blocks than the sets hold: refused before the first line, in either
// family. The writer takes the limit as a parameter, so a few blocks reach it.
TEST(IplookupSetScripts, IpsetRefusesMoreBlocksThanASetHolds) {
  using Ranges4 = std::vector<iplookup::Range<uint32_t>>;
  using Ranges6 = std::vector<iplookup::Range<velmor::uint128>>;
  const Ranges4 four4 = {{0x0A000001, 0x0A000006}};  // 10.0.0.1/32, /31, /31, /32
  const Ranges6 four6 = {{1, 6}};
  struct Case {
    const char *what;
    Ranges4 v4;
    Ranges6 v6;
    long limit;
    const char *err;
  };
  const Case cases[] = {
      {"at the limit", four4, four6, 4, ""},
      {"IPv4 over it",
       four4,
       {{0, 0}},
       3,
       "iplookup: 4 IPv4 blocks, more than an ipset set holds (3)\n"},
      {"IPv6 over it",
       {{0, 0}},
       four6,
       3,
       "iplookup: 4 IPv6 blocks, more than an ipset set holds (3)\n"},
      {"the whole space counts as its two halves",
       {{0, UINT32_MAX}},
       {},
       1,
       "iplookup: 2 IPv4 blocks, more than an ipset set holds (1)\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    iplookup::ExportRanges ranges;
    ranges.ipv4 = ranges.ipv6 = true;
    ranges.v4 = c.v4;
    ranges.v6 = c.v6;
    const Written written = write_ipset(ranges, c.limit);
    EXPECT_EQ(written.ok, *c.err == '\0');
    EXPECT_EQ(written.err, c.err);
    if (written.ok) {
      EXPECT_NE(written.out.find(" maxelem 4\n"), std::string::npos) << written.out;
    } else {
      EXPECT_EQ(written.out, "");
    }
  }
}

}  // namespace
