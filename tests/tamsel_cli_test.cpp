// The tamsel program's command line, run as the real binary against
// temporary roots: options and operands, the usage texts, the root rule,
// failures, -s, and --cidr against models that share no code with it
// (Python's ipaddress, Debian's iprange).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "python_models.h"
#include "str.h"
#include "test_support.h"

namespace {

using testing_support::day_log;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempRoot;
using testing_support::write_file;

// The table of 10.0.0.0/8 and 12.0.0.0/8 with "ru" as id 7.
const std::string two_nets_table = "0.0.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n12.0.0.0 7\n13.0.0.0 0\n";

// Runs tamsel in the start directory start (relative operands are taken
// from there); before_exec runs in the child, after the change of
// directory.
RunResult run_tamsel(const std::string &start, const std::vector<std::string> &args,
                     const std::string &input, const std::function<void()> &before_exec = nullptr) {
  return run_program(TAMSEL_BIN, args, input, [&start, &before_exec] {
    if (chdir(start.c_str()) != 0) _exit(126);
    if (before_exec) before_exec();
  });
}

// A root whose names file gives "ru" the id 7, and a separate start
// directory for the operands, so that a relative name read from the root
// instead would be noticed.
class TamselCommandLine : public ::testing::Test {
 protected:
  void SetUp() override { write_file(root / "conf/countries", "0 -- Unknown\n7 ru Russia\n"); }

  // Runs with "-r <root>" before args.
  RunResult run(std::vector<std::string> args, const std::string &input = "") {
    args.insert(args.begin(), {"-r", root.path()});
    return run_tamsel(start.path(), args, input);
  }

  std::string errors() const { return day_log(root.path(), "error.log"); }

  TempRoot root, start;
};

TEST_F(TamselCommandLine, OptionsAndOperands) {
  write_file(start / "a.txt", "10.0.0.0/8\n");
  write_file(start / "b.txt", "12.0.0.0/8");  // no line feed at its end
  write_file(start / "-dash", "10.0.0.0/8\n12.0.0.0/8\n");
  std::string many;  // several input blocks of 256 KiB
  for (int i = 0; i < 60000; ++i) many += "10.0.0.0/8\n";
  write_file(start / "many.txt", many);
  struct Case {
    std::vector<std::string> args;
    std::string input, out, err;
  };
  const std::string both = "10.0.0.0/8\n12.0.0.0/8\n";
  const Case cases[] = {
      // Operands: files in order, "-" for standard input, none for it alone;
      // the ranges of all of them are merged, a last line without its line
      // feed is not joined to the next file.
      {{}, both, two_nets_table, ""},
      {{"-"}, both, two_nets_table, ""},
      {{"a.txt", "b.txt"}, "", two_nets_table, ""},
      {{"b.txt", "a.txt"}, "", two_nets_table, ""},
      {{"a.txt", "-"}, "12.0.0.0/8\n", two_nets_table, ""},
      {{start / "a.txt", "b.txt"}, "", two_nets_table, ""},
      {{"--", "-dash"}, "", two_nets_table, ""},
      // --cidr, also after the operands (options are permuted).
      {{"--cidr"}, both, both, ""},
      {{"a.txt", "b.txt", "--cidr"}, "", both, ""},
      {{"--cidr", "many.txt", "b.txt"}, "", both, ""},
      {{"--cidr"}, "", "", ""},
      {{"--cidr"}, "x\n", "", ""},
      {{"--cidr"}, "0.0.0.0/1\n128.0.0.0/1\n", "0.0.0.0/0\n", ""},
      {{"--cidr"},
       "100.64.0.0/10\n1.0.0.0-1.0.0.9\n",
       "1.0.0.0/29\n1.0.0.8/31\n100.64.0.0/10\n",
       ""},
      {{"--cidr"}, "10.0.0.0-10.0.0.255\n10.0.1.0/24\n10.0.0.7-10.0.0.9\n", "10.0.0.0/23\n", ""},
      {{"--cidr"}, "10.0.0.5/30\n", "10.0.0.5/32\n10.0.0.6/31\n", ""},  // kept as written
      {{"--cidr"}, "255.255.255.0-1.1.1\n", "255.255.255.0/24\n", ""},  // open range
      // -v: the summary after a successful run; a line over 63 bytes is one
      // line read but two pieces rejected.
      {{"-v"},
       "10.0.0.0/8\nbad\n12.0.0.0/8",
       two_nets_table,
       "tamsel: lines read 3, ranges accepted 2, rejected 1, entries printed 5\n"},
      {{"--verbose", "--cidr"},
       both + std::string(70, 'x') + "\n",
       both,
       "tamsel: lines read 3, ranges accepted 2, rejected 2, CIDR blocks printed 2\n"},
      {{"-v", "--cidr"},
       "",
       "",
       "tamsel: lines read 0, ranges accepted 0, rejected 0, "
       "CIDR blocks printed 0\n"},
      // An operand that cannot be opened or read fails the whole run, after
      // standard input was read too: nothing printed, one line, no summary.
      {{"nosuch"}, "", "", "tamsel: cannot open nosuch: No such file or directory\n"},
      {{"-v", "--cidr", "a.txt", "-", "nosuch"},
       "12.0.0.0/8\n",
       "",
       "tamsel: cannot open nosuch: No such file or directory\n"},
      {{"a.txt", "."}, "", "", "tamsel: cannot read .: Is a directory\n"},
  };
  for (const Case &c : cases) {
    std::string label =
        testing::PrintToString(c.args) + " input " + testing::PrintToString(c.input);
    RunResult result = run(c.args, c.input);
    EXPECT_EQ(result.status, c.err.starts_with("tamsel: cannot") ? 1 : 0) << label;
    EXPECT_EQ(result.out, c.out) << label;
    EXPECT_EQ(result.err, c.err) << label;
    if (result.status == 1) {
      // The line on standard error is the cause the log holds.
      std::string cause = c.err.substr(strlen("tamsel: "), c.err.size() - strlen("tamsel: ") - 1);
      EXPECT_NE(errors().find("|tamsel| " + cause), std::string::npos) << label << errors();
    }
  }
}

TEST_F(TamselCommandLine, HelpVersionAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_first, err_first;  // the first line of each
  };
  const std::string usage = "Usage: tamsel [OPTION]... [FILE]...";
  const Case cases[] = {
      {{"-h"}, 0, usage, ""},
      {{"--help", "nosuch"}, 0, usage, ""},
      {{"-V"}, 0, "tamsel ", ""},
      {{"--version"}, 0, "tamsel ", ""},
      {{"-x"}, 2, "", "tamsel: unknown option '-x'"},
      {{"-sx"}, 2, "", "tamsel: unknown option '-x'"},
      {{"--bogus"}, 2, "", "tamsel: unknown option '--bogus'"},
      {{"--cidr=yes"}, 2, "", "tamsel: option '--cidr' takes no value"},
      {{"-r"}, 2, "", "tamsel: option '-r' needs a value"},
      {{"--root"}, 2, "", "tamsel: option '--root' needs a value"},
      {{"-h", "-x"}, 2, "", "tamsel: unknown option '-x'"},
  };
  for (const Case &c : cases) {
    std::string label = testing::PrintToString(c.args);
    // No -r here: "-r" must stay the last word of its cases.
    RunResult result = run_tamsel(start.path(), c.args, "10.0.0.0/8\n");
    EXPECT_EQ(result.status, c.status) << label;
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')).substr(0, c.out_first.size()),
              c.out_first)
        << label << result.out;
    EXPECT_EQ(result.err.substr(0, result.err.find('\n')), c.err_first) << label;
    if (c.status == 2) {
      EXPECT_EQ(result.out, "") << label;
      EXPECT_EQ(result.err, c.err_first + "\n" + usage + " (see tamsel --help)\n") << label;
    }
  }
  // The help names every option; the version is one line.
  const std::string help = run_tamsel(start.path(), {"--help"}, "").out;
  for (const char *option :
       {"--cidr", "-s, --single", "-r, --root", "-v, --verbose", "-h, --help", "-V, --version"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option << " not in:\n" << help;
  }
  EXPECT_TRUE(std::regex_match(run_tamsel(start.path(), {"-V"}, "").out,
                               std::regex("tamsel [0-9]+\\.[0-9]+\\.[0-9]+\n")));
}

// -r, then $VELMOR_ROOT when set and not empty: the id printed for "ru"
// tells which root's names file was read, and the log lies there too.
TEST_F(TamselCommandLine, RootComesFromTheOptionThenTheEnvironment) {
  TempRoot other;
  write_file(other / "conf/countries", "3 ru Russia\n");
  const std::string other_table = "0.0.0.0 0\n10.0.0.0 3\n11.0.0.0 0\n";
  const std::string own_table = "0.0.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n";
  // A relative root is taken from the start directory.
  const std::string relative = "../" + root.path().substr(root.path().rfind('/') + 1);
  struct Case {
    std::vector<std::string> args;
    const char *environment;  // VELMOR_ROOT, unset when null
    std::string out;
  };
  const Case cases[] = {
      {{}, other.path().c_str(), other_table},
      {{"-r", root.path()}, other.path().c_str(), own_table},
      {{"--root=" + root.path()}, other.path().c_str(), own_table},
      {{"-r", relative}, other.path().c_str(), own_table},
      {{"-r", root.path()}, "", own_table},
      {{"-r", root.path()}, nullptr, own_table},
  };
  for (const Case &c : cases) {
    std::string label = testing::PrintToString(c.args) +
                        " VELMOR_ROOT=" + (c.environment != nullptr ? c.environment : "(unset)");
    RunResult result = run_tamsel(start.path(), c.args, "10.0.0.0/8\nbad\n", [&c] {
      if (c.environment != nullptr) {
        setenv("VELMOR_ROOT", c.environment, 1);
      } else {
        unsetenv("VELMOR_ROOT");
      }
    });
    EXPECT_EQ(result.status, 0) << label << result.err;
    EXPECT_EQ(result.out, c.out) << label;
    const std::string &used = c.out == own_table ? root.path() : other.path();
    EXPECT_NE(day_log(used, "error.log").find("wrong string: bad"), std::string::npos) << label;
  }
}

// Each failed run prints exactly one line on standard error, whatever the
// options: the root's own line when it cannot be entered (no second line),
// else the cause the run logged last.
TEST_F(TamselCommandLine, FailedRunsPrintOneLine) {
  struct Case {
    std::vector<std::string> args;
    bool close_output;
    std::string err;
  };
  const Case cases[] = {
      {{"-r", root / "missing"},
       false,
       "tamsel: cannot chdir to " + root / "missing" + ": No such file or directory\n"},
      {{"-v", "-r", root / "missing"},
       false,
       "tamsel: cannot chdir to " + root / "missing" + ": No such file or directory\n"},
      {{"-r", root.path()}, true, "tamsel: cannot write to standard output: Bad file descriptor\n"},
      {{"-v", "--cidr", "-r", root.path()},
       true,
       "tamsel: cannot write to standard output: Bad file descriptor\n"},
  };
  for (const Case &c : cases) {
    std::string label = testing::PrintToString(c.args);
    RunResult result = run_tamsel(start.path(), c.args, "bad\n10.0.0.0/8\n", [&c] {
      if (c.close_output) close(1);
    });
    EXPECT_EQ(result.status, 1) << label;
    EXPECT_EQ(result.err, c.err) << label;
  }
}

// -s: which pieces are a bare address. Leading text is skipped up to the
// first digit; after the address only white space may follow; a piece with
// "/" or "-" keeps its own meaning.
TEST_F(TamselCommandLine, SingleAddresses) {
  struct Case {
    std::vector<std::string> args;
    std::string input, out;
    bool rejected;  // logged as "wrong string"
  };
  const Case cases[] = {
      {{"-s", "--cidr"}, "192.0.2.7\n", "192.0.2.7/32\n", false},
      {{"--single", "--cidr"}, "host 192.0.2.7 \t\r\n", "192.0.2.7/32\n", false},
      {{"-s", "--cidr"}, "192.0.2.7", "192.0.2.7/32\n", false},
      {{"-s", "--cidr"}, "0.0.0.0\n", "0.0.0.0/32\n", false},
      {{"-s", "--cidr"}, "255.255.255.255\n", "255.255.255.255/32\n", false},
      {{"-s", "--cidr"},
       "192.0.2.6\n192.0.2.7\n192.0.2.5\n",
       "192.0.2.5/32\n192.0.2.6/31\n",
       false},
      {{"-s", "--cidr"},
       "192.0.2.7/32\n192.0.2.8-192.0.2.9\n",
       "192.0.2.7/32\n192.0.2.8/31\n",
       false},
      {{"-s", "--cidr"}, "192.0.2.7 # office\n", "", true},
      {{"-s", "--cidr"}, "192.0.2.7.1\n", "", true},
      {{"-s", "--cidr"}, "192.0.2\n", "", true},
      {{"-s", "--cidr"}, "port 80 192.0.2.7\n", "", true},
      {{"-s", "--cidr"}, "255.255.255.255/32\n", "", true},
      {{"-s", "--cidr"}, "to-do 255.255.255.255\n", "", true},
      {{"-s", "--cidr"}, "\n", "", true},
      {{"--cidr"}, "192.0.2.7\n", "", true},  // without -s, as before
      {{"-s"}, "192.0.2.7\n", "0.0.0.0 0\n192.0.2.7 7\n192.0.2.8 0\n", false},
      {{}, "192.0.2.7\n", "0.0.0.1 0\n", true},
  };
  for (const Case &c : cases) {
    TempRoot fresh;
    write_file(fresh / "conf/countries", "7 ru Russia\n");
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-r", fresh.path()});
    std::string label = testing::PrintToString(c.args) + " " + testing::PrintToString(c.input);
    RunResult result = run_tamsel(start.path(), args, c.input);
    EXPECT_EQ(result.status, 0) << label << result.err;
    EXPECT_EQ(result.out, c.out) << label;
    const std::string logged = day_log(fresh.path(), "error.log");
    EXPECT_EQ(logged.find("|tamsel| wrong string: ") != std::string::npos, c.rejected)
        << label << logged;
  }
}

// --- --cidr against independent models ------------------------------------

// A generated range list, split into three parts: two files and standard
// input. Lines are networks at their network address, explicit ranges and
// bare addresses, crowded into three windows (at 0.0.0.0, at the top of the
// space, one at random) so that about half of each window is covered and
// many ranges overlap or touch. Forms that tamsel reads differently from the
// models by design are not generated: 255.255.255.255 as the first address
// of a network or range (no address to tamsel; it is written bare instead)
// and /0.
struct RangeList {
  std::string parts[3];
};

std::string ip_text(uint32_t address) { return str_ip_format(address); }

std::string range_line(std::mt19937 &rng, uint32_t first) {
  switch (rng() % 3) {
    case 0: {
      int bits = 23 + static_cast<int>(rng() % 10);
      uint32_t mask = bits == 32 ? UINT32_MAX : ~(UINT32_MAX >> bits);
      first &= mask;
      if (first == UINT32_MAX) return ip_text(first);
      return ip_text(first) + "/" + std::to_string(bits);
    }
    case 1: {
      uint32_t length = rng() % 400;
      uint32_t last = first > UINT32_MAX - length ? UINT32_MAX : first + length;
      if (first == UINT32_MAX) return ip_text(first);
      return ip_text(first) + "-" + ip_text(last);
    }
    default:
      return ip_text(first);
  }
}

RangeList generate(unsigned seed, uint32_t count) {
  std::mt19937 rng(seed);
  const uint32_t span = 128 * count + 4096;
  const uint32_t windows[] = {0, UINT32_MAX - span + 1, static_cast<uint32_t>(rng()) >> 1};
  RangeList list;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t first = windows[rng() % 3] + rng() % span;
    list.parts[rng() % 3] += range_line(rng, first) + "\n";
  }
  // The very ends of the space, alone or joined to their neighbours.
  list.parts[0] += "0.0.0.0\n255.255.255.255\n";
  return list;
}

struct Outputs {
  std::string tamsel, model;
};

class CidrAgainstModels : public TamselCommandLine {
 protected:
  // Runs "tamsel --cidr -s" on the list (two files and, between them,
  // standard input as "-") and the model command on the same three parts as
  // files. False when the model is not installed (env gives status 127).
  bool compare(const RangeList &list, const std::vector<std::string> &model_command,
               Outputs *outputs) {
    write_file(start / "part0", list.parts[0]);
    write_file(start / "part1", list.parts[1]);
    write_file(start / "part2", list.parts[2]);
    std::vector<std::string> args = model_command;
    for (const char *part : {"part0", "part1", "part2"}) args.push_back(start / part);
    RunResult model = run_program("/usr/bin/env", args, "");
    if (model.status == 127) return false;
    EXPECT_EQ(model.status, 0) << model.err;
    RunResult ours = run({"--cidr", "-s", "part0", "-", "part1"}, list.parts[2]);
    EXPECT_EQ(ours.status, 0) << ours.err;
    EXPECT_EQ(ours.err, "");
    outputs->tamsel = ours.out;
    outputs->model = model.out;
    return true;
  }
};

std::vector<std::string> python_cidr_model() {
  return {testing_support::python3_path(), testing_support::python_model("tamsel_cidr_model.py")};
}

const struct {
  unsigned seed;
  uint32_t lines;
} generated_lists[] = {{1, 10}, {2, 300}, {3, 3000}, {4, 8000}};

TEST_F(CidrAgainstModels, SameBlocksAsPythonIpaddress) {
  SKIP_WITHOUT_PYTHON();
  for (const auto &g : generated_lists) {
    Outputs outputs;
    ASSERT_TRUE(compare(generate(g.seed, g.lines), python_cidr_model(), &outputs));
    EXPECT_EQ(outputs.tamsel, outputs.model) << "seed " << g.seed;
    EXPECT_FALSE(outputs.tamsel.empty());
  }
}

// iprange prints a single address without "/32"; tamsel always writes the
// prefix length.
std::string with_prefix_lengths(const std::string &text) {
  std::string out;
  for (const std::string &line : testing_support::split_lines(text)) {
    out += line.find('/') == std::string::npos ? line + "/32\n" : line + "\n";
  }
  return out;
}

TEST_F(CidrAgainstModels, SameBlocksAsIprange) {
  for (const auto &g : generated_lists) {
    Outputs outputs;
    if (!compare(generate(g.seed, g.lines), {"iprange"}, &outputs)) {
      GTEST_SKIP() << "iprange is not installed (scripts/deps installs it)";
    }
    EXPECT_EQ(outputs.tamsel, with_prefix_lengths(outputs.model)) << "seed " << g.seed;
  }
}

// The whole space, in pieces that overlap and touch: one block.
TEST_F(CidrAgainstModels, PiecesOfTheWholeSpaceGiveOneBlock) {
  SKIP_WITHOUT_PYTHON();
  RangeList list;
  list.parts[0] = "0.0.0.0-127.255.255.255\n200.0.0.0/5\n";
  list.parts[1] = "128.0.0.0-200.0.0.0\n";
  list.parts[2] = "208.0.0.0-255.255.255.254\n255.255.255.255\n";
  Outputs outputs;
  ASSERT_TRUE(compare(list, python_cidr_model(), &outputs));
  EXPECT_EQ(outputs.tamsel, "0.0.0.0/0\n");
  EXPECT_EQ(outputs.model, "0.0.0.0/0\n");
}

}  // namespace
