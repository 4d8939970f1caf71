// The hit counter and its counter file.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST_F(HitCount, ConcurrentFlushesAddUp) {
  constexpr int kProcesses = 4;
  constexpr int kHitsEach = 100500;  // 100 flushes of 1000, then 500 on close
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      close(start[1]);
      char go;
      if (read(start[0], &go, 1) != 0) _exit(2);  // all start once the pipe closes
      for (int i = 0; i < kHitsEach; ++i) hit_count("prog", false);
      _exit(hit_count("prog", true) == kHitsEach ? 0 : 1);
    }
    children.push_back(pid);
  }
  close(start[0]);
  close(start[1]);
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(read_file(counter_file()), std::to_string(kProcesses * kHitsEach) + "    \n");
}

}  // namespace
