// orvik replaces "conf/countries.ips" again and again while another process
// keeps reloading and looking up the table: every answer must come from one
// complete table, old or new, never from a cut or mixed one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hardening_procs.h"
#include "ip_ranges.h"
#include "replacement_tables.h"
#include "test_support.h"

namespace {

using testing_support::read_file;
using testing_support::run_program;
using testing_support::write_file;

const std::string kRoot = TEST_ROOT;
using namespace testing_support::replacement;

constexpr int kReplacements = 100;

bool writer_done(int fd) {
  char byte;
  return read(fd, &byte, 1) == 0;  // end of file: the writer closed its end
}

// Reloads and looks up until the writer is done, then once more.
ReaderFigures run_reader(int done_fd) {
  if (chdir(kRoot.c_str()) != 0) return ReaderFigures{kNoTable};
  ip_ranges *table = ip_ranges_new("countries");
  ReaderFigures figures = read_while_replaced(table, [done_fd] { return writer_done(done_fd); });
  ip_ranges_free(table);
  return figures;
}

class OrvikReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::fresh_root(kRoot);
    write_file(kRoot + "/conf/countries", names_file());
  }
  void TearDown() override { testing_support::remove_tree_at(kRoot); }
};

TEST_F(OrvikReplace, ReaderOnlyEverSeesCompleteTables) {
  // Each input's table, made once beforehand; version 0 is in place at the start.
  std::string inputs[kVersions], tables[kVersions];
  for (int v = kVersions - 1; v >= 0; v--) {
    inputs[v] = csv_input(v);
    ASSERT_EQ(run_program(ORVIK_TESTROOT_BIN, {}, inputs[v]).status, 0);
    tables[v] = read_file(kRoot + "/conf/countries.ips");
    ASSERT_GT(tables[v].size(), 50000u);
  }

  int done[2], report[2];
  ASSERT_EQ(pipe(done), 0);
  ASSERT_EQ(pipe(report), 0);
  fcntl(done[0], F_SETFL, O_NONBLOCK);
  pid_t reader = testing_support::fork_child([&] {
    close(done[1]);
    close(report[0]);
    ReaderFigures figures = run_reader(done[0]);
    return write(report[1], &figures, sizeof figures) == sizeof figures ? 0 : 1;
  });
  close(done[0]);
  close(report[1]);

  // A short pause between runs lets the reader sweep each table it picks up
  // between replacements.
  int survived = 0;
  for (int run = 1; run <= kReplacements; run++) {
    if (run_program(ORVIK_TESTROOT_BIN, {}, inputs[run % kVersions]).status == 0) survived++;
    usleep(25000);
  }
  close(done[1]);

  ReaderFigures figures;
  ASSERT_EQ(read(report[0], &figures, sizeof figures), static_cast<ssize_t>(sizeof figures));
  close(report[0]);
  EXPECT_EQ(testing_support::wait_child(reader), 0);

  std::printf(
      "orvik replacements survived: %d of %d; reader: %d reloads, %d version changes, "
      "%ld lookups\n",
      survived, kReplacements, figures.reloads, figures.versions_seen, figures.lookups);
  RecordProperty("replacements", survived);
  RecordProperty("reloads", figures.reloads);
  EXPECT_EQ(survived, kReplacements);
  EXPECT_EQ(figures.status, kFine) << "1 mixed table, 2 no table, 3 unknown version";
  EXPECT_GE(figures.reloads, 2) << "the replacements span several seconds";
  // The last run's table is in place, complete; no temporary file is left.
  EXPECT_EQ(read_file(kRoot + "/conf/countries.ips"), tables[kReplacements % kVersions]);
  EXPECT_EQ(testing_support::list_table_files(kRoot + "/conf"),
            (std::vector<std::string>{"countries", "countries.ips", "countries.ipt"}));
}

}  // namespace
