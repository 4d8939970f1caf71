// Runs of orvik as an operator meets them: overlapping runs (cron and a
// hand run), a names file that is missing or lists none of the input's
// codes, a new empty root, and the temporaries of runs that were killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "hardening_procs.h"
#include "orvik_csv.h"
#include "test_support.h"

namespace {

using testing_support::au;
using testing_support::csv_line;
using testing_support::day_log;
using testing_support::list_table_files;
using testing_support::path_exists;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::TempRoot;
using testing_support::write_file;

constexpr const char *kNames = "0 -- Unknown\n13 au Australia\n45 cn China\n";
constexpr const char *kOldTable = "0.0.0.0 0\n9.0.0.0 13\n";

RunResult orvik(const TempRoot &root, const std::vector<std::string> &args,
                const std::string &input = "") {
  return testing_support::run_in_root(ORVIK_BIN, root, args, input);
}

// Holds conf/countries.lock the way a running orvik does.
class HeldLock {
 public:
  explicit HeldLock(const TempRoot &root)
      : fd_(open((root / "conf/countries.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    EXPECT_EQ(flock(fd_, LOCK_EX), 0);
  }
  ~HeldLock() { release(); }
  void release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Two --update-names runs at once, each with a code of its own, used to
// lose one run's code from the names file, or leave one run's table under
// the other's names (an address then answered the other input's country).
// The runs now take turns: both codes are listed, and each address
// answers the country of the input that made the live table, or none.
TEST(OrvikSafeRuns, OverlappingRunsKeepEveryCodeAndAnswerTheirOwnInput) {
  // Enough lines that the runs last long enough to overlap.
  std::string filler;
  for (int i = 0; i < 3000; ++i)
    filler += au("10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".0",
                 "10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".255");
  const std::string input_a = csv_line("1.0.0.0", "1.0.0.255", "XA", "Alpha") + filler;
  const std::string input_b = csv_line("2.0.0.0", "2.0.0.255", "XB", "Beta") + filler;
  for (int attempt = 0; attempt < 20; ++attempt) {
    SCOPED_TRACE(attempt);
    TempRoot root;
    write_file(root / "conf/countries", kNames);
    write_file(root / "a.csv", input_a);
    write_file(root / "b.csv", input_b);
    RunResult a, b;
    std::thread first([&] { a = orvik(root, {"--update-names", "--close-gaps", root / "a.csv"}); });
    b = orvik(root, {"--update-names", "--close-gaps", root / "b.csv"});
    first.join();
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    const std::string names = read_file(root / "conf/countries");
    EXPECT_NE(names.find(" xa Alpha\n"), std::string::npos) << names;
    EXPECT_NE(names.find(" xb Beta\n"), std::string::npos) << names;
    const RunResult answers =
        testing_support::run_in_root(IPLOOKUP_BIN, root, {"1.0.0.1", "2.0.0.1"});
    ASSERT_EQ(answers.status, 0) << answers.err;
    const std::vector<std::string> lines = testing_support::split_lines(answers.out);
    ASSERT_EQ(lines.size(), 2u) << answers.out;
    const bool table_a = lines[0].find(" xa Alpha") != std::string::npos;
    const bool table_b = lines[1].find(" xb Beta") != std::string::npos;
    EXPECT_TRUE(table_a != table_b) << answers.out;  // one whole table, of one input
    EXPECT_NE(lines[table_a ? 1 : 0].find(" 0 -- Unknown"), std::string::npos) << answers.out;
  }
}

TEST(OrvikSafeRuns, SecondRunWaitsForTheFirst) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", kOldTable);
  HeldLock lock(root);
  RunResult run;
  std::thread waiting([&] { run = orvik(root, {"--wait", "30"}, au("1.0.0.0", "1.0.0.255")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable);  // still waiting
  // A check writes nothing and takes no lock.
  EXPECT_EQ(orvik(root, {"--check"}, au("1.0.0.0", "1.0.0.255")).status, 0);
  lock.release();
  waiting.join();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(read_file(root / "conf/countries.ips"), "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n");
  const std::string messages = day_log(root.path(), "message.log");
  EXPECT_NE(messages.find("|orvik| waiting for conf/countries.lock: another run is writing the "
                          "table\n"),
            std::string::npos)
      << messages;
  EXPECT_NE(messages.find("|orvik| locked conf/countries.lock after waiting "), std::string::npos)
      << messages;
}

TEST(OrvikSafeRuns, WaitPastItsBoundFailsAndChangesNothing) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", kOldTable);
  HeldLock lock(root);
  const auto start = std::chrono::steady_clock::now();
  const RunResult run = orvik(root, {"--wait=1", "--update-names"}, au("1.0.0.0", "1.0.0.255"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "orvik: cannot lock conf/countries.lock: another run held it for 1 seconds\n");
  EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable);
  EXPECT_EQ(read_file(root / "conf/countries"), kNames);
  EXPECT_EQ(list_table_files(root / "conf"),
            (std::vector<std::string>{"countries", "countries.ips"}));
}

// The lock file lies in a directory other accounts may write: a link or a
// FIFO planted under its name is refused, never followed or waited on.
TEST(OrvikSafeRuns, PlantedLockFileIsRefused) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", kOldTable);
  const std::string lock = root / "conf/countries.lock";
  struct Case {
    const char *what;
    std::string plant;  // shell command
    std::string line;
  } const cases[] = {
      {"link to a file", "ln -s ../victim '" + lock + "'",
       "orvik: cannot open conf/countries.lock: Too many levels of symbolic links\n"},
      {"dangling link", "ln -s ../absent '" + lock + "'",
       "orvik: cannot open conf/countries.lock: Too many levels of symbolic links\n"},
      {"FIFO", "mkfifo '" + lock + "'",
       "orvik: cannot lock conf/countries.lock: not a regular file\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    write_file(root / "victim", "precious\n");
    unlink(lock.c_str());
    ASSERT_EQ(system(c.plant.c_str()), 0);
    const RunResult run = orvik(root, {}, au("1.0.0.0", "1.0.0.255"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.line);
    EXPECT_EQ(read_file(root / "victim"), "precious\n");
    EXPECT_FALSE(path_exists(root / "absent"));
    EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable);
  }
}

// Without a names file, or with one that lists none of the input's codes,
// every range would get id 0: the live table used to be replaced by one
// that answers no country, with status 0. Such a run is refused.
TEST(OrvikSafeRuns, NoKnownCodeKeepsTheOldTables) {
  const std::string input =
      au("1.0.0.0", "1.0.0.255") + csv_line("1.0.1.0", "1.0.1.255", "CN", "China");
  const std::string missing =
      "orvik: cannot read the names file conf/countries: No such file or directory\n";
  const std::string none =
      "orvik: refusing to replace the tables: conf/countries lists none of the input's 2 codes\n";
  struct Case {
    const char *names;  // null: no names file
    std::vector<std::string> args;
    int status;
    std::string err;
    std::string table;  // after the run
  } const cases[] = {
      {nullptr, {}, 1, missing, kOldTable},
      {nullptr, {"--close-gaps", "-v"}, 1, missing, kOldTable},
      {"1 ru Russia\n2 by Belarus\n", {}, 1, none, kOldTable},
      {"", {}, 1, none, kOldTable},
      {"1 ru Russia\n",
       {"--check"},
       1,
       "orvik: check failed for the tables: conf/countries lists none of the input's 2 codes\n",
       kOldTable},
      // Some codes known: as always, the others are logged and get id 0.
      {"13 au Australia\n", {}, 0, "", "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 0\n1.0.2.0 0\n"},
      // --update-names makes the names file.
      {nullptr, {"--update-names"}, 0, "", "0.0.0.0 0\n1.0.0.0 1\n1.0.1.0 2\n1.0.2.0 0\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.names ? c.names : "(no names file)");
    TempRoot root;
    if (c.names != nullptr) write_file(root / "conf/countries", c.names);
    write_file(root / "conf/countries.ips", kOldTable);
    const RunResult run = orvik(root, c.args, input);
    EXPECT_EQ(run.status, c.status);
    if (c.status != 0 || c.args.empty()) {
      EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(read_file(root / "conf/countries.ips"), c.table);
  }
}

// orvik -r DIR on an empty DIR used to fail ("cannot open conf/...") after
// the logger's complaints about logs/. It makes conf/ and logs/ itself,
// mode 0755 whatever the umask, and never through a link.
TEST(OrvikSafeRuns, NewRootJustWorks) {
  TempRoot root;
  testing_support::remove_tree_at(root / "conf");
  testing_support::remove_tree_at(root / "logs");
  write_file(root / "data.csv", au("1.0.0.0", "1.0.0.255"));
  const RunResult run = testing_support::run_in_root(
      ORVIK_BIN, root, {"--update-names", root / "data.csv"}, "", [] { umask(077); });
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const char *dir : {"conf", "logs"}) {
    struct stat st;
    ASSERT_EQ(lstat((root / dir).c_str(), &st), 0) << dir;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << dir;
    EXPECT_EQ(st.st_mode & 07777, 0755u) << dir;
  }
  EXPECT_EQ(read_file(root / "conf/countries"), "1 au Australia\n");
  EXPECT_EQ(read_file(root / "conf/countries.ips"), "0.0.0.0 0\n1.0.0.0 1\n1.0.1.0 0\n");

  // A dangling link where conf/ should be is not created through.
  TempRoot other;
  testing_support::remove_tree_at(other / "conf");
  ASSERT_EQ(symlink((other / "elsewhere").c_str(), (other / "conf").c_str()), 0);
  const RunResult refused = orvik(other, {"--update-names", root / "data.csv"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_FALSE(path_exists(other / "elsewhere"));
}

// A run killed half-way leaves "<file>.<pid>" behind; the next run removes
// those of runs no longer running: the names themselves (a link is removed,
// its target kept), never other files or those of a live run.
TEST(OrvikSafeRuns, TemporariesOfDeadRunsAreRemoved) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  const pid_t dead = testing_support::fork_child([] { return 0; });
  testing_support::wait_child(dead);
  const std::string d = std::to_string(dead);
  const std::string live = std::to_string(getpid());  // this test runs while orvik does
  const std::vector<std::string> stale = {"countries.ips." + d, "countries6.ips." + d,
                                          "countries." + d, "countries.ipt." + d};
  const std::vector<std::string> kept = {"countries.ips." + live, "countries.ips.bak",
                                         "countries.ips.0" + d, "countries.ips.1x",
                                         "blocklist.ips." + d};
  for (const std::string &name : stale) write_file(root / "conf/" + name, "half\n");
  for (const std::string &name : kept) write_file(root / "conf/" + name, "keep\n");
  write_file(root / "victim", "precious\n");
  const std::string linked = root / ("conf/countries6.ips." + std::to_string(dead + 1000000));
  ASSERT_EQ(symlink((root / "victim").c_str(), linked.c_str()), 0);

  const RunResult run = orvik(root, {}, au("1.0.0.0", "1.0.0.255"));
  ASSERT_EQ(run.status, 0) << run.err;
  for (const std::string &name : stale) EXPECT_FALSE(path_exists(root / "conf/" + name)) << name;
  for (const std::string &name : kept)
    EXPECT_EQ(read_file(root / "conf/" + name), "keep\n") << name;
  struct stat st;
  EXPECT_NE(lstat(linked.c_str(), &st), 0);
  EXPECT_EQ(read_file(root / "victim"), "precious\n");
  const std::string messages = day_log(root.path(), "message.log");
  EXPECT_NE(messages.find("|orvik| removed conf/countries.ips." + d +
                          ", left by a run that is no longer running\n"),
            std::string::npos)
      << messages;
}

}  // namespace
