// The fleet recipe: a table built once and copied to a node with
//   rsync -a SRC/conf/countries.ipt NODE/conf/ &&
//   rsync -a --exclude='*.lock' SRC/conf/ NODE/conf/
// while readers on the node answer and reload through mapped records. Two
// versions whose tables (both families) and names differ everywhere are
// copied in turn, each build later than the one before (as builds are):
// every answer a reader gives must come from one whole version, and no
// reader may ever fall back to the text tables.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "compiled_tables.h"
#include "hardening_procs.h"
#include "ip_ranges.h"
#include "ip_ranges/internal/compiled_table.h"
#include "ip_ranges/internal/mapped_record.h"
#include "ip_ranges_table_support.h"
#include "str/internal/uint128.h"
#include "test_support.h"

using namespace testing_support;

namespace {

constexpr int kRanges = 2000;
constexpr int kSteps = 24;
constexpr int kReaders = 4;
constexpr int64_t kBuilt = 1'700'000'000;

// Range k of version v (0 or 1), IPv4 and IPv6, and the prefix of its codes.
int id4(int v, int k) { return 1 + (k * (v ? 11 : 7) + 3 * v) % 250; }
int id6(int v, int k) { return 1 + (k * (v ? 17 : 13) + 5 * v) % 250; }
const char *prefix(int v) { return v ? "b" : "a"; }
uint32_t start4(int k) { return static_cast<uint32_t>(k) << 20; }
velmor::uint128 start6(int k) { return velmor::uint128(k) << 112; }

void build_version(const TempRoot &root, int v) {
  TablePair pair;
  pair.starts.push_back(0);
  pair.ids.push_back(0);
  pair.starts6.push_back({});
  pair.ids6.push_back(0);
  for (int k = 1; k <= kRanges; k++) {
    pair.starts.push_back(start4(k));
    pair.ids.push_back(static_cast<uint8_t>(id4(v, k)));
    std::array<uint8_t, 16> bytes;
    velmor::uint128_to_bytes(start6(k), bytes.data());
    pair.starts6.push_back(bytes);
    pair.ids6.push_back(static_cast<uint8_t>(id6(v, k)));
  }
  ScopedCwd cwd(root.path());
  write_text_tables(pair, "countries");
  write_file("conf/countries", names_file(prefix(v)));
  ASSERT_TRUE(velmor::compile_table("countries"));
}

// Build number step of version v: its text files and then its compiled
// file get times after every earlier build's.
void stamp_build(const TempRoot &root, int step) {
  for (const char *file : {"conf/countries.ips", "conf/countries6.ips", "conf/countries"})
    set_mtime(root / file, kBuilt + 10 * step);
  set_mtime(root / "conf/countries.ipt", kBuilt + 10 * step + 5);
}

int copy_to_node(const TempRoot &source, const TempRoot &node) {
  const std::string command = "rsync -a " + source.path() + "/conf/countries.ipt " + node.path() +
                              "/conf/ && rsync -a --exclude='*.lock' " + source.path() + "/conf/ " +
                              node.path() + "/conf/";
  return run_program("/bin/sh", {"-c", command}, "").status;
}

struct Reader {
  int status = 0;  // 0 fine, 1 mixed, 2 not one of the versions
  int reloads = 0;
  int versions_seen = 0;
  long lookups = 0;
};

// The version the record holds, from IPv4 range 1; -1 when none.
int version_of(ip_ranges *table) {
  const uint8_t id = ip_ranges_lookup(table, start4(1) + 5);
  for (int v = 0; v < 2; v++)
    if (id == id4(v, 1)) return v;
  return -1;
}

bool answers_as(ip_ranges *table, int v, int k, long *lookups) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(start6(k) + 77, bytes);
  const uint8_t a = ip_ranges_lookup(table, start4(k) + 77);
  const uint8_t b = ip_ranges_lookup6(table, bytes);
  const char *code = ip_ranges_code(table, a);
  *lookups += 2;
  return a == id4(v, k) && b == id6(v, k) && code && code == code_for(a, prefix(v));
}

Reader read_on_node(const std::atomic<bool> &done) {
  Reader r;
  ip_ranges *table = ip_ranges_new_mapped("countries");
  std::mt19937 rng(3);
  int version = version_of(table);
  bool last_round = false;
  while (r.status == 0 && !last_round) {
    last_round = done.load();
    const bool reloaded4 = ip_ranges_reload(table);
    const bool reloaded6 = ip_ranges_reload6(table);
    if (reloaded4 || reloaded6) {
      r.reloads++;
      const int before = version;
      version = version_of(table);
      if (version != before) r.versions_seen++;
      for (int k = 1; k <= kRanges && r.status == 0; k++)
        if (!answers_as(table, version, k, &r.lookups)) r.status = 1;
    }
    if (version < 0) r.status = 2;
    for (int i = 0; i < 200 && r.status == 0; i++)
      if (!answers_as(table, version, 1 + static_cast<int>(rng() % kRanges), &r.lookups))
        r.status = 1;
  }
  if (!velmor::answers_from_compiled(table)) r.status = 2;
  ip_ranges_free(table);
  return r;
}

TEST(FleetRsync, ReadersOnANodeAnswerFromOneWholeTableWhileConfIsCopiedOver) {
  TempRoot sources[2], node;
  build_version(sources[0], 0);
  build_version(sources[1], 1);
  stamp_build(sources[0], 0);
  ASSERT_EQ(copy_to_node(sources[0], node), 0);
  ScopedCwd cwd(node.path());
  reset_logger();

  // The copies run in a process forked before any reader thread starts.
  const pid_t copier = fork_child([&] {
    int failed = 0;
    for (int step = 1; step <= kSteps; step++) {
      stamp_build(sources[step % 2], step);
      failed += copy_to_node(sources[step % 2], node) != 0;
      usleep(20000);
    }
    return failed;
  });
  std::atomic<bool> done{false};
  std::vector<Reader> readers(kReaders);
  std::vector<std::thread> threads;
  for (int t = 0; t < kReaders; t++)
    threads.emplace_back([&readers, &done, t] { readers[t] = read_on_node(done); });
  EXPECT_EQ(wait_child(copier), 0) << "copies that failed";
  done = true;
  for (std::thread &thread : threads) thread.join();

  for (int t = 0; t < kReaders; t++) {
    EXPECT_EQ(readers[t].status, 0) << "reader " << t << ": 1 mixed, 2 no whole version";
    EXPECT_GE(readers[t].versions_seen, 2) << "reader " << t;
    std::printf("reader %d: %d reloads, %d version changes, %ld lookups\n", t, readers[t].reloads,
                readers[t].versions_seen, readers[t].lookups);
  }
  const std::string messages = day_log(node.path(), "message.log");
  EXPECT_EQ(messages.find("reading the text tables"), std::string::npos) << messages;
  EXPECT_EQ(day_log(node.path(), "error.log"), "");
  reset_logger();
}

}  // namespace
