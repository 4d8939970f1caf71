// The boundary table at the size of a real country table (200,000 entries):
// a lookup of a random address through a loaded record (indexed) and through
// a record filled by hand (whole-table bisection), a load of the table file
// (index included), and a reload check when the file has not changed.
// BM_PlainBisection is the search written with branches and an early exit,
// for comparison. bench/lookup_bench.cpp compares the lookups with libGeoIP.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ip_ranges.h"
#include "misc.h"
#include "random_table.h"
#include "str.h"

namespace {

constexpr size_t kEntries = 200'000;
constexpr size_t kProbes = 1 << 16;

using Table = bench_tables::RandomStarts;

const Table &random_table() {
  static const Table table = bench_tables::random_starts(kEntries);
  return table;
}

// A scratch directory holding conf/bench.ips, the working directory from then on.
void enter_table_dir() {
  static bool done = false;
  if (done) return;
  done = true;
  char dir[] = "/tmp/velmor-bench.XXXXXX";
  if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
  mkdir("conf", 0755);
  mkdir("logs", 0755);
  FILE *out = fopen("conf/bench.ips", "w");
  const Table &t = random_table();
  for (size_t i = 0; i < kEntries; i++)
    fprintf(out, "%s %d\n", str_ip_format(t.starts[i]), t.ids[i]);
  fclose(out);
}

// Through a record loaded from the file, as a server does: the index
// narrows the search to one bucket.
void BM_IpRangesLookup(benchmark::State &state) {
  enter_table_dir();
  ip_ranges *table = ip_ranges_new("bench");
  if (!ip_ranges_load(table)) state.SkipWithError("load failed");
  std::vector<uint32_t> addresses = bench_tables::random_addresses(kProbes);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ip_ranges_lookup(table, addresses[i++ & (kProbes - 1)]));
  }
  ip_ranges_free(table);
}
BENCHMARK(BM_IpRangesLookup);

// A record filled by hand has no index: the branch-free bisection over the
// whole table.
void BM_IpRangesLookupWithoutIndex(benchmark::State &state) {
  Table t = random_table();
  ip_ranges table{};
  table.starts = t.starts.data();
  table.ids = t.ids.data();
  table.count = static_cast<int32_t>(kEntries);
  std::vector<uint32_t> addresses = bench_tables::random_addresses(kProbes);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ip_ranges_lookup(&table, addresses[i++ & (kProbes - 1)]));
  }
}
BENCHMARK(BM_IpRangesLookupWithoutIndex);

uint8_t plain_bisection(const uint32_t *starts, const uint8_t *ids, size_t count, uint32_t a) {
  size_t lo = 0, hi = count;
  for (;;) {
    size_t mid = (lo + hi) / 2;
    if (starts[mid] == a) return ids[mid];
    if (starts[mid] > a) {
      hi = mid;
    } else {
      lo = mid + 1;
      if (lo == count || starts[lo] > a) return ids[mid];
    }
    if (lo >= hi) return 0;
  }
}

void BM_PlainBisection(benchmark::State &state) {
  const Table &t = random_table();
  std::vector<uint32_t> addresses = bench_tables::random_addresses(kProbes);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        plain_bisection(t.starts.data(), t.ids.data(), kEntries, addresses[i++ & (kProbes - 1)]));
  }
}
BENCHMARK(BM_PlainBisection);

void BM_IpRangesLoad(benchmark::State &state) {
  enter_table_dir();
  ip_ranges *table = ip_ranges_new("bench");
  for (auto _ : state) {
    if (!ip_ranges_load(table)) state.SkipWithError("load failed");
  }
  state.counters["entries"] = table->count;
}
BENCHMARK(BM_IpRangesLoad)->Unit(benchmark::kMillisecond);

void BM_IpRangesReloadUnchanged(benchmark::State &state) {
  enter_table_dir();
  ip_ranges *table = ip_ranges_new("bench");
  ip_ranges_load(table);
  for (auto _ : state) benchmark::DoNotOptimize(ip_ranges_reload(table));
}
BENCHMARK(BM_IpRangesReloadUnchanged);

}  // namespace

BENCHMARK_MAIN();
