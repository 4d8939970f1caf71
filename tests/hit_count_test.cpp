// The hit counter and its counter file.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "hardening_procs.h"
#include "misc.h"
#include "misc/internal/install_root.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using services_support::expect_in_child;
using services_support::logged;
using testing_support::path_exists;
using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

class HitCount : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::reset_logger();
    mkdir((root / "velmor").c_str(), 0755);
    mkdir((root / "velmor/logs").c_str(), 0755);
    velmor::set_install_root(root.path().c_str());
  }
  void TearDown() override {
    velmor::set_install_root(nullptr);
    log_msg(LOG_CLOSE, "%s", "");
  }
  int32_t hits(int n) {
    int32_t total = 0;
    for (int i = 0; i < n; ++i) total = hit_count("prog", false);
    return total;
  }
  std::string counter_file() const { return root / "velmor/logs/prog-count"; }
  TempRoot root;
  ScopedCwd cwd_{root.path()};
};

// The counter's state belongs to the process: each case runs in a child of
// its own, which starts with no hits counted and no file open.

TEST_F(HitCount, FlushesEveryThousandHits) {
  expect_in_child([&] {
    EXPECT_EQ(hits(999), 999);
    EXPECT_FALSE(path_exists(counter_file()));
    EXPECT_EQ(hits(1), 1000);
    EXPECT_EQ(read_file(counter_file()), "1000      \n");
    EXPECT_EQ(hits(1000), 2000);
    EXPECT_EQ(read_file(counter_file()), "2000      \n");
  });
}

TEST_F(HitCount, CloseAddsPendingHitsAndReopensLater) {
  expect_in_child([&] {
    write_file(counter_file(), "40        \n");
    EXPECT_EQ(hits(5), 5);
    EXPECT_EQ(hit_count("prog", true), 5);
    EXPECT_EQ(read_file(counter_file()), "45        \n");
    // The file is closed: a change made meanwhile is picked up by the next flush.
    write_file(counter_file(), "7\n");
    EXPECT_EQ(hits(2), 7);
    EXPECT_EQ(hit_count("prog", true), 7);
    EXPECT_EQ(read_file(counter_file()), "9         \n");
  });
}

TEST_F(HitCount, StoredValuesWrapAndOddFilesStartFromTheirNumber) {
  struct Case {
    const char *stored;
    int flushes;
    const char *expected;
  };
  const Case cases[] = {
      {"999999999 \n", 1, "1000000999\n"},
      {"999999999 \n", 2, "1999      \n"},
      {"", 1, "1000      \n"},
      {"no number\n", 1, "1000      \n"},
      {"12 and more text that is longer than the line\n", 1, "1012      \n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.stored);
    expect_in_child([&] {
      write_file(counter_file(), c.stored);
      hits(1000 * c.flushes);
      EXPECT_EQ(read_file(counter_file()), c.expected);
    });
  }
}

TEST_F(HitCount, FileThatCannotBeOpenedIsReportedOnceAndCountingGoesOn) {
  expect_in_child([&] {
    rmdir((root / "velmor/logs").c_str());
    EXPECT_EQ(hits(2000), 2000);
    mkdir((root / "velmor/logs").c_str(), 0755);
    EXPECT_EQ(hit_count("prog", true), 2000);
    EXPECT_FALSE(path_exists(counter_file()));
    std::string errors = testing_support::day_log(root.path(), "error.log");
    std::string message = "cannot open file " + counter_file() + ": No such file";
    ASSERT_NE(errors.find(message), std::string::npos);
    EXPECT_EQ(errors.find(message), errors.rfind(message));
  });

  expect_in_child([&] {
    std::string long_name(300, 'n');
    hit_count(long_name.c_str(), true);
    EXPECT_TRUE(logged(root.path(), "error.log", long_name + "-count: File name too long"));
  });
}

// Runs 1000 hits in a child under a file-size limit, with SIGXFSZ ignored so
// that the writes fail instead of killing it; returns what it wrote on its
// standard error (where the logger's lines go when their file is over the
// limit too).
std::string flush_under_size_limit(rlim_t limit) {
  int err[2];
  if (pipe(err) != 0) return "no pipe";
  int rc = services_support::run_in_child([&] {
    dup2(err[1], 2);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit fsize = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &fsize);
    for (int i = 0; i < 1000; ++i) hit_count("prog", false);
    return 0;
  });
  close(err[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) text.append(buf, n);
  close(err[0]);
  return rc == 0 ? text : "child failed";
}

TEST_F(HitCount, FlushOverTheFileSizeLimitKeepsTheStoredCount) {
  struct Case {
    const char *stored;  // nullptr: no counter file yet
    rlim_t limit;
    const char *after_next_flush;
  };
  const Case cases[] = {
      {"1000      \n", 0, "2000      \n"},   // nothing can be written
      {"99999     \n", 4, "100999    \n"},   // "1009" would get through
      {"999999999 \n", 10, "1000000999\n"},  // all but the line feed
      {nullptr, 0, "1000      \n"},          // created, but left empty
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "(no file)");
    unlink(counter_file().c_str());
    if (c.stored) write_file(counter_file(), c.stored);
    std::string err = flush_under_size_limit(c.limit);
    EXPECT_NE(err.find("cannot write to " + counter_file() + ": File too large"), std::string::npos)
        << err;
    EXPECT_EQ(read_file(counter_file()), c.stored ? c.stored : "");
    expect_in_child([&] {
      hits(1000);  // without the limit the count goes on from what was stored
      EXPECT_EQ(read_file(counter_file()), c.after_next_flush);
    });
  }
}

// A link planted where the counter file goes is refused, never written
// through: the file it points at keeps its contents.
TEST_F(HitCount, PlantedLinkAtTheCounterFileIsRefused) {
  write_file(root / "victim", "keep");
  ASSERT_EQ(symlink((root / "victim").c_str(), counter_file().c_str()), 0);
  expect_in_child([&] {
    EXPECT_EQ(hits(1000), 1000);
    EXPECT_EQ(hit_count("prog", true), 1000);
  });
  EXPECT_EQ(read_file(root / "victim"), "keep");
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "cannot open file " + counter_file() + ": Too many levels of symbolic links"));
}

// A program started with its standard descriptors closed: the counter
// file must not take one of them (a log line falling back to descriptor 2
// would be written into the count).
TEST_F(HitCount, CounterFileNeverTakesAStandardDescriptor) {
  expect_in_child([&] {
    for (int fd = 0; fd <= 2; ++fd) close(fd);
    hits(1000);
    for (int fd = 0; fd <= 2; ++fd) EXPECT_EQ(fcntl(fd, F_GETFD), -1) << fd;
    log_msg(LOG_MESSAGE, "a line on the standard error, if anywhere");
    EXPECT_EQ(hit_count("prog", true), 1000);
  });
  EXPECT_EQ(read_file(counter_file()), "1000      \n");
}

// A signal that interrupts the wait for the lock does not let the flush go
// on without it.
TEST_F(HitCount, InterruptedWaitForTheLockGoesOnWaiting) {
  write_file(counter_file(), "5\n");
  int holder = open(counter_file().c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  pid_t child = testing_support::fork_child([&] {
    struct sigaction action {};
    action.sa_handler = [](int) {};  // without SA_RESTART, so flock fails with EINTR
    sigaction(SIGALRM, &action, nullptr);
    struct itimerval every_50ms = {{0, 50000}, {0, 50000}};
    setitimer(ITIMER_REAL, &every_50ms, nullptr);
    for (int i = 0; i < 1000; ++i) hit_count("prog", false);
    return 0;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(read_file(counter_file()), "5\n");
  flock(holder, LOCK_UN);
  close(holder);
  EXPECT_EQ(testing_support::wait_child(child), 0);
  EXPECT_EQ(read_file(counter_file()), "1005      \n");
}

// The stored line of a count: "%-10d\n".
std::string stored_line(int count) {
  std::string digits = std::to_string(count);
  return digits + std::string(digits.size() < 10 ? 10 - digits.size() : 0, ' ') + "\n";
}

// Processes counting at once add up exactly, also when they were forked from
// a process that had opened the counter file already (a lock on a shared
// open file excludes nobody) and had hits pending (those are the parent's
// alone, counted once).
TEST_F(HitCount, ConcurrentFlushesAddUp) {
  constexpr int kProcesses = 4;
  constexpr int kHitsEach = 100500;    // 100 flushes of 1000, then 500 on close
  for (int parent_hits : {0, 1500}) {  // 1500: file open, 500 hits pending at the fork
    SCOPED_TRACE(parent_hits);
    unlink(counter_file().c_str());
    expect_in_child([&] {
      hits(parent_hits);
      testing_support::StartBarrier start;
      std::vector<pid_t> children;
      for (int p = 0; p < kProcesses; ++p) {
        children.push_back(testing_support::fork_child([&] {
          start.wait();
          for (int i = 0; i < kHitsEach; ++i) hit_count("prog", false);
          return hit_count("prog", true) == kHitsEach ? 0 : 1;
        }));
      }
      start.release();
      for (pid_t pid : children) EXPECT_EQ(testing_support::wait_child(pid), 0);
      EXPECT_EQ(hit_count("prog", true), parent_hits);
      EXPECT_EQ(read_file(counter_file()), stored_line(parent_hits + kProcesses * kHitsEach));
    });
  }
}

}  // namespace
