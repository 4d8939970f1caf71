// The library in a threaded server: each thread with its own record (heap
// or mapped) looks up and reloads while the table is replaced; threads log at once; ring
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
#include "ip_ranges/internal/mapped_record.h"
#include "misc.h"
#include "replacement_tables.h"
#include "str.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace testing_support::replacement;

constexpr int kThreads = 8;

// The one way the tests below replace the table: the real orvik, which
// writes the text tables and the compiled table in one run.
int replace_table(const TempRoot &root, const std::string &input) {
  return run_in_root(ORVIK_BIN, root, {}, input).status != 0 ? 1 : 0;
}

// kThreads readers, each with its own record (of ip_ranges_new_mapped when
// compiled), look up and reload while the table is replaced 100 times.
void read_while_the_table_is_replaced(bool compiled) {
  TempRoot root;
  write_file(root / "conf/countries", names_file());
  std::string inputs[kVersions];
  for (int v = kVersions - 1; v >= 0; v--) {
    inputs[v] = csv_input(v);
    ASSERT_EQ(replace_table(root, inputs[v]), 0);
  }
  ScopedCwd cwd(root.path());
  restart_logger("threads");

  // The writer is a process of its own, forked before any thread starts.
  constexpr int kReplacements = 100;
  pid_t writer = fork_child([&] {
    int failed = 0;
    for (int run = 1; run <= kReplacements; run++) {
      failed += replace_table(root, inputs[run % kVersions]);
      usleep(25000);  // time for the readers to sweep the tables they pick up
    }
    return failed;
  });

  std::atomic<bool> writer_done{false};
  std::vector<ReaderFigures> figures(kThreads);
  std::vector<std::thread> readers;
  for (int t = 0; t < kThreads; t++) {
    readers.emplace_back([&figures, &writer_done, t, compiled] {
      ip_ranges *table = compiled ? ip_ranges_new_mapped("countries") : ip_ranges_new("countries");
      figures[t] = read_while_replaced(table, [&writer_done] { return writer_done.load(); });
      ip_ranges_free(table);
    });
  }
  EXPECT_EQ(wait_child(writer), 0) << "replacements that failed";
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
  std::printf("%d threads (%s records): %d reloads, %ld lookups during %d replacements\n", kThreads,
              compiled ? "mapped" : "heap", reloads, lookups, kReplacements);
  if (compiled) {
    ip_ranges *table = ip_ranges_new_mapped("countries");
    EXPECT_EQ(version_of(table), kReplacements % kVersions);
    EXPECT_TRUE(velmor::answers_from_compiled(table));  // the last compiled table is in use
    ip_ranges_free(table);
    // orvik renames the compiled table before the text tables: no reader
    // ever found it older than they are and fell back to the text.
    EXPECT_EQ(day_log(root.path(), "message.log").find("reading the text tables"),
              std::string::npos)
        << day_log(root.path(), "message.log");
  }
  EXPECT_EQ(day_log(root.path(), "error.log"), "");
}

TEST(Threads, EachThreadWithItsOwnRecordSeesOnlyWholeTablesWhileOrvikReplacesThem) {
  read_while_the_table_is_replaced(false);
}

// Mapped records: each thread maps the compiled file on its own; a reload
// maps the new file before it unmaps the old one.
TEST(Threads, EachThreadWithItsOwnMappedRecordSeesOnlyWholeTablesWhileOrvikReplacesThem) {
  read_while_the_table_is_replaced(true);
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

// orvik reads its lines on a second thread while the run's thread builds
// the tables: with many batches of lines (one sorted, one not, and a line
// of another shape among them for the careful reader), the tables are the
// ones the lines give, in input order.
TEST(Threads, OrvikReadsItsLinesOnASecondThread) {
  TempRoot root;
  write_file(root / "conf/countries", "0 -- Unknown\n13 au Australia\n45 cn China\n");
  constexpr uint32_t kRanges = 60000;  // a few MB of lines: many batches
  std::string input, expected = "0.0.0.0 0\n";
  for (uint32_t i = 0; i < kRanges; i++) {
    const uint32_t start = (i + 1) << 8;
    const bool au = i % 2 == 0;
    input += std::string(i == kRanges / 2 ? " " : "") + str_ip_format(start) + "," +
             str_ip_format(start | 255) + (au ? ",AU\n" : ",CN\n");
    expected += std::string(str_ip_format(start)) + (au ? " 13\n" : " 45\n");
  }
  expected += std::string(str_ip_format((kRanges + 1) << 8)) + " 0\n";
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"--format", "range-code"},
        std::vector<std::string>{"--format", "range-code", "--sort"}}) {
    const RunResult run = run_in_root(ORVIK_BIN, root, args, input);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(read_file(root / "conf/countries.ips"), expected);
  }
}
