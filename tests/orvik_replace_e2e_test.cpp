// orvik replaces "conf/countries.ips" again and again while another process
// keeps reloading and looking up the table: every answer must come from one
// complete table, old or new, never from a cut or mixed one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "hardening_procs.h"
#include "ip_ranges.h"
#include "orvik_csv.h"
#include "str.h"
#include "test_support.h"

namespace {

using testing_support::csv_line;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::write_file;

const std::string kRoot = TEST_ROOT;
constexpr int kRanges = 4000;  // ranges 1..4000, a /12 each: a table of about 56 KB
constexpr int kVersions = 3;   // the inputs the writer alternates between
constexpr int kReplacements = 100;

// Range k of version v maps to this id; range 1 alone tells the versions apart.
int id_of(int version, int range) { return 1 + (version * 31 + range * 7) % 250; }
uint32_t start_of(int range) { return static_cast<uint32_t>(range) << 20; }

std::string code_of(int id) {
  return std::string{static_cast<char>('a' + id / 26), static_cast<char>('a' + id % 26)};
}

// Names file with ids 1..250, codes "ab".."jq".
std::string names_file() {
  std::string text = "0 -- Unknown\n";
  for (int id = 1; id <= 250; id++) text += std::to_string(id) + " " + code_of(id) + " C\n";
  return text;
}

std::string dotted(uint32_t address) { return str_ip_format(address); }

std::string csv_input(int version) {
  std::string text;
  for (int k = 1; k <= kRanges; k++) {
    std::string code = code_of(id_of(version, k));
    for (char &c : code) c = static_cast<char>(c - 'a' + 'A');  // orvik folds the case
    text += csv_line(dotted(start_of(k)), dotted(start_of(k + 1) - 1), code, "Somewhere");
  }
  return text;
}

struct ReaderFigures {
  int status = 0;  // a ReaderFault
  int reloads = 0;
  int versions_seen = 0;  // tables loaded whose version differed from the one before
  long lookups = 0;
};

enum ReaderFault { kFine = 0, kMixed = 1, kNoTable = 2, kNoVersion = 3 };

// The version of the loaded table, from range 1; -1 when no version has that id.
int version_of(ip_ranges *table) {
  uint8_t id = ip_ranges_lookup(table, start_of(1) + 77);
  for (int v = 0; v < kVersions; v++)
    if (id == id_of(v, 1)) return v;
  return id == 0 ? -2 : -1;
}

// Every range of the loaded table, in the middle and at both ends, must give
// the id of the version that range 1 names.
int sweep(ip_ranges *table, int *version, long *lookups) {
  *version = version_of(table);
  if (*version == -2) return kNoTable;
  if (*version < 0) return kNoVersion;
  for (int k = 1; k <= kRanges; k++) {
    uint32_t probes[] = {start_of(k), start_of(k) + 0x7FFFF, start_of(k + 1) - 1};
    for (uint32_t a : probes)
      if (ip_ranges_lookup(table, a) != id_of(*version, k)) return kMixed;
    *lookups += 3;
  }
  return kFine;
}

bool writer_done(int fd) {
  char byte;
  return read(fd, &byte, 1) == 0;  // end of file: the writer closed its end
}

// Reloads and looks up until the writer is done, then once more.
ReaderFigures run_reader(int done_fd) {
  ReaderFigures figures;
  if (chdir(kRoot.c_str()) != 0) return figures.status = kNoTable, figures;
  ip_ranges *table = ip_ranges_new("countries");
  std::mt19937 rng(7);
  int version = -1;
  if ((figures.status = sweep(table, &version, &figures.lookups))) return figures;
  bool last_round = false;
  while (!last_round) {
    last_round = writer_done(done_fd);
    if (ip_ranges_reload(table)) {
      int before = version;
      figures.reloads++;
      if ((figures.status = sweep(table, &version, &figures.lookups))) return figures;
      if (version != before) figures.versions_seen++;
    }
    for (int i = 0; i < 256; i++) {
      int k = 1 + static_cast<int>(rng() % kRanges);
      if (ip_ranges_lookup(table, start_of(k) + (rng() & 0xFFFFF)) != id_of(version, k))
        return figures.status = kMixed, figures;
    }
    figures.lookups += 256;
  }
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

  // The reload looks at whole seconds: a short pause between runs spreads the
  // replacements over a few seconds, so the reader picks up several of them.
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
  EXPECT_EQ(testing_support::list_dir(kRoot + "/conf"),
            (std::vector<std::string>{"countries", "countries.ips"}));
}

}  // namespace
