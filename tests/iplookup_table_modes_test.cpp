// iplookup --export and --summary through the program: on generated tables
// the blocks and counts are judged against a model built with Python's
// ipaddress module; the code lookup, the summary's layout, tables that
// cannot be walked and failed writes by cases.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "iplookup_oracle.h"
#include "str.h"
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

// What a generated table looks like.
struct Shape {
  const char *what;
  unsigned seed;
  int entries;
  uint32_t window;   // starts lie in [first, first + window): small windows make
                     // neighbouring entries touch, repeat and merge
  bool from_zero;    // an entry at 0.0.0.0, else the first start is above 0
  bool reaches_top;  // an entry at 255.255.255.254, the last start there can be
};

const uint8_t kIds[] = {0, 1, 2, 7, 255};  // 255 has no name

// Starts drawn at random, at aligned places, next to or equal to an earlier
// one; sorted so that equal starts keep the random order of their ids.
std::string generate_table(const Shape &shape) {
  std::mt19937 rng(shape.seed);
  const uint32_t first = shape.from_zero ? 0 : 1 + rng() % (UINT32_MAX - shape.window);
  std::vector<std::pair<uint32_t, uint8_t>> entries;
  if (shape.from_zero) entries.push_back({0, kIds[rng() % 5]});
  if (shape.reaches_top) entries.push_back({UINT32_MAX - 1, kIds[rng() % 5]});
  for (int i = 0; i < shape.entries; ++i) {
    uint32_t offset = rng() % shape.window;
    const uint32_t kind = rng() % 4;
    if (kind == 0) offset &= ~((uint32_t{1} << (rng() % 16)) - 1);  // aligned
    uint32_t start = first + offset;
    if (kind >= 2 && !entries.empty()) start = entries[rng() % entries.size()].first;  // equal
    if (kind == 3 && start < UINT32_MAX - 1) ++start;  // next to another
    entries.push_back({start, kIds[rng() % 5]});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  std::string table;
  for (const auto &[start, id] : entries)
    table += std::string(str_ip_format(start)) + " " + std::to_string(id) + "\n";
  return table;
}

const char kGeneratedNames[] = "0 -- Unknown\n1 aa First\n2 bb Second\n7 cc Seventh\n";
const char *const kCodes[] = {"--", "aa", "bb", "cc"};
const char *const kCodeIds[] = {"0", "1", "2", "7"};

// Runs --summary and --export for every named id on the table, keeping
// the outputs under the root; gives the oracle's manifest line for them.
std::string run_table_modes(const TempRoot &root, int number, const std::string &table) {
  const std::string name = "gen" + std::to_string(number);
  write_file(root / ("conf/" + name), kGeneratedNames);
  write_file(root / ("conf/" + name + ".ips"), table);
  std::string manifest = root / ("conf/" + name + ".ips") + " " + root / ("conf/" + name);
  RunResult summary = iplookup(root, {"-t", name, "--summary"});
  EXPECT_EQ(summary.status, 0) << summary.err;
  write_file(root / (name + ".summary"), summary.out);
  manifest += " " + root / (name + ".summary");
  for (size_t i = 0; i < std::size(kCodes); ++i) {
    RunResult blocks = iplookup(root, {"-t", name, "--export", kCodes[i]});
    EXPECT_EQ(blocks.status, 0) << blocks.err;
    const std::string output = root / (name + ".export-" + kCodeIds[i]);
    write_file(output, blocks.out);
    manifest += std::string(" ") + kCodeIds[i] + " " + output;
  }
  return manifest + "\n";
}

TEST(IplookupTableModes, ExportAndSummaryAgreeWithTheModel) {
  SKIP_WITHOUT_PYTHON();
  TempRoot root;
  const std::pair<const char *, std::string> tables[] = {
      {"one entry at 0.0.0.0: the whole space", "0.0.0.0 1\n"},
      {"one entry above 0", "10.0.0.0 1\n"},
      {"the last entry reaching 255.255.255.255", "0.0.0.0 0\n255.255.255.254 2\n"},
      {"equal starts: the last one answers", "10.0.0.0 1\n10.0.0.0 2\n10.0.0.0 1\n10.0.1.0 0\n"},
      {"neighbours of one id are one range", "10.0.0.0 1\n10.0.0.128 1\n10.0.1.0 2\n"},
      {"id 255 has no name", "0.0.0.0 255\n128.0.0.0 7\n"},
  };
  std::string manifest;
  int number = 0;
  for (const auto &[what, table] : tables) manifest += run_table_modes(root, number++, table);
  const Shape shapes[] = {
      {"spread over the space, first start above 0", 1, 60, UINT32_MAX - 1, false, false},
      {"dense from 0.0.0.0", 2, 300, 4096, true, false},
      {"dense above 0, up to 255.255.255.254", 3, 300, 1 << 16, false, true},
      {"dense with aligned starts", 4, 200, 1 << 24, false, false},
      {"few entries, many equal", 5, 8, 16, true, true},
  };
  for (const Shape &shape : shapes) {
    for (unsigned round = 0; round < 3; ++round) {
      Shape variant = shape;
      variant.seed = shape.seed * 100 + round;
      manifest += run_table_modes(root, number++, generate_table(variant));
    }
  }
  write_file(root / "manifest", manifest);
  RunResult judged = iplookup_oracle::check({"tables", root / "manifest"});
  EXPECT_EQ(judged.status, 0) << judged.out << judged.err;
}

TEST(IplookupTableModes, ExportFindsTheCodeFoldedAsOrvikFoldsIt) {
  TempRoot root;
  write_file(root / "conf/countries",
             "0 -- Unknown\n1 ru Russian Federation\n3 \xe0\xe1 Cyrillic code\n4 ru Again\n");
  write_file(root / "conf/countries.ips",
             "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n6.0.0.0 3\n6.0.1.0 0\n6.0.2.0 4\n6.0.3.0 0\n");
  struct Case {
    const char *code;
    const char *out;
    const char *err;
    int status;
  };
  const Case cases[] = {
      {"ru", "5.3.0.0/16\n", "", 0},
      {"RU", "5.3.0.0/16\n", "", 0},
      {"rU", "5.3.0.0/16\n", "", 0},
      {"\xc0\xc1", "6.0.0.0/24\n", "", 0},  // Windows-1251 capitals
      {"xx", "", "iplookup: no code 'xx' in ROOT/conf/countries\n", 1},
      {"r", "", "iplookup: no code 'r' in ROOT/conf/countries\n", 1},
      {"RU,\xc0\xc1", "5.3.0.0/16\n6.0.0.0/24\n", "", 0},
      {"\xe0\xe1,ru,RU", "5.3.0.0/16\n6.0.0.0/24\n", "", 0},
      {"ru,xx", "", "iplookup: no code 'xx' in ROOT/conf/countries\n", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    RunResult run = iplookup(root, {"--export", c.code});
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, with_root(c.err, root));
  }
}

TEST(IplookupTableModes, SummaryLayout) {
  TempRoot root;
  write_file(root / "conf/countries", "0 -- Unknown\n1 ru Russian Federation\n7 nl Netherlands\n");
  write_file(root / "conf/countries.ips",
             "5.3.0.0 1\n5.3.128.0 1\n5.4.0.0 0\n10.0.0.0 7\n10.1.0.0 9\n10.2.0.0 7\n"
             "11.0.0.0 0\n11.0.0.0 0\n");
  RunResult run = iplookup(root, {"--summary"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "   id  code  ranges   addresses\n"
            "    0  --         3  4278124544\n"
            "    1  ru         1       65536\n"
            "    7  nl         2    16711680\n"
            "    9  -          1       65536\n"
            "total             7  4294967296\n");
  EXPECT_EQ(run.err, "");
}

TEST(IplookupTableModes, TablesThatCannotBeWalkedFailWithOneLine) {
  TempRoot root;
  write_file(root / "conf/countries", "0 -- Unknown\n1 ru Russian Federation\n");
  struct Case {
    const char *table;
    const char *err;
  };
  const Case cases[] = {
      {"0.0.0.0 0\n10.0.0.0 1\n9.0.0.0 0\n",
       "iplookup: ROOT/conf/countries.ips: entry 3 starts at 9.0.0.0, below the one before it\n"},
      {"", "iplookup: no table loaded from ROOT/conf/countries.ips (see ROOT/logs/current/)\n"},
      {"no entry here\n",
       "iplookup: no table loaded from ROOT/conf/countries.ips (see ROOT/logs/current/)\n"},
  };
  for (const Case &c : cases) {
    write_file(root / "conf/countries.ips", c.table);
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--summary"}, std::vector<std::string>{"--export", "ru"}}) {
      SCOPED_TRACE(std::string(c.table) + args[0]);
      RunResult run = iplookup(root, args);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, with_root(c.err, root));
    }
  }
}

// A firewall set cut short by a full disk must not pass for a whole one,
// nor an answer that never reached its reader (the plain answers used to
// exit 0 then).
TEST(IplookupTableModes, FailedWriteIsReported) {
  TempRoot root;
  write_file(root / "conf/countries", "0 -- Unknown\n1 ru Russian Federation\n");
  write_file(root / "conf/countries.ips", "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n");
  auto full_disk = [] {
    const int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    dup2(fd, 1);
  };
  for (const std::vector<std::string> &mode :
       {std::vector<std::string>{"--export", "ru"}, std::vector<std::string>{"--summary"},
        std::vector<std::string>{"--json", "5.3.0.1"}, std::vector<std::string>{"5.3.0.1"}}) {
    SCOPED_TRACE(mode[0]);
    RunResult run = run_in_root(IPLOOKUP_BIN, root, mode, "", full_disk);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "iplookup: cannot write the output: No space left on device\n");
  }
}

}  // namespace
