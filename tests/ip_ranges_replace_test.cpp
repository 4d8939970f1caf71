// A table renamed over the old one while another process keeps reloading and
// looking up: every answer comes from one complete table, old or new.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "ip_ranges.h"
#include "ip_ranges_table_support.h"
#include "str.h"

using namespace testing_support;

namespace {

constexpr int kEntries = 4096;  // about 60 KB: far more than one stdio buffer
constexpr int kVersions = 120;
constexpr int64_t kTime = 1'600'000'000;

// Entry 0 names the version; the others differ between versions so that a
// mix of two files or a cut file shows.
uint8_t id_of(int version, int entry) {
  if (entry == 0) return static_cast<uint8_t>(version + 1);
  return static_cast<uint8_t>(1 + (version * 31 + entry * 7) % 250);
}

uint32_t start_of(int entry) { return static_cast<uint32_t>(entry) << 20; }

void write_version(int version) {
  std::string text;
  for (int k = 0; k < kEntries; k++) {
    text += str_ip_format(start_of(k));
    text += " " + std::to_string(id_of(version, k)) + "\n";
  }
  // Each version gets its own time, as the files of successive runs have.
  write_file_at("conf/countries.ips.new", text, kTime + version);
  rename("conf/countries.ips.new", "conf/countries.ips");
}

enum ReaderResult {
  kConsistent = 0,
  kMixed = 1,
  kNoTable = 2,
  kNeverSawLast = 3,
  kTooFewVersions = 4
};

// Full sweep: every entry must belong to the version that entry 0 names.
int sweep(ip_ranges *table, int *version) {
  uint8_t first = ip_ranges_lookup(table, 0);
  if (first == 0) return kNoTable;
  *version = first - 1;
  for (int k = 0; k < kEntries; k++) {
    if (ip_ranges_lookup(table, start_of(k) + 12345) != id_of(*version, k)) return kMixed;
  }
  return kConsistent;
}

int run_reader() {
  ip_ranges *table = ip_ranges_new("countries");
  std::mt19937 rng(99);
  int version = 0, seen = 1;
  if (int bad = sweep(table, &version)) return bad;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (version != kVersions - 1) {
    if (std::chrono::steady_clock::now() > deadline) return kNeverSawLast;
    if (ip_ranges_reload(table)) {
      int before = version;
      if (int bad = sweep(table, &version)) return bad;
      if (version < before) return kMixed;
      if (version != before) seen++;
    }
    for (int i = 0; i < 64; i++) {
      int k = static_cast<int>(rng() % kEntries);
      if (ip_ranges_lookup(table, start_of(k) + (rng() & 0xFFFFF)) != id_of(version, k))
        return kMixed;
    }
  }
  return seen >= 3 ? kConsistent : kTooFewVersions;
}

}  // namespace

// Three replacements within one second, each renamed into place: a record
// that reloads after each answers 1, 2, 3, for both tables. (Comparing
// whole-second times, it answered 1, 2, 2.)
TEST(IpRangesReplace, EveryReplacementWithinOneSecondIsSeen) {
  struct Family {
    const char *path;
    const char *start;  // the entry that answers
    bool (*reload)(ip_ranges *);
  };
  const Family families[] = {{"conf/countries.ips", "10.0.0.0", ip_ranges_reload},
                             {"conf/countries6.ips", "2001:db8::", ip_ranges_reload6}};
  uint8_t address6[16];
  ASSERT_TRUE(str_ip6_parse("2001:db8::1", address6));
  for (const Family &family : families) {
    RangesRoot root;
    ScopedRanges table("countries");
    const auto answer = [&] {
      return family.reload == ip_ranges_reload ? ip_ranges_lookup(table.table, 0x0A000001u)
                                               : ip_ranges_lookup6(table.table, address6);
    };
    for (int version = 1; version <= 3; version++) {
      const std::string first = family.reload == ip_ranges_reload ? "0.0.0.0" : "::";
      write_file(std::string(family.path) + ".new",
                 first + " 0\n" + family.start + " " + std::to_string(version) + "\n");
      ASSERT_EQ(rename((std::string(family.path) + ".new").c_str(), family.path), 0);
      if (version > 1) {
        EXPECT_TRUE(family.reload(table.table)) << family.path << " " << version;
      }
      EXPECT_EQ(answer(), version) << family.path;
    }
  }
}

TEST(IpRangesReplace, ReaderAnswersFromTheOldOrTheNewTableOnly) {
  RangesRoot root;
  write_version(0);
  fflush(nullptr);
  pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) _exit(run_reader());
  for (int version = 1; version < kVersions; version++) {
    write_version(version);
    usleep(3000);
  }
  int status = 0;
  waitpid(reader, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "reader crashed";
  EXPECT_EQ(WEXITSTATUS(status), kConsistent);
}
