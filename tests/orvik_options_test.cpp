// orvik's command line, run as the real program against scratch roots (-r):
// the common options, the operands, --check, --min-ranges, --close-gaps and
// --update-names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "ip_ranges.h"
#include "orvik_csv.h"
#include "str.h"
#include "test_support.h"

namespace {

using testing_support::au;
using testing_support::cn;
using testing_support::csv_line;
using testing_support::day_log;
using testing_support::list_table_files;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::write_file;

constexpr const char *kNames = "0 -- Unknown\n13 au Australia\n45 cn China\n";
constexpr const char *kOldTable = "0.0.0.0 0\n9.0.0.0 13\n";

// Three ranges, and the table orvik makes of them with kNames.
const std::string kThreeRanges =
    au("1.0.0.0", "1.0.0.255") + cn("1.0.1.0", "1.0.3.255") + au("1.0.4.0", "1.0.7.255");
const std::string kThreeRangesTable = "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.4.0 13\n1.0.8.0 0\n";

// A scratch root with the names kNames and the table kOldTable.
class OrvikOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(root / "conf/countries", kNames);
    write_file(root / "conf/countries.ips", kOldTable);
  }

  // orvik -r <root> args..., with input on standard input.
  RunResult orvik(const std::vector<std::string> &args, const std::string &input = "",
                  const std::function<void()> &before_exec = nullptr) {
    return testing_support::run_in_root(ORVIK_BIN, root, args, input, before_exec);
  }

  std::string table() { return read_file(root / "conf/countries.ips"); }
  std::string names() { return read_file(root / "conf/countries"); }
  // conf/ holds the names and the table and nothing else (no temporary file).
  std::vector<std::string> conf() { return testing_support::list_text_table_files(root / "conf"); }
  const std::vector<std::string> kConf{"countries", "countries.ips"};

  // An input file in the scratch root.
  std::string input_file(const std::string &name, const std::string &text) {
    write_file(root / name, text);
    return root / name;
  }

  TempRoot root;
};

TEST_F(OrvikOptions, HelpVersionAndUsageErrorsLeaveTheTableAlone) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_first_line;  // regex
    std::string err;             // regex over the whole standard error
  } const cases[] = {
      {{"--help"}, 0, R"(Usage: orvik \[OPTION\]\.\.\. \[FILE\]\.\.\.)", ""},
      {{"-h", "-n"}, 0, R"(Usage: orvik \[OPTION\]\.\.\. \[FILE\]\.\.\.)", ""},
      {{"-V"}, 0, R"(orvik \d+\.\d+\.\d+)", ""},
      {{"--version"}, 0, R"(orvik \d+\.\d+\.\d+)", ""},
      {{"--bogus"}, 2, "", R"(orvik: unknown option '--bogus'\nUsage: orvik .*\n)"},
      {{"-x"}, 2, "", R"(orvik: unknown option '-x'\nUsage: orvik .*\n)"},
      {{"--min-ranges"}, 2, "", R"(orvik: option '--min-ranges' needs a value\nUsage: .*\n)"},
      {{"--min-ranges", "many"},
       2,
       "",
       R"(orvik: option '--min-ranges' needs a whole number, not 'many'\nUsage: .*\n)"},
      {{"--min-ranges", "-1"}, 2, "", R"(orvik: .* needs a whole number, not '-1'\nUsage: .*\n)"},
      {{"--min-ranges", "10k"}, 2, "", R"(orvik: .* needs a whole number, not '10k'\nUsage: .*\n)"},
      {{"--min-ranges", " 5"}, 2, "", R"(orvik: .* needs a whole number, not ' 5'\nUsage: .*\n)"},
      {{"--min-ranges", "18446744073709551616"},
       2,
       "",
       R"(orvik: .* needs a whole number, .*\nUsage: .*\n)"},
  };
  for (const Case &c : cases) {
    std::string what;
    for (const auto &arg : c.args) what += arg + " ";
    const auto result = orvik(c.args, kThreeRanges);
    EXPECT_EQ(result.status, c.status) << what;
    const auto out = split_lines(result.out);
    if (c.out_first_line.empty()) {
      EXPECT_EQ(result.out, "") << what;
    } else {
      ASSERT_FALSE(out.empty()) << what;
      EXPECT_TRUE(std::regex_match(out[0], std::regex(c.out_first_line))) << what << out[0];
    }
    EXPECT_TRUE(std::regex_match(result.err, std::regex(c.err))) << what << result.err;
    EXPECT_EQ(table(), kOldTable) << what;
    EXPECT_EQ(conf(), kConf) << what;
  }
}

TEST_F(OrvikOptions, HelpNamesEveryOption) {
  const std::string help = orvik({"--help"}).out;
  for (const char *option : {"--check", "--min-ranges N", "--close-gaps", "--update-names",
                             "--root DIR", "--verbose", "--help", "--version"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

// Operands are read in order, "-" standing for standard input; a relative
// name is taken from the directory the program starts in, not the root. The
// same holds when the input is held in memory for --update-names; a file's
// last line never joins the next file's first.
TEST_F(OrvikOptions, OperandsAreReadInOrder) {
  std::string first_line = au("1.0.0.0", "1.0.0.255");
  first_line.pop_back();  // no line end
  const std::string first = input_file("first.csv", first_line);
  const std::string second = input_file("second.csv", cn("1.0.1.0", "1.0.3.255"));
  const std::string third = input_file("third.csv", au("1.0.4.0", "1.0.7.255"));
  const std::string whole = input_file("whole.csv", kThreeRanges);
  struct Case {
    std::vector<std::string> operands;
    std::string input;
  } const cases[] = {
      {{whole}, ""},                                      // a file with empty standard input
      {{}, kThreeRanges},                                 // no operand: standard input
      {{"-"}, kThreeRanges},                              // "-": standard input
      {{first, second, third}, "garbage"},                // files only; standard input unread
      {{first, "-", third}, cn("1.0.1.0", "1.0.3.255")},  // standard input in between
      {{"--", whole}, ""},                                // end of options
      {{"whole.csv"}, ""},                                // relative to the start directory
  };
  const std::string start = root.path();
  for (const Case &c : cases) {
    for (const char *option : {"--min-ranges=0", "--update-names"}) {
      SetUp();
      std::vector<std::string> args = c.operands;
      args.insert(args.begin(), option);
      std::string what;
      for (const auto &arg : args) what += arg + " ";
      const auto result = orvik(args, c.input, [&start] {
        if (chdir(start.c_str()) != 0) _exit(99);
      });
      EXPECT_EQ(result.status, 0) << what << result.err;
      EXPECT_EQ(result.out + result.err, "") << what;  // silence on success
      EXPECT_EQ(table(), kThreeRangesTable) << what;
      EXPECT_EQ(names(), kNames) << what;
      EXPECT_EQ(conf(), kConf) << what;
    }
  }
}

// An operand that cannot be opened or read fails the run before anything
// changes, in the streamed and in the held (--update-names) reading.
TEST_F(OrvikOptions, UnreadableOperandKeepsTheOldTable) {
  const std::string good =
      input_file("good.csv", kThreeRanges + csv_line("2.0.0.0", "2.0.0.255", "DE", "Germany"));
  const std::string missing = root / "missing.csv";
  const std::string directory = root / "logs";
  struct Case {
    std::vector<std::string> operands;
    std::string err;
  } const cases[] = {
      {{missing}, "orvik: cannot open " + missing + ": No such file or directory\n"},
      {{good, missing}, "orvik: cannot open " + missing + ": No such file or directory\n"},
      {{good, directory}, "orvik: cannot read " + directory + ": Is a directory\n"},
  };
  for (const Case &c : cases) {
    for (const char *option : {"-v", "--update-names"}) {
      SetUp();
      std::vector<std::string> args = c.operands;
      args.insert(args.begin(), option);
      const auto result = orvik(args, kThreeRanges);
      EXPECT_EQ(result.status, 1) << c.err << option;
      EXPECT_EQ(result.err, c.err) << option;
      EXPECT_EQ(table(), kOldTable) << c.err << option;
      EXPECT_EQ(names(), kNames) << c.err << option;
      EXPECT_EQ(conf(), kConf) << c.err << option;
      EXPECT_NE(day_log(root.path(), "error.log").find(c.err.substr(7)), std::string::npos);
    }
  }
}

// A failed run ends with one line on standard error: the error it logged.
TEST_F(OrvikOptions, FailedRunPrintsOneLine) {
  remove((root / "conf/countries.ips").c_str());
  mkdir((root / "conf/countries.ips").c_str(), 0755);
  write_file(root / "conf/countries.ips/keep", "x");
  const auto result = orvik({}, kThreeRanges);
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(std::regex_match(
      result.err, std::regex(R"(orvik: cannot rename conf/countries\.ips\.\d+ -> )"
                             R"(conf/countries\.ips: (Is a directory|Directory not empty)\n)")))
      << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(read_file(root / "conf/countries.ips/keep"), "x");
}

// -r wins over VELMOR_ROOT, which wins over the build's root; a relative
// root is taken from the start directory.
TEST_F(OrvikOptions, RootComesFromTheOptionThenTheEnvironment) {
  TempRoot other;
  write_file(other / "conf/countries", kNames);
  const std::string start = other.path();
  const auto in_start_with_env = [&start](const std::string &env) {
    return [&start, env] {
      if (chdir(start.c_str()) != 0 || setenv("VELMOR_ROOT", env.c_str(), 1) != 0) _exit(99);
    };
  };
  struct Case {
    std::vector<std::string> args;
    std::string env;
    std::string written;  // the root whose table is written
  } const cases[] = {
      {{"-r", root.path()}, other.path(), root.path()},
      {{"--root", root.path()}, other.path(), root.path()},
      {{"--root=" + root.path()}, other.path(), root.path()},
      {{}, root.path(), root.path()},
      {{"-r", "."}, root.path(), other.path()},
  };
  for (const Case &c : cases) {
    write_file(root / "conf/countries.ips", kOldTable);
    write_file(other / "conf/countries.ips", kOldTable);
    const auto result =
        testing_support::run_program(ORVIK_BIN, c.args, kThreeRanges, in_start_with_env(c.env));
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string unwritten = c.written == root.path() ? other.path() : root.path();
    EXPECT_EQ(read_file(c.written + "/conf/countries.ips"), kThreeRangesTable) << c.written;
    EXPECT_EQ(read_file(unwritten + "/conf/countries.ips"), kOldTable) << c.written;
  }
}

// The fixture of the counting tests and its counts: a header, two ranges,
// an overlapping line, a malformed one, three ranges with unknown codes
// (xx twice, yy once) and a line of 1500 bytes, read as two pieces.
const std::string kMixedInput =
    "\"ip_start\",\"ip_end\",\"start\",\"end\",\"cc\",\"name\"\n" + au("1.0.0.0", "1.0.0.255") +
    cn("1.0.1.0", "1.0.3.255") + au("1.0.2.0", "1.0.2.255") +
    "\"x\",\"y\",\"4294967296\",\"4294967296\",\"AU\",\"Over\"\n" +
    csv_line("1.0.8.0", "1.0.8.255", "XX", "Nowhere") +
    csv_line("1.0.9.0", "1.0.9.255", "XX", "Nowhere") +
    csv_line("2.0.0.0", "2.0.0.255", "YY", "Elsewhere") + std::string(1500, 'x') + "\n";
const std::string kMixedTable = "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.8.0 0\n2.0.1.0 0\n";
const std::string kMixedSummary =
    "10 lines read, 5 ranges accepted, 5 entries, 4 skipped as unsorted, "
    "1 skipped as malformed, 2 unknown codes (xx 2, yy 1)";

TEST_F(OrvikOptions, VerbosePrintsTheSummaryOnStandardError) {
  const auto result = orvik({"-v"}, kMixedInput);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "orvik: " + kMixedSummary + "\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(table(), kMixedTable);
}

TEST_F(OrvikOptions, CheckCountsAndChangesNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;
    std::string err;
  } const cases[] = {
      {{"-n"}, kMixedInput, 0, kMixedSummary + "\n", ""},
      {{"--check", "-v"}, kMixedInput, 0, kMixedSummary + "\n", "orvik: " + kMixedSummary + "\n"},
      {{"-n", "--min-ranges", "5"}, kMixedInput, 0, kMixedSummary + "\n", ""},
      {{"-n", "--min-ranges", "6"},
       kMixedInput,
       1,
       kMixedSummary + "\n",
       "orvik: check failed for conf/countries.ips: 5 ranges accepted, at least 6 needed\n"},
      {{"-n"},
       "",
       1,
       "0 lines read, 0 ranges accepted, 1 entries, 0 skipped as unsorted, 0 skipped as "
       "malformed, 0 unknown codes\n",
       "orvik: check failed for conf/countries.ips: 0 ranges accepted, at least 1 needed\n"},
  };
  for (const Case &c : cases) {
    SetUp();
    const auto result = orvik(c.args, c.input);
    EXPECT_EQ(result.status, c.status) << c.args[0];
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(table(), kOldTable);
    EXPECT_EQ(conf(), kConf);
  }
  // Without a table, none appears either.
  remove((root / "conf/countries.ips").c_str());
  EXPECT_EQ(orvik({"-n"}, kMixedInput).status, 0);
  EXPECT_EQ(list_table_files(root / "conf"), std::vector<std::string>{"countries"});
}

TEST_F(OrvikOptions, CheckFailsWhenItsSummaryCannotBeWritten) {
  const auto result = orvik({"-n"}, kThreeRanges, [] { close(1); });
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "orvik: cannot write to standard output: Bad file descriptor\n");
}

// The counts a check gives are those of the table a run writes.
TEST_F(OrvikOptions, CheckCountsMatchTheTableWritten) {
  std::mt19937 random(11);
  std::string input;
  uint32_t start = 1 << 24;
  for (int i = 0; i < 3000; ++i) {
    start += random() % 3 == 0 ? 0 : 256 * (random() % 4);  // repeats (unsorted) and gaps
    const char *codes[] = {"AU", "CN", "QQ"};
    input += csv_line(str_ip_format(start), str_ip_format(start + 255), codes[random() % 3],
                      "Somewhere");
    start += 256;
  }
  const auto check = orvik({"-n"}, input);
  const auto written = orvik({"-v"}, input);
  ASSERT_EQ(written.status, 0);
  EXPECT_EQ("orvik: " + check.out, written.err);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(check.out, m, std::regex(R"(, (\d+) entries,)")));
  EXPECT_EQ(std::to_string(split_lines(table()).size()), m[1].str());
}

// --min-ranges N: fewer than N accepted ranges keep the old table.
TEST_F(OrvikOptions, MinRangesKeepsTheOldTableBelowTheMinimum) {
  struct Case {
    std::string min_ranges;
    std::string input;
    bool replaced;
  } const cases[] = {
      {"2", kThreeRanges, true},          {"3", kThreeRanges, true}, {"4", kThreeRanges, false},
      {"100000", kThreeRanges, false},    {"0", "", true},           {"1", "", false},
      {"1", "<html>404</html>\n", false},  // what a failed download may leave
  };
  for (const Case &c : cases) {
    SetUp();
    const auto result = orvik({"--min-ranges", c.min_ranges}, c.input);
    const std::string what = c.min_ranges + " " + c.input;
    if (c.replaced) {
      EXPECT_EQ(result.status, 0) << what;
      EXPECT_EQ(result.err, "") << what;
      EXPECT_NE(table(), kOldTable) << what;
    } else {
      const std::string accepted = c.input == kThreeRanges ? "3" : "0";
      const std::string message = "refusing to replace conf/countries.ips: " + accepted +
                                  " ranges accepted, at least " + c.min_ranges + " needed";
      EXPECT_EQ(result.status, 1) << what;
      EXPECT_EQ(result.err, "orvik: " + message + "\n") << what;
      EXPECT_NE(day_log(root.path(), "error.log").find("|orvik| " + message + "\n"),
                std::string::npos);
      EXPECT_EQ(table(), kOldTable) << what;
    }
    EXPECT_EQ(conf(), kConf) << what;
  }
}

// --close-gaps, small cases: the exact tables.
TEST_F(OrvikOptions, CloseGapsTables) {
  struct Case {
    std::string input, table;
  } const cases[] = {
      // A gap after a range gets id 0; adjacent ranges get nothing between them.
      {au("1.0.0.0", "1.0.0.255") + cn("1.0.2.0", "1.0.3.255") + au("1.0.4.0", "1.0.4.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n1.0.2.0 45\n1.0.4.0 13\n1.0.5.0 0\n"},
      // The same id on both sides of a gap: closed and opened again.
      {au("1.0.0.0", "1.0.0.255") + au("1.0.2.0", "1.0.2.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n1.0.2.0 13\n1.0.3.0 0\n"},
      // A gap after a range of id 0 needs no entry.
      {csv_line("1.0.0.0", "1.0.0.255", "XX", "Nowhere") + au("1.0.2.0", "1.0.2.255"),
       "0.0.0.0 0\n1.0.2.0 13\n1.0.3.0 0\n"},
      // A one-address gap; a last range reaching the top.
      {au("1.0.0.0", "1.0.0.255") + cn("1.0.1.1", "255.255.255.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n1.0.1.1 45\n"},
      // Skipped lines leave no gap entries behind.
      {au("1.0.0.0", "1.0.0.255") + cn("0.0.0.1", "0.0.0.9") + cn("1.0.1.0", "1.0.1.255"),
       "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.2.0 0\n"},
  };
  for (const Case &c : cases) {
    SetUp();
    EXPECT_EQ(orvik({"--close-gaps"}, c.input).status, 0);
    EXPECT_EQ(table(), c.table) << c.input;
  }
}

// A country range of the model: [first, last] with an id (0: unknown code).
struct ModelRange {
  uint32_t first, last;
  uint8_t id;
};

// The id that the model gives address: its range's id; in a gap, 0 with
// close_gaps and otherwise the id of the range before; 0 before the first
// range and after the last.
uint8_t model_id(const std::vector<ModelRange> &ranges, uint32_t address, bool close_gaps) {
  uint8_t before = 0;
  for (const ModelRange &r : ranges) {
    if (address < r.first) return close_gaps ? 0 : before;
    if (address <= r.last) return r.id;
    before = r.id;
  }
  return 0;
}

// The ids the library's lookup gives the addresses in the table under root.
std::vector<uint8_t> lookup(const TempRoot &root, const std::vector<uint32_t> &addresses) {
  testing_support::ScopedCwd cwd(root.path());
  ip_ranges *table = ip_ranges_new("countries");
  std::vector<uint8_t> ids;
  if (ip_ranges_load(table))
    for (const uint32_t address : addresses) ids.push_back(ip_ranges_lookup(table, address));
  ip_ranges_free(table);
  return ids;
}

// Random ranges with random gaps, looked up at every edge and inside, with
// and without --close-gaps, against the model.
TEST_F(OrvikOptions, CloseGapsAnswersZeroBetweenRanges) {
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    std::vector<ModelRange> ranges;
    std::string input;
    uint32_t next = 1 + random() % 1000;
    for (int i = 0; i < 200 && next < 0xF0000000u; ++i) {
      const uint32_t first = next;
      const uint32_t last = first + random() % 5000;
      const size_t pick = random() % 3;
      const char *codes[] = {"AU", "CN", "ZZ"};  // zz is not in the names: id 0
      const uint8_t ids[] = {13, 45, 0};
      ranges.push_back({first, last, ids[pick]});
      input += csv_line(str_ip_format(first), str_ip_format(last), codes[pick], "Somewhere");
      next = last + 1 + (random() % 2 == 0 ? 0 : random() % 3000);  // adjacent or a gap
    }
    std::vector<uint32_t> probes = {0, ranges.back().last + 1, 0xFFFFFFFFu};
    for (const ModelRange &r : ranges) {
      for (const uint32_t a :
           {r.first - 1, r.first, r.first + (r.last - r.first) / 2, r.last, r.last + 1})
        probes.push_back(a);
    }
    for (const bool close_gaps : {false, true}) {
      SetUp();
      const auto result =
          orvik(close_gaps ? std::vector<std::string>{"--close-gaps"} : std::vector<std::string>{},
                input);
      ASSERT_EQ(result.status, 0) << result.err;
      const auto ids = lookup(root, probes);
      ASSERT_EQ(ids.size(), probes.size());
      for (size_t i = 0; i < probes.size(); ++i) {
        ASSERT_EQ(ids[i], model_id(ranges, probes[i], close_gaps))
            << "round " << round << " close_gaps " << close_gaps << " at "
            << str_ip_format(probes[i]);
      }
      // Starts ascend strictly.
      int64_t previous = -1;
      for (const std::string &line : split_lines(table())) {
        const int64_t start = testing_support::dotted(line.substr(0, line.find(' ')));
        ASSERT_GT(start, previous) << line;
        previous = start;
      }
    }
  }
}

// The names file and the table after --update-names; the table's ids are
// checked against the names file through the library.
class OrvikUpdateNames : public OrvikOptions {
 protected:
  // The code that the names give the address in the written table.
  std::string code_at(const char *address) {
    testing_support::ScopedCwd cwd(root.path());
    ip_ranges *table = ip_ranges_new("countries");
    const uint8_t id = ip_ranges_lookup(table, testing_support::dotted(address));
    std::string code = ip_ranges_code(table, id) ? ip_ranges_code(table, id) : "(none)";
    ip_ranges_free(table);
    return code;
  }
};

TEST_F(OrvikUpdateNames, NewCodesTakeTheLowestFreeIds) {
  write_file(root / "conf/countries", "0 -- Unknown\n1 ru Russia\n3 au Australia\n5 ua Ukraine\n");
  const std::string input =
      "\"ip_start\",\"ip_end\",\"start\",\"end\",\"cc\",\"name\"\n" +  // no country "cc"
      au("1.0.0.0", "1.0.0.255") +
      "\"1.0.1.0\",\"1.0.1.255\",\"16777472\",\"16777727\",\"KR\",\"Korea, Republic of\"\r\n" +
      csv_line("1.0.2.0", "1.0.2.255", "CI", "Cote D\"\"Ivoire") +
      csv_line("1.0.3.0", "1.0.3.255", "kr", "Korea again") +          // known by now, in any case
      csv_line("1.0.0.9", "1.0.0.99", "ZY", "Unsorted") +              // skipped: no code
      "\"x\",\"y\",\"4294967296\",\"4294967296\",\"ZX\",\"Over\"\n" +  // malformed: no code
      "\"1.0.4.0\",\"1.0.4.255\",\"16778240\",\"16778495\",\"US\",\"United States\n" +  // no quote
      "\"1.0.5.0\",\"1.0.5.255\",\"16778496\",\"16778751\",\"EU\"\n" +  // no name: the code
      csv_line("1.0.6.0", "1.0.6.255", "A B", "Blank in the code");     // cannot be written
  const auto result = orvik({"--update-names", "-v"}, input);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(names(),
            "0 -- Unknown\n1 ru Russia\n2 kr Korea, Republic of\n3 au Australia\n"
            "4 ci Cote D\"Ivoire\n5 ua Ukraine\n6 us United States\n7 eu eu\n");
  EXPECT_NE(result.err.find(", 4 new codes, 1 unknown codes (a b 1)\n"), std::string::npos)
      << result.err;
  const std::pair<const char *, const char *> expected[] = {
      {"1.0.0.7", "au"}, {"1.0.1.7", "kr"}, {"1.0.2.7", "ci"}, {"1.0.3.7", "kr"},
      {"1.0.4.7", "us"}, {"1.0.5.7", "eu"}, {"1.0.6.7", "--"}, {"1.0.7.0", "--"},
  };
  for (const auto &[address, code] : expected) EXPECT_EQ(code_at(address), code) << address;
  EXPECT_EQ(conf(), kConf);
  const std::string messages = day_log(root.path(), "message.log");
  EXPECT_NE(messages.find("|orvik| new code in conf/countries: 2 kr Korea, Republic of\n"),
            std::string::npos)
      << messages;
  EXPECT_NE(messages.find("|orvik| new code in conf/countries: 7 eu eu\n"), std::string::npos);
}

TEST_F(OrvikUpdateNames, WithoutANamesFileIdsStartAtOne) {
  remove((root / "conf/countries").c_str());
  const auto result = orvik({"--update-names"}, cn("0.1.0.0", "0.1.0.255") + kThreeRanges);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(names(), "1 cn China\n2 au Australia\n");  // in the order of first appearance
  EXPECT_EQ(table(), "0.0.0.0 0\n0.1.0.0 1\n1.0.0.0 2\n1.0.1.0 1\n1.0.4.0 2\n1.0.8.0 0\n");
}

// The names file is regenerated only when a code is new, then from what the
// names parser reads in the old one.
TEST_F(OrvikUpdateNames, RewritesTheNamesOnlyForNewCodes) {
  const std::string odd_layout = "0 -- Unknown\n13\tau\t\tAustralia  \n45 cn China";
  write_file(root / "conf/countries", odd_layout);
  EXPECT_EQ(orvik({"--update-names"}, kThreeRanges).status, 0);
  EXPECT_EQ(names(), odd_layout);
  EXPECT_EQ(table(), kThreeRangesTable);

  EXPECT_EQ(
      orvik({"--update-names"}, kThreeRanges + csv_line("2.0.0.0", "2.0.0.255", "DE", "Germany"))
          .status,
      0);
  EXPECT_EQ(names(), "0 -- Unknown\n1 de Germany\n13 au Australia  \n45 cn China\n");
}

TEST_F(OrvikUpdateNames, TooManyCodesChangeNothing) {
  std::string input;
  for (int i = 0; i < 256; ++i) {
    const std::string code = {static_cast<char>('A' + i / 26), static_cast<char>('A' + i % 26)};
    const std::string first = "2.0." + std::to_string(i) + ".0";
    input += csv_line(first, "2.0." + std::to_string(i) + ".255", code, "Somewhere");
  }
  for (const bool with_names : {true, false}) {
    SetUp();
    if (!with_names) remove((root / "conf/countries").c_str());
    // With kNames, au and cn are known: 254 new codes for 253 free ids.
    const std::string expected = with_names
                                     ? "orvik: cannot add 254 new codes to conf/countries: only "
                                       "253 ids of 1-255 are free\n"
                                     : "orvik: cannot add 256 new codes to conf/countries: only "
                                       "255 ids of 1-255 are free\n";
    const auto result = orvik({"--update-names"}, input);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, expected);
    EXPECT_EQ(table(), kOldTable);
    if (with_names) {
      EXPECT_EQ(names(), kNames);
      EXPECT_EQ(conf(), kConf);
    } else {
      EXPECT_EQ(list_table_files(root / "conf"), std::vector<std::string>{"countries.ips"});
    }
  }
  // One code fewer fits exactly: ids up to 255.
  const auto fits = orvik({"--update-names"}, input.substr(input.find('\n') + 1));
  EXPECT_EQ(fits.status, 0) << fits.err;
  EXPECT_EQ(split_lines(names()).size(), 255u);
  EXPECT_EQ(split_lines(names()).back(), "255 jv Somewhere");
}

// Standard input can be read once only: a pipe into --update-names still
// gives the names and the table from the same lines.
TEST_F(OrvikUpdateNames, ReadsAPipeOnce) {
  const std::string csv =
      input_file("in.csv", kThreeRanges + csv_line("2.0.0.0", "2.0.0.255", "DE", "Germany"));
  const auto result = testing_support::run_program(
      "/bin/sh",
      {"-c", "cat \"$0\" | \"$1\" -r \"$2\" --update-names", csv, ORVIK_BIN, root.path()}, "");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(names(), std::string(kNames).replace(13, 0, "1 de Germany\n"));
  EXPECT_EQ(table(), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.4.0 13\n2.0.0.0 1\n2.0.1.0 0\n");
}

TEST_F(OrvikUpdateNames, CheckWritesNoNames) {
  const auto result = orvik({"-n", "--update-names"},
                            kThreeRanges + csv_line("2.0.0.0", "2.0.0.255", "DE", "Germany"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "4 lines read, 4 ranges accepted, 6 entries, 0 skipped as unsorted, 0 skipped as "
            "malformed, 1 new codes, 0 unknown codes\n");
  EXPECT_EQ(names(), kNames);
  EXPECT_EQ(table(), kOldTable);
  EXPECT_EQ(conf(), kConf);
}

// A names file that is there but cannot be read is never replaced.
TEST_F(OrvikUpdateNames, UnreadableNamesFileFailsTheRun) {
  remove((root / "conf/countries").c_str());
  mkdir((root / "conf/countries").c_str(), 0755);
  const auto result = orvik({"--update-names"}, kThreeRanges);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "orvik: cannot read conf/countries: not a regular file\n");
  EXPECT_EQ(table(), kOldTable);
  EXPECT_EQ(conf(), kConf);
}

}  // namespace
