// The library in a threaded server: each thread with its own record looks
// up and reloads while orvik replaces the table; threads log at once; ring
// results stay each thread's own. Built under ThreadSanitizer by the tsan
// preset, where any data race fails the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hardening_procs.h"
#include "ip_ranges.h"
#include "misc.h"
#include "replacement_tables.h"
#include "str.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace testing_support::replacement;

constexpr int kThreads = 8;

TEST(Threads, EachThreadWithItsOwnRecordSeesOnlyWholeTablesWhileOrvikReplacesThem) {
  TempRoot root;
  write_file(root / "conf/countries", names_file());
  std::string inputs[kVersions];
  for (int v = kVersions - 1; v >= 0; v--) {
    inputs[v] = csv_input(v);
    ASSERT_EQ(run_in_root(ORVIK_BIN, root, {}, inputs[v]).status, 0);
  }
  ScopedCwd cwd(root.path());
  restart_logger("threads");

  // The writer is a process of its own, forked before any thread starts.
  constexpr int kReplacements = 100;
  pid_t writer = fork_child([&] {
    int failed = 0;
    for (int run = 1; run <= kReplacements; run++) {
      if (run_in_root(ORVIK_BIN, root, {}, inputs[run % kVersions]).status != 0) failed++;
      usleep(25000);  // time for the readers to sweep the tables they pick up
    }
    return failed;
  });

  std::atomic<bool> writer_done{false};
  std::vector<ReaderFigures> figures(kThreads);
  std::vector<std::thread> readers;
  for (int t = 0; t < kThreads; t++) {
    readers.emplace_back([&figures, &writer_done, t] {
      ip_ranges *table = ip_ranges_new("countries");
      figures[t] = read_while_replaced(table, [&writer_done] { return writer_done.load(); });
      ip_ranges_free(table);
    });
  }
  EXPECT_EQ(wait_child(writer), 0) << "orvik runs that failed";
  writer_done = true;
  for (std::thread &reader : readers) reader.join();

  long lookups = 0;
  int reloads = 0;
  for (int t = 0; t < kThreads; t++) {
    EXPECT_EQ(figures[t].status, kFine) << "thread " << t << ": 1 mixed, 2 none, 3 unknown";
    EXPECT_GE(figures[t].reloads, 1) << "thread " << t;
    lookups += figures[t].lookups;
    reloads += figures[t].reloads;
  }
  std::printf("%d threads: %d reloads, %ld lookups during %d replacements\n", kThreads, reloads,
              lookups, kReplacements);
  EXPECT_EQ(day_log(root.path(), "error.log"), "");
}

// Lines logged from many threads at once: each one whole, none lost.
TEST(Threads, LinesLoggedAtOnceStayWhole) {
  TempRoot root;
  ScopedCwd cwd(root.path());
  restart_logger("threads");
  constexpr int kLines = 2000;
  std::vector<std::thread> loggers;
  for (int t = 0; t < kThreads; t++) {
    loggers.emplace_back([t] {
      for (int i = 0; i < kLines; i++) log_msg(LOG_MESSAGE, "thread %d line %d of a message", t, i);
    });
  }
  for (std::thread &logger : loggers) logger.join();
  std::vector<std::string> lines = split_lines(day_log(root.path(), "message.log"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const std::string &line : lines) {
    int t = -1, i = -1;
    const char *message = line.c_str() + line.find("| ", 9) + 2;
    ASSERT_EQ(sscanf(message, "thread %d line %d of a message", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(i, next[t]++) << line;  // each thread's lines in its own order
  }
  restart_logger("undef");
}

// Ring results are each thread's own: another thread's calls never
// overwrite a result this thread still holds.
TEST(Threads, RingResultsBelongToTheirThread) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; t++) {
    workers.emplace_back([t, &wrong] {
      for (int i = 0; i < 20000; i++) {
        const uint32_t addr = static_cast<uint32_t>(t) << 24 | static_cast<uint32_t>(i);
        const char *held = str_ip_format(addr);
        const char *number = str_num(t * 1000000 + i);
        uint8_t bytes[16] = {0x20, 0x01, 0x0d, 0xb8};
        bytes[13] = 1;
        bytes[14] = static_cast<uint8_t>(t);
        bytes[15] = static_cast<uint8_t>(i);
        const char *held6 = str_ip6_format(bytes);
        std::string expected = std::to_string(t) + "." + std::to_string(i >> 16 & 255) + "." +
                               std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
        char expected6[32];
        snprintf(expected6, sizeof expected6, "2001:db8::1:%x", t << 8 | (i & 255));
        if (expected != held || std::to_string(t * 1000000 + i) != number ||
            strcmp(held6, expected6) != 0)
          wrong++;
      }
    });
  }
  for (std::thread &worker : workers) worker.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
