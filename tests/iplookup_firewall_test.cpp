// iplookup's ipset and nft scripts loaded by the real tools, each test in a
// network namespace of its own (the sets live and die there). The sets read
// back from the kernel are judged against a model of the tables built with
// Python's ipaddress module (tests/models/firewall_sets_model.py), on
// generated tables of real size: the sets hold the codes' addresses; a
// second export replaces them whole, also after one of more than 65,536
// elements and while rules use them; a failed export or a script cut short
// leaves them as they were; sets made by the old hand-made recipes. The
// commands are the examples of iplookup(1), read from the page.
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "orvik_csv.h"
#include "python_models.h"
#include "script_writes.h"
#include "str.h"
#include "test_support.h"

using testing_support::python_model;
using testing_support::read_file;
using testing_support::run_in_root;
using testing_support::run_program;
using testing_support::run_python;
using testing_support::RunResult;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::write_file;

namespace {

const char kNames[] = "0 -- Unknown\n1 ru Russian Federation\n2 by Belarus\n7 nl Netherlands\n";

// The lines of the example marked ".\" example: NAME" in iplookup(1): those
// of the next .nf/.fi block, with roff's \- and \(aq back as - and '.
std::vector<std::string> man_example(const std::string &name) {
  const std::string page = read_file(std::string(TEST_MODELS_DIR) + "/../../man/iplookup.1");
  const std::vector<std::string> lines = split_lines(page);
  std::vector<std::string> example;
  size_t i = 0;
  while (i < lines.size() && lines[i] != ".\\\" example: " + name) ++i;
  while (i < lines.size() && lines[i] != ".nf") ++i;
  for (++i; i < lines.size() && lines[i] != ".fi"; ++i) {
    std::string line = std::regex_replace(lines[i], std::regex(R"(\\-)"), "-");
    example.push_back(std::regex_replace(line, std::regex(R"(\\\(aq)"), "'"));
  }
  EXPECT_FALSE(example.empty()) << "no example " << name << " in iplookup(1)";
  return example;
}

std::string joined(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\n";
  return text;
}

// What differs between the two tools.
struct Tool {
  const char *format;  // --format
  const char *load;    // reads a script on standard input
  const char *list;    // every set, for the model
  const char *model;   // the model's check
};

const Tool kIpset{"ipset", "ipset restore", "ipset save", "ipset"};
const Tool kNft{"nft", "nft -f -", "nft -j list ruleset", "nft"};

// The exported sets velmor-ru-by and velmor-ru-by6 alone, as the tool lists
// them (the listing of a set that did not change does not change).
std::string list_live(const Tool &tool, const std::string &name = "velmor-ru-by") {
  if (&tool == &kIpset) return "ipset save " + name + " && ipset save " + name + "6";
  return "nft list set inet velmor " + name + " && nft list set inet velmor " + name + "6";
}

// A scratch root with the names, the programs under their names on PATH,
// and a network namespace of the test's own.
class FirewallSets : public testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::python_available())
      GTEST_SKIP() << "python3 is not installed; it is the model of the sets here";
    if (sh("command -v ipset && command -v nft").status != 0)
      GTEST_SKIP() << "ipset or nft is not installed (Debian: ipset, nftables)";
    if (!enter_new_network()) GTEST_SKIP() << network_problem_;
    write_file(root_ / "conf/countries", kNames);
    mkdir((root_ / "bin").c_str(), 0755);
    symlink(IPLOOKUP_BIN, (root_ / "bin/iplookup").c_str());
    symlink(ORVIK_BIN, (root_ / "bin/orvik").c_str());
  }

  // Moves the test process, and so every program it starts, into a new
  // network namespace: the sets of the one before are gone.
  bool enter_new_network() {
    if (unshare(CLONE_NEWNET) == 0) return true;
    network_problem_ = std::string("no network namespace of its own can be made (") +
                       strerror(errno) + "); the sets would be the machine's";
    return false;
  }

  // command run by sh with the root as VELMOR_ROOT and the programs first
  // on PATH.
  RunResult sh(const std::string &command, const std::string &input = "") {
    const std::string path =
        root_ / "bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    const std::string root = root_.path();
    return run_program("/bin/sh", {"-c", command}, input, [path, root] {
      setenv("PATH", path.c_str(), 1);
      setenv("VELMOR_ROOT", root.c_str(), 1);
    });
  }

  // conf/countries.ips and conf/countries6.ips from the generators of
  // tests/models/iplookup_oracle.py.
  void generate(unsigned seed, int entries4, long window, int entries6) {
    const std::string oracle = python_model("iplookup_oracle.py");
    RunResult four = run_python({oracle, "table4", std::to_string(seed), std::to_string(entries4),
                                 std::to_string(window), root_ / "conf/countries.ips"});
    RunResult six = run_python({oracle, "table6", std::to_string(seed), std::to_string(entries6),
                                root_ / "conf/countries6.ips"});
    ASSERT_EQ(four.status + six.status, 0) << four.err << six.err;
  }

  // The model's verdict on the kernel's sets NAME and NAME6 after an export
  // of codes from the tables now in conf/: "" when they are right.
  std::string judge(const Tool &tool, const std::string &codes = "ru,by",
                    const std::string &name = "velmor-ru-by") {
    RunResult listing = sh(tool.list);
    if (listing.status != 0) return "cannot list the sets: " + listing.err;
    write_file(root_ / "listing", listing.out);
    auto table = [this](const char *file) {
      return testing_support::path_exists(root_ / file) ? root_ / file : std::string("-");
    };
    RunResult judged = run_python({python_model("firewall_sets_model.py"), tool.model,
                                   table("conf/countries.ips"), table("conf/countries6.ips"),
                                   root_ / "conf/countries", codes, name, root_ / "listing"});
    return judged.status == 0 ? "" : judged.out + judged.err;
  }

  TempRoot root_;
  std::string network_problem_;
};

// The counts of "iplookup -v --export": blocks or ranges of each family.
std::vector<long> exported_counts(const std::string &err) {
  std::vector<long> counts;
  const std::regex exported(R"(exported (\d+) (IPv6 )?(blocks|ranges))");
  for (std::sregex_iterator it(err.begin(), err.end(), exported), end; it != end; ++it)
    counts.push_back(std::stol((*it)[1]));
  return counts;
}

// Three tables in turn, each export loaded with the example of iplookup(1)
// and judged: one of real size (more than 10,000 blocks a family), one of
// more than 65,536 elements in the IPv4 set (blocks for ipset, ranges for
// nft), then a smaller one again. From the first on the sets are in use
// (rules in nft, a list:set in ipset), as a firewall's are.
TEST_F(FirewallSets, LoadedSetsHoldTheCodesAddressesAndAreReplacedWhole) {
  struct Round {
    unsigned seed;
    int entries4;
    long window;
    int entries6;
    bool big;  // more than 65,536 elements in the IPv4 set
  };
  const Round rounds[] = {
      {1, 6000, 4294967040L, 6000, false},
      {2, 250000, 1L << 27, 20000, true},
      {3, 8000, 4294967040L, 8000, false},
  };
  for (const Tool *tool : {&kIpset, &kNft}) {
    SCOPED_TRACE(tool->format);
    ASSERT_TRUE(enter_new_network());
    const std::vector<std::string> example = man_example(tool->format);
    for (const Round &round : rounds) {
      SCOPED_TRACE(round.seed);
      generate(round.seed, round.entries4, round.window, round.entries6);
      RunResult blocks = run_in_root(IPLOOKUP_BIN, root_, {"-v", "--export", "ru,by"});
      ASSERT_EQ(exported_counts(blocks.err).size(), 2u) << blocks.err;
      EXPECT_GE(exported_counts(blocks.err)[0], 10000);
      EXPECT_GE(exported_counts(blocks.err)[1], 10000);
      RunResult counted =
          run_in_root(IPLOOKUP_BIN, root_, {"-v", "--export", "ru,by", "--format", tool->format});
      ASSERT_EQ(exported_counts(counted.err).size(), 2u) << counted.err;
      if (round.big) {
        EXPECT_GT(exported_counts(counted.err)[0], 65536);
      }
      // The first round runs the whole example, the others its first line.
      const bool first = &round == &rounds[0];
      RunResult loaded = sh(first ? joined(example) : example[0]);
      ASSERT_EQ(loaded.status, 0) << loaded.err;
      EXPECT_EQ(loaded.err, "");
      EXPECT_EQ(judge(*tool), "");
      if (first && tool == &kIpset) {
        RunResult used =
            sh("ipset create velmor-users list:set && ipset add velmor-users velmor-ru-by && "
               "ipset add velmor-users velmor-ru-by6");
        ASSERT_EQ(used.status, 0) << used.err;
      }
    }
    const std::string in_use =
        tool == &kIpset ? "ipset list velmor-users" : "nft list chain inet velmor input";
    RunResult users = sh(in_use);
    EXPECT_NE(users.out.find("velmor-ru-by6"), std::string::npos) << users.out << users.err;
  }
}

// A failed export prints nothing: the pipeline of the example then changes
// nothing (its status is the loader's, 0), and the script of the example
// that writes a file first fails before loading.
TEST_F(FirewallSets, FailedExportLeavesTheSetsAsTheyWere) {
  struct Case {
    const char *what;
    const char *codes;
    const char *table6;  // written over the good one
    const char *err;
  };
  const Case cases[] = {
      {"an unknown code", "ru,xx", nullptr, "iplookup: no code 'xx' in ROOT/conf/countries\n"},
      {"an IPv6 table that cannot be used", "ru,by", "",
       "iplookup: no table loaded from ROOT/conf/countries6.ips (see ROOT/logs/current/)\n"},
  };
  for (const Tool *tool : {&kIpset, &kNft}) {
    SCOPED_TRACE(tool->format);
    ASSERT_TRUE(enter_new_network());
    generate(4, 6000, 4294967040L, 6000);
    const std::string good6 = read_file(root_ / "conf/countries6.ips");
    const std::string pipeline = man_example(tool->format)[0];
    ASSERT_EQ(sh(pipeline).status, 0);
    const std::string before = sh(tool->list).out;
    for (const Case &c : cases) {
      SCOPED_TRACE(c.what);
      if (c.table6) write_file(root_ / "conf/countries6.ips", c.table6);
      const std::string failing = std::regex_replace(pipeline, std::regex("ru,by"), c.codes);
      RunResult run = sh(failing);
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, testing_support::with_root(c.err, root_));
      EXPECT_EQ(sh(tool->list).out, before);
      if (tool == &kNft) {
        RunResult script =
            sh(std::regex_replace(joined(man_example("script")), std::regex("ru,by"), c.codes));
        EXPECT_EQ(script.status, 1);
        EXPECT_EQ(script.err, testing_support::with_root(c.err, root_));
        EXPECT_EQ(sh(tool->list).out, before);
      }
      write_file(root_ / "conf/countries6.ips", good6);
    }
  }
  // And the script of the example loads what the table holds.
  generate(5, 6000, 4294967040L, 6000);
  RunResult script = sh(joined(man_example("script")));
  EXPECT_EQ(script.status, 0) << script.err;
  EXPECT_EQ(judge(kNft), "");
}

// The script cut at each of iplookup's writes, what a reader of a pipe has
// when iplookup dies (support/script_writes.h): each cut leaves the live
// sets as they were, and the leftovers of one never stop the next; the
// whole script then loads.
TEST_F(FirewallSets, ScriptCutShortChangesNothing) {
  for (const Tool *tool : {&kIpset, &kNft}) {
    SCOPED_TRACE(tool->format);
    ASSERT_TRUE(enter_new_network());
    generate(6, 3000, 4294967040L, 3000);
    ASSERT_EQ(sh(man_example(tool->format)[0]).status, 0);
    const std::string before = sh(list_live(*tool)).out;
    ASSERT_NE(before, "");
    generate(7, 3000, 4294967040L, 3000);
    const testing_support::RecordedOutput script =
        testing_support::iplookup_writes(root_, {"--export", "ru,by", "--format", tool->format});
    ASSERT_EQ(script.status, 0);
    ASSERT_GE(script.ends.size(), 10u);
    for (const size_t end : script.ends) {
      if (end == script.text.size()) continue;
      SCOPED_TRACE(end);
      sh(tool->load, script.text.substr(0, end));
      ASSERT_EQ(sh(list_live(*tool)).out, before);
    }
    RunResult loaded = sh(tool->load, script.text);
    EXPECT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(judge(*tool), "");
  }
}

// The sets blocklist and blocklist6 of the sed recipes iplookup(1) used to
// show: ipset's (maxelem 65536) stop the script at its first line with
// nothing changed until the fix of the page gives them the script's kind;
// nft's are taken as they are.
TEST_F(FirewallSets, SetsOfTheOldRecipes) {
  generate(8, 3000, 4294967040L, 3000);
  const std::string old_ipset =
      "create blocklist hash:net -exist\nadd blocklist 192.0.2.0/24\n"
      "create blocklist6 hash:net family inet6 -exist\nadd blocklist6 2001:db8::/48\n";
  ASSERT_EQ(sh("ipset restore -exist", old_ipset).status, 0);
  const std::string before = sh("ipset save").out;
  RunResult refused = sh("iplookup --export ru --format ipset --set blocklist | ipset restore");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Error in line 1: Set cannot be created: set with the same name "
                             "already exists"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(sh("ipset save").out, before);
  RunResult fixed = sh(joined(man_example("ipset-fix")));
  EXPECT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_EQ(judge(kIpset, "ru", "blocklist"), "");
  EXPECT_EQ(sh("ipset list -n").out, "blocklist\nblocklist6\n");

  const std::string old_nft =
      "add table inet filter\n"
      "add set inet filter blocklist { type ipv4_addr; flags interval; }\n"
      "add set inet filter blocklist6 { type ipv6_addr; flags interval; }\n"
      "flush set inet filter blocklist\n"
      "add element inet filter blocklist { 192.0.2.0/24 }\n"
      "add element inet filter blocklist6 { 2001:db8::/48 }\n";
  ASSERT_EQ(sh("nft -f -", old_nft).status, 0);
  RunResult taken = sh(joined(man_example("nft-fix")));
  EXPECT_EQ(taken.status, 0) << taken.err;
  EXPECT_EQ(judge(kNft, "ru", "blocklist"), "");
}

// orvik's input, six quoted fields a line: count IPv4 ranges in ascending
// order, each of 1 to 512 addresses with gaps between, codes drawn from the
// names'.
std::string country_list(unsigned seed, int count) {
  std::mt19937 rng(seed);
  const char *const codes[] = {"RU", "BY", "NL"};
  std::string list;
  uint32_t start = 0x01000000;
  for (int i = 0; i < count; ++i) {
    const uint32_t last = start + rng() % 512;
    list += testing_support::csv_line(str_ip_format(start), str_ip_format(last), codes[rng() % 3],
                                      "Country");
    start = last + 2 + rng() % 256;
  }
  return list;
}

// The crontab line of iplookup(1), its time fields left out and with the
// test's PATH: a download (curl here prints the file CSV names, or fails)
// that orvik takes rebuilds the table and reloads the sets; one it refuses
// reloads nothing.
TEST_F(FirewallSets, CronLineReloadsOnlyWhenOrvikSucceeded) {
  const std::vector<std::string> crontab = man_example("cron");
  ASSERT_EQ(crontab.size(), 2u);
  ASSERT_EQ(crontab[0].rfind("PATH=", 0), 0u);
  const std::string job = std::regex_replace(crontab[1], std::regex(R"(^(\S+\s+){5})"), "");
  write_file(root_ / "bin/curl", "#!/bin/sh\n[ -n \"$CSV\" ] && exec cat \"$CSV\"\nexit 22\n");
  chmod((root_ / "bin/curl").c_str(), 0755);
  struct Case {
    const char *what;
    unsigned seed;
    int ranges;  // 0: the download fails
    bool loads;
  };
  const Case cases[] = {
      {"a full list", 1, 100500, true},
      {"another full list replaces the sets", 2, 100200, true},
      {"a failed download", 0, 0, false},
      {"a short list", 3, 99000, false},
  };
  std::string loaded;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string run_job = job;
    if (c.ranges > 0) {
      write_file(root_ / "list.csv", country_list(c.seed, c.ranges));
      run_job = "CSV=" + root_ / "list.csv" + " && export CSV && " + job;
    }
    RunResult run = sh(run_job);
    if (c.loads) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(judge(kIpset), "");
      loaded = sh("ipset save").out;
    } else {
      EXPECT_NE(run.status, 0);
      EXPECT_EQ(sh("ipset save").out, loaded);
    }
  }
}

}  // namespace
