// tamsel -6, run as the real binary against temporary roots: the IPv6
// boundary tables it prints, the pieces it refuses and their messages, its
// options with -6, IPv6 lines without -6, and its table and CIDR blocks
// against Python's ipaddress on generated lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ip_ranges.h"
#include "ip_ranges_table_support.h"
#include "python_models.h"
#include "str.h"
#include "str/internal/uint128.h"
#include "test_support.h"

namespace {

using testing_support::day_log;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempRoot;
using testing_support::write_file;

const std::string top = "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";

std::string lines(std::initializer_list<std::string> entries) {
  std::string text;
  for (const std::string &e : entries) text += e + "\n";
  return text;
}

// A root whose names file gives "ru" the id 7, and a start directory for
// the operands. Each run gets a fresh root, so its log holds that run's
// messages alone.
class TamselIpv6 : public ::testing::Test {
 protected:
  struct Run {
    RunResult result;
    std::string errors;  // the run's error.log
  };

  Run run(std::vector<std::string> args, const std::string &input = "") {
    TempRoot root;
    write_file(root / "conf/countries", "0 -- Unknown\n7 ru Russia\n");
    args.insert(args.begin(), {"-r", root.path()});
    const std::string dir = start.path();
    Run run;
    run.result = run_program(TAMSEL_BIN, args, input, [&dir] {
      if (chdir(dir.c_str()) != 0) _exit(126);
    });
    run.errors = day_log(root.path(), "error.log");
    return run;
  }

  TempRoot start;
};

TEST_F(TamselIpv6, PrintsTheTableOfTheUnion) {
  // A line whose first 255-byte piece holds a network and white space: the
  // rest of the line is a piece of its own.
  const std::string long_line = "2001:db8::/32" + std::string(242, ' ') + "2001:db9::/32\n";
  struct Case {
    const char *name;
    std::string input, table;
  };
  const Case cases[] = {
      {"no ranges", "", lines({":: 0"})},
      {"one network", "2001:db8::/32\n", lines({":: 0", "2001:db8:: 7", "2001:db9:: 0"})},
      {"overlapping", "2001:db8::/32\n2001:db8:8000::-2001:dba::\n",
       lines({":: 0", "2001:db8:: 7", "2001:dba::1 0"})},
      {"adjacent", "2001:db8::/32\n2001:db9::/32\n",
       lines({":: 0", "2001:db8:: 7", "2001:dba:: 0"})},
      {"touching by one address", "::5-::9\n::a-::f\n", lines({":: 0", "::5 7", "::10 0"})},
      {"a gap of one address", "::5-::9\n::b-::f\n",
       lines({":: 0", "::5 7", "::a 0", "::b 7", "::10 0"})},
      {"unsorted", "2001:db9::/32\n2001:db8::/48\n",
       lines({":: 0", "2001:db8:: 7", "2001:db8:1:: 0", "2001:db9:: 7", "2001:dba:: 0"})},
      {"contained, listed first", "2001:db8:1::/48\n2001:db8::/32\n",
       lines({":: 0", "2001:db8:: 7", "2001:db9:: 0"})},
      {"same first, shorter later", "2001:db8::/32\n2001:db8::/64\n",
       lines({":: 0", "2001:db8:: 7", "2001:db9:: 0"})},
      {"single address", "2001:db8::1/128\n", lines({":: 0", "2001:db8::1 7", "2001:db8::2 0"})},
      // The bottom of the space: a first range at :: or ::1 has its own entry.
      {"from ::", "::/64\n", lines({":: 7", "0:0:0:1:: 0"})},
      {"from ::1", "::1-::ff\n", lines({":: 0", "::1 7", "::100 0"})},
      {":: alone", "::/128\n", lines({":: 7", "::1 0"})},
      {"from ::, then a gap", "::/64\n2001:db8::/32\n",
       lines({":: 7", "0:0:0:1:: 0", "2001:db8:: 7", "2001:db9:: 0"})},
      // The top: no entry after a range that reaches it.
      {"up to the top", "ffff::/16\n", lines({":: 0", "ffff:: 7"})},
      {"the top alone", top + "/128\n", lines({":: 0", top + " 7"})},
      {"inside one up to the top", "ff00::-" + top + "\nffff::/16\n", lines({":: 0", "ff00:: 7"})},
      {"below the top", "ffff::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe\n",
       lines({":: 0", "ffff:: 7", top + " 0"})},
      {"whole space in halves", "8000::/1\n::/1\n", lines({":: 7"})},
      {"whole space as a range", "::-" + top + "\n", lines({":: 7"})},
      // Spellings, white space and line ends.
      {"exploded and upper case", "2001:0DB8:0000:0000:0000:0000:0000:0000/32\n",
       lines({":: 0", "2001:db8:: 7", "2001:db9:: 0"})},
      {"dotted tail, written in hex", "::ffff:192.0.2.0/120\n",
       lines({":: 0", "::ffff:c000:200 7", "::ffff:c000:300 0"})},
      {"white space around", " \t2001:db8::1 - 2001:db8::ff \t\r\n",
       lines({":: 0", "2001:db8::1 7", "2001:db8::100 0"})},
      {"last line without LF", "2001:db8::/32\r\n2001:db9::/32",
       lines({":: 0", "2001:db8:: 7", "2001:dba:: 0"})},
      {"79-byte line",
       "ffff:0000:0000:0000:0000:0000:0000:0000-ffff:0000:0000:0000:0000:0000:0000:00ff\n",
       lines({":: 0", "ffff:: 7", "ffff::100 0"})},
      {"long line in 255-byte pieces", long_line, lines({":: 0", "2001:db8:: 7", "2001:dba:: 0"})},
      // IPv4 lines are passed over.
      {"IPv4 lines among them", "10.0.0.0/8\n2001:db8::/32\n1.2.3.4-1.2.3.5\n",
       lines({":: 0", "2001:db8:: 7", "2001:db9:: 0"})},
  };
  for (const Case &c : cases) {
    Run r = run({"-6"}, c.input);
    EXPECT_EQ(r.result.status, 0) << c.name << r.result.err;
    EXPECT_EQ(r.result.out, c.table) << c.name;
    EXPECT_EQ(r.errors, "") << c.name;
  }
}

// A bad piece gives exactly one message and nothing in the table; the
// warning keeps its range.
TEST_F(TamselIpv6, RefusesBadPiecesWithAMessage) {
  const std::string nothing = lines({":: 0"});
  const std::string long_bits = "2001:db8::/" + std::string(150, '9');
  struct Case {
    std::string input, message, table;
  };
  const Case cases[] = {
      {"2001:db8::/0", "wrong bits count: 2001:db8::/0", nothing},
      {"2001:db8::/129", "wrong bits count: 2001:db8::/129", nothing},
      {"2001:db8::/", "wrong bits count: 2001:db8::/", nothing},
      {"2001:db8::/x", "wrong bits count: 2001:db8::/x", nothing},
      {"2001:db8::/+32", "wrong bits count: 2001:db8::/+32", nothing},
      {"2001:db8::/ 32", "wrong bits count: 2001:db8::/ 32", nothing},
      {"2001:db8::/32x", "wrong bits count: 2001:db8::/32x", nothing},
      {"2001:db8::/3 2", "wrong bits count: 2001:db8::/3 2", nothing},
      {"2001:db8::/-1", "wrong bits count: 2001:db8::/-1", nothing},
      {long_bits, "wrong bits count: " + long_bits, nothing},  // logged whole
      {"::1-", "wrong last address: ", nothing},
      {"::1-nothing", "wrong last address: nothing", nothing},
      {"::1 - ::2 x", "wrong last address:  ::2 x", nothing},
      {"::1-10.0.0.1", "wrong last address: 10.0.0.1", nothing},
      {"::1-::2-::3", "wrong last address: ::2-::3", nothing},
      {"::1-ffff::/16", "wrong last address: ffff::/16", nothing},
      {"::1-" + top + "0", "wrong last address: " + top + "0", nothing},
      {"::9-::1", "wrong range order: ::9-::1", nothing},
      {"2001:db8::", "wrong string: 2001:db8::", nothing},  // bare, without -s
      {"fe80::1%eth0", "wrong string: fe80::1%eth0", nothing},
      {"[2001:db8::1]", "wrong string: [2001:db8::1]", nothing},
      {"face 2001:db8::/32", "wrong string: face 2001:db8::/32", nothing},
      {"prefix: 2001:db8::/32", "wrong string: prefix: 2001:db8::/32", nothing},
      {"2001:db8:::/32", "wrong string: 2001:db8:::/32", nothing},
      {"1:2:3:4:5:6:7:8:9/64", "wrong string: 1:2:3:4:5:6:7:8:9/64", nothing},
      {"1::2g/64", "wrong string: 1::2g/64", nothing},
      {"2001:db8:: /32", "wrong string: 2001:db8:: /32", nothing},
      {"2001:db8::1 2001:db8::2", "wrong string: 2001:db8::1 2001:db8::2", nothing},
      {"", "wrong string: ", nothing},
      {"# comment", "wrong string: # comment", nothing},
      // IPv4 pieces that a run without -6 refuses too.
      {"10.0.0.0/33", "wrong string: 10.0.0.0/33", nothing},
      {"1.2.3.4", "wrong string: 1.2.3.4", nothing},
      {"2001:db8::5/120", "warning: network has more bits when mask: 2001:db8::5/120",
       lines({":: 0", "2001:db8::5 7", "2001:db8::100 0"})},
  };
  for (const Case &c : cases) {
    Run r = run({"-6"}, c.input + "\n");
    EXPECT_EQ(r.result.status, 0) << c.input << r.result.err;
    EXPECT_EQ(r.result.out, c.table) << c.input;
    EXPECT_NE(r.errors.find("|tamsel| " + c.message + "\n"), std::string::npos)
        << c.input << " logged: " << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << c.input << r.errors;
  }
}

// Every option with -6: operands and "-", --cidr, -s and the -v summary,
// which counts the IPv4 pieces passed over.
TEST_F(TamselIpv6, OptionsWorkWithIpv6) {
  write_file(start / "a.txt", "2001:db8::/32\n");
  write_file(start / "b.txt", "2001:db9::/32");  // no line feed at its end
  const std::string joined = lines({":: 0", "2001:db8:: 7", "2001:dba:: 0"});
  const std::string mixed = "2001:db8::/32\nbad\n10.0.0.0/8\n192.0.2.7\n";
  struct Case {
    std::vector<std::string> args;
    std::string input, out, err;
  };
  const Case cases[] = {
      {{"-6", "a.txt", "b.txt"}, "", joined, ""},
      {{"a.txt", "--ipv6", "-"}, "2001:db9::/32\n", joined, ""},
      {{"-6", "--cidr", "a.txt", "b.txt"}, "", "2001:db8::/31\n", ""},
      {{"-6", "--cidr"}, "", "", ""},
      {{"-6", "--cidr"}, "10.0.0.0/8\n", "", ""},
      {{"-6", "--cidr"}, "8000::/1\n::/1\n", "::/0\n", ""},
      {{"-6", "--cidr"}, "::1-::4\n", "::1/128\n::2/127\n::4/128\n", ""},
      {{"-6", "--cidr"}, "2001:db8::5/126\n", "2001:db8::5/128\n2001:db8::6/127\n", ""},
      {{"-6", "--cidr"}, top + "/128\n", top + "/128\n", ""},
      {{"-6", "-s"}, "2001:db8::7\n", lines({":: 0", "2001:db8::7 7", "2001:db8::8 0"}), ""},
      {{"-6", "--single", "--cidr"}, " 2001:db8::7 \t\r\n", "2001:db8::7/128\n", ""},
      {{"-6", "-s", "--cidr"}, "::\n::1\n" + top + "\n", "::/127\n" + top + "/128\n", ""},
      {{"-6", "-s", "--cidr"}, "::ffff:1.2.3.4\n", "::ffff:102:304/128\n", ""},
      {{"-6", "-v"},
       mixed,
       lines({":: 0", "2001:db8:: 7", "2001:db9:: 0"}),
       "tamsel: lines read 4, ranges accepted 1, rejected 2, IPv4 ignored 1, entries printed 3\n"},
      {{"-6", "-s", "-v", "--cidr"},
       mixed,
       "2001:db8::/32\n",
       "tamsel: lines read 4, ranges accepted 1, rejected 1, IPv4 ignored 2, "
       "CIDR blocks printed 1\n"},
      {{"-6", "-v"},
       std::string(300, 'x') + "\n",
       lines({":: 0"}),
       "tamsel: lines read 1, ranges accepted 0, rejected 2, IPv4 ignored 0, entries printed 1\n"},
      {{"-6", "-v", "a.txt", "nosuch"},
       "",
       "",
       "tamsel: cannot open nosuch: No such file or directory\n"},
  };
  for (const Case &c : cases) {
    std::string label =
        testing::PrintToString(c.args) + " input " + testing::PrintToString(c.input);
    Run r = run(c.args, c.input);
    EXPECT_EQ(r.result.status, c.err.starts_with("tamsel: cannot") ? 1 : 0) << label;
    EXPECT_EQ(r.result.out, c.out) << label;
    EXPECT_EQ(r.result.err, c.err) << label;
  }
}

// Without -6 an IPv6 line is read by the IPv4 rules as before: mostly
// "wrong string"; one holding a dotted quad is read leniently as IPv4.
TEST_F(TamselIpv6, WithoutTheOptionIpv6LinesAreReadAsBefore) {
  struct Case {
    std::string input, message, out;
  };
  const std::string none = lines({"0.0.0.1 0"});
  const Case cases[] = {
      {"2001:db8::/32", "wrong string: 2001:db8::/32", none},
      {"2001:db8::1-2001:db8::ff", "wrong string: 2001:db8::1-2001:db8::ff", none},
      {"::1", "wrong string: ::1", none},
      {top + "/128", "wrong string: " + top + "/128", none},
      {"::ffff:1.2.3.4/128", "wrong bits count: ::ffff:1.2.3.4/128", none},
      {"::ffff:1.2.3.4-::ffff:1.2.3.9", "", lines({"0.0.0.0 0", "1.2.3.4 7", "1.2.3.10 0"})},
  };
  for (const Case &c : cases) {
    for (const char *option : {"-v", "-s"}) {
      Run r = run({option}, c.input + "\n");
      EXPECT_EQ(r.result.status, 0) << c.input;
      EXPECT_EQ(r.result.out, c.out) << option << " " << c.input;
      if (c.message.empty()) {
        EXPECT_EQ(r.errors, "") << c.input;
      } else {
        EXPECT_NE(r.errors.find("|tamsel| " + c.message + "\n"), std::string::npos)
            << c.input << " logged: " << r.errors;
      }
    }
  }
  EXPECT_EQ(run({"-v"}, "2001:db8::/32\n10.0.0.0/8\n").result.err,
            "tamsel: lines read 2, ranges accepted 1, rejected 1, entries printed 3\n");
}

// The library's IPv6 table reader takes the printed table as the same set
// of addresses: probed at both ends of every range and next to them.
TEST_F(TamselIpv6, TheLibraryReadsTheTableBack) {
  using velmor::uint128;
  const struct {
    const char *line, *first, *last;
  } ranges[] = {
      {"::-::ff", "::", "::ff"},
      {"2001:db8::/32", "2001:db8::", "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"},
      {"2001:db8:1::/48", "2001:db8:1::", "2001:db8:1:ffff:ffff:ffff:ffff:ffff"},
      {"2001:db9::1-2001:db9::ff", "2001:db9::1", "2001:db9::ff"},
      {"2001:db9::100-2001:db9::1ff", "2001:db9::100", "2001:db9::1ff"},
      {"fe80::/10", "fe80::", "febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
      {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ff00/120", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ff00",
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
  };
  std::string input;
  std::vector<std::pair<uint128, uint128>> spans;
  for (const auto &r : ranges) {
    input += std::string(r.line) + "\n";
    uint8_t first[16], last[16];
    ASSERT_TRUE(str_ip6_parse(r.first, first) && str_ip6_parse(r.last, last)) << r.line;
    spans.emplace_back(velmor::uint128_from_bytes(first), velmor::uint128_from_bytes(last));
  }
  Run r = run({"-6"}, input);
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  testing_support::RangesRoot root;
  write_file("conf/blocklist6.ips", r.result.out);
  testing_support::ScopedRanges table("blocklist");
  ASSERT_TRUE(ip_ranges_load6(table.table)) << root.error_log();
  auto covered = [&spans](uint128 a) {
    return std::any_of(spans.begin(), spans.end(),
                       [a](const auto &s) { return s.first <= a && a <= s.second; });
  };
  for (const auto &[first, last] : spans) {
    for (uint128 probe : {first - 1, first, last, last + 1}) {
      uint8_t bytes[16];
      velmor::uint128_to_bytes(probe, bytes);
      EXPECT_EQ(ip_ranges_lookup6(table.table, bytes), covered(probe) ? 7 : 0)
          << str_ip6_format(bytes);
    }
  }
}

// --- against Python's ipaddress on generated lists --------------------------

class TamselIpv6AgainstPython : public TamselIpv6 {
 protected:
  // Generates the list (three files) and runs the model on it.
  void generate_and_model(unsigned seed, int count) {
    const std::string model = testing_support::python_model("tamsel6_model.py");
    RunResult made = testing_support::run_python(
        {model, "generate", std::to_string(seed), std::to_string(count), start.path()});
    ASSERT_EQ(made.status, 0) << made.err;
    RunResult judged = testing_support::run_python(
        {model, "model", "7", start / "model", start / "list0", start / "list1", start / "list2"});
    ASSERT_EQ(judged.status, 0) << judged.err;
  }

  // tamsel -6 -s on the same three files: two operands and, between them,
  // standard input as "-".
  std::string ours(std::vector<std::string> options) {
    options.insert(options.end(), {"-6", "-s", "list0", "-", "list1"});
    Run r = run(options, testing_support::read_file(start / "list2"));
    EXPECT_EQ(r.result.status, 0) << r.result.err;
    EXPECT_EQ(r.result.err, "");
    EXPECT_EQ(r.errors, "");
    return r.result.out;
  }
};

TEST_F(TamselIpv6AgainstPython, SameTableAndBlocks) {
  SKIP_WITHOUT_PYTHON();
  // The largest list merges into well over 500,000 table entries.
  const struct {
    unsigned seed;
    int lines;
    size_t least_entries;
  } lists[] = {{1, 10, 1}, {2, 3000, 1000}, {3, 300000, 500000}};
  for (const auto &list : lists) {
    generate_and_model(list.seed, list.lines);
    const std::string table = testing_support::read_file(start / "model.table");
    EXPECT_GE(std::count(table.begin(), table.end(), '\n'), list.least_entries);
    EXPECT_EQ(testing_support::first_difference(ours({}), table), "") << "seed " << list.seed;
    EXPECT_EQ(testing_support::first_difference(ours({"--cidr"}),
                                                testing_support::read_file(start / "model.cidr")),
              "")
        << "seed " << list.seed;
  }
}

}  // namespace
