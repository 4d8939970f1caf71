// Address lookups side by side, over the same tables and the same random
// addresses: a record's lookup without an index (the whole-table branch-free
// bisection every record used before the index; a record filled by hand
// still does), the same bisection called directly, the top-bits index, the
// IPv6 index on a table of the same size (split high/low halves, as the
// library keeps them, and whole 16-byte keys for comparison), and, where
// libGeoIP and its country database are installed, GeoIP's own lookup with
// GEOIP_MEMORY_CACHE.
//
// Tables: 200,000 random starts, and the real country table read out of
// GeoIP.dat (ascending starts where the country changes), on which our
// lookups must give GeoIP's answers. Each lookup is timed twice: "indep",
// where successive lookups are independent (as in ip_ranges_bench), and
// "chained", where the next address depends on the previous answer, which
// shows the latency of one lookup. Also: building the index (a whole load,
// index included, is timed by ip_ranges_bench).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ip_ranges.h"
#include "ip_ranges/internal/range_index.h"
#include "ip_ranges/internal/range_search.h"
#include "random_table.h"
#include "str.h"
#include "str/internal/uint128.h"

#if VELMOR_HAVE_GEOIP
#include <GeoIP.h>
#endif

namespace {

using velmor::ip6_key;
using velmor::range_index;
using Address6 = std::array<uint8_t, 16>;

constexpr size_t kEntries = 200'000;
constexpr size_t kProbes = 1 << 16;
constexpr const char *kGeoIpDatabase = "/usr/share/GeoIP/GeoIP.dat";

// ---- tables ----

struct Table4 {
  std::vector<uint32_t> starts;
  std::vector<uint8_t> ids;
  range_index index{};
  uint32_t count() const { return static_cast<uint32_t>(starts.size()); }
};

// The IPv6 table as the library keeps it (high halves, low halves, ids),
// and the same starts as whole 16-byte keys, the storage it was measured
// against.
struct Table6 {
  std::vector<ip6_key> keys;
  std::vector<uint64_t> his, los;
  std::vector<uint8_t> ids;
  velmor::range6_table view{};
  range_index index{};
};

void finish(Table4 &t) {
  if (!velmor::range_index_build(&t.index, t.starts.data(), t.count())) std::abort();
}

void finish(Table6 &t) {
  for (const ip6_key &k : t.keys) {
    t.his.push_back(k.hi);
    t.los.push_back(k.lo);
  }
  t.view = {t.his.data(), t.los.data(), t.ids.data(), static_cast<uint32_t>(t.keys.size())};
  if (!velmor::range6_index_build(&t.index, t.view)) std::abort();
}

// 200,000 distinct ascending starts from 0, random ids.
Table4 random_table() {
  bench_tables::RandomStarts random = bench_tables::random_starts(kEntries);
  Table4 t;
  t.starts = std::move(random.starts);
  t.ids = std::move(random.ids);
  finish(t);
  return t;
}

// 200,000 random 128-bit keys from 0, random ids.
Table6 random_table6() {
  std::mt19937_64 rng(2025);
  Table6 t;
  t.keys.resize(kEntries);
  for (auto &k : t.keys) k = {rng(), rng()};
  t.keys[0] = {0, 0};
  std::sort(t.keys.begin(), t.keys.end(), [](const ip6_key &a, const ip6_key &b) {
    return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
  });
  t.ids.resize(kEntries);
  for (auto &id : t.ids) id = static_cast<uint8_t>(rng());
  finish(t);
  return t;
}

Address6 address_bytes(const ip6_key &k) {
  Address6 bytes;
  velmor::uint128_to_bytes(velmor::uint128{k.hi} << 64 | k.lo, bytes.data());
  return bytes;
}

std::vector<Address6> random_addresses6() {
  std::mt19937_64 rng(8);
  std::vector<Address6> addresses(kProbes);
  for (auto &a : addresses) a = address_bytes({rng(), rng()});
  return addresses;
}

// ---- the lookups compared ----

// A record's lookup without an index: a record filled by hand holds none.
uint8_t record_lookup(const Table4 &t, uint32_t addr) {
  ip_ranges record{};
  record.starts = const_cast<uint32_t *>(t.starts.data());
  record.ids = const_cast<uint8_t *>(t.ids.data());
  record.count = static_cast<int32_t>(t.count());
  return ip_ranges_lookup(&record, addr);
}

// The IPv6 bucket search over whole 16-byte keys: the same index, and a
// bisection whose every step compares both halves of a key.
uint8_t whole_keys_lookup(const Table6 &t, const uint8_t addr[16]) {
  ip6_key key = velmor::ip6_key_from_bytes(addr);
  return velmor::range_search::search_bucket(t.index, t.keys.data(), t.ids.data(),
                                             key.hi >> t.index.shift, key);
}

// Runs lookup over the probes in turn. Chained: the position of the next
// probe takes the previous answer masked by a zero the compiler cannot see
// through, so a lookup cannot start before the previous one has finished,
// while the probes are still visited in the same order.
template <bool chained, typename Probe, typename Lookup>
void time_lookups(benchmark::State &state, const std::vector<Probe> &probes, Lookup lookup) {
  size_t i = 0, hidden_zero = 0;
  benchmark::DoNotOptimize(hidden_zero);
  uint8_t id = 0;
  for (auto _ : state) {
    size_t at = chained ? i + (id & hidden_zero) : i;
    id = lookup(probes[at & (kProbes - 1)]);
    benchmark::DoNotOptimize(id);
    i++;
  }
}

template <typename Probe, typename Lookup>
void register_lookup(const std::string &name, const std::vector<Probe> &probes, Lookup lookup) {
  benchmark::RegisterBenchmark((name + "/indep").c_str(), [=, &probes](benchmark::State &s) {
    time_lookups<false>(s, probes, lookup);
  });
  benchmark::RegisterBenchmark((name + "/chained").c_str(), [=, &probes](benchmark::State &s) {
    time_lookups<true>(s, probes, lookup);
  });
}

// Our lookups on one IPv4 table and its IPv6 counterpart, probed with the
// same addresses (widened to IPv6 for the IPv6 table, or its own random ones).
void register_ours(const std::string &group, const Table4 &t, const Table6 &t6,
                   const std::vector<uint32_t> &probes, const std::vector<Address6> &probes6) {
  register_lookup(group + "/unindexed_record", probes,
                  [&t](uint32_t a) { return record_lookup(t, a); });
  register_lookup(group + "/bisect", probes, [&t](uint32_t a) {
    return velmor::range_bisect(t.starts.data(), t.ids.data(), t.count(), a);
  });
  register_lookup(group + "/indexed", probes, [&t](uint32_t a) {
    return velmor::range_index_lookup(&t.index, t.starts.data(), t.ids.data(), t.count(), a);
  });
  register_lookup(group + "/indexed6", probes6, [&t6](const Address6 &a) {
    return velmor::range6_index_lookup(&t6.index, t6.view, a.data());
  });
  register_lookup(group + "/indexed6_whole_keys", probes6,
                  [&t6](const Address6 &a) { return whole_keys_lookup(t6, a.data()); });
}

// ---- the real table, from GeoIP's country database ----

#if VELMOR_HAVE_GEOIP
// An IPv4 table as IPv6 keys in the same order: the start in the top 32 bits
// of hi, so the index sees the table's own crowding.
Table6 widened(const Table4 &v4) {
  Table6 t;
  for (uint32_t s : v4.starts) t.keys.push_back({uint64_t{s} << 32, 0});
  t.ids = v4.ids;
  finish(t);
  return t;
}

// The same addresses for the widened table.
std::vector<Address6> widened(const std::vector<uint32_t> &v4) {
  std::vector<Address6> addresses;
  for (uint32_t a : v4) addresses.push_back(address_bytes({uint64_t{a} << 32, 0}));
  return addresses;
}

// The first address past GeoIP's block holding addr. Each lookup tells the
// prefix length of the block it answered from; for the block at 0.0.0.0 it
// tells 0, and there GeoIP's range query gives the block's last address.
uint64_t past_block(GeoIP *gi, uint64_t addr) {
  GeoIPLookup gl{};
  GeoIP_id_by_ipnum_gl(gi, static_cast<unsigned long>(addr), &gl);
  if (gl.netmask >= 1 && gl.netmask <= 32) {
    uint64_t block = uint64_t{1} << (32 - gl.netmask);
    return (addr & ~(block - 1)) + block;
  }
  char **range = GeoIP_range_by_ip(gi, str_ip_format(static_cast<uint32_t>(addr)));
  if (!range || !range[1]) std::abort();
  uint64_t last = str_ip_parse(range[1]);
  GeoIP_range_by_ip_delete(range);
  return std::max(last + 1, addr + 1);
}

// Walks the whole IPv4 space by GeoIP's own blocks and keeps a start
// wherever the country changes.
Table4 geoip_table(GeoIP *gi) {
  Table4 t;
  int last = -1;
  for (uint64_t addr = 0; addr <= 0xFFFFFFFFu; addr = past_block(gi, addr)) {
    int id = GeoIP_id_by_ipnum(gi, static_cast<unsigned long>(addr));
    if (id == last) continue;
    t.starts.push_back(static_cast<uint32_t>(addr));
    t.ids.push_back(static_cast<uint8_t>(id));
    last = id;
  }
  finish(t);
  return t;
}

bool same_answers(GeoIP *gi, const Table4 &t, const std::vector<uint32_t> &probes) {
  return std::all_of(probes.begin(), probes.end(), [&](uint32_t a) {
    return velmor::range_index_lookup(&t.index, t.starts.data(), t.ids.data(), t.count(), a) ==
           GeoIP_id_by_ipnum(gi, a);
  });
}

// The widened table answers the widened addresses as the IPv4 table does.
bool same_answers6(const Table4 &t, const Table6 &t6, const std::vector<uint32_t> &probes,
                   const std::vector<Address6> &probes6) {
  for (size_t i = 0; i < probes.size(); i++) {
    if (velmor::range6_index_lookup(&t6.index, t6.view, probes6[i].data()) !=
        velmor::range_index_lookup(&t.index, t.starts.data(), t.ids.data(), t.count(), probes[i]))
      return false;
  }
  return true;
}

void register_real(const std::vector<uint32_t> &probes) {
  GeoIP *gi = GeoIP_open(kGeoIpDatabase, GEOIP_MEMORY_CACHE);
  if (!gi) {
    fprintf(stderr, "no %s: the real table's cases are skipped\n", kGeoIpDatabase);
    return;
  }
  static const Table4 real = geoip_table(gi);
  static const Table6 real6 = widened(real);
  static const std::vector<Address6> probes6 = widened(probes);
  if (!same_answers(gi, real, probes) || !same_answers6(real, real6, probes, probes6)) {
    fprintf(stderr, "the real table disagrees with GeoIP: its cases are skipped\n");
    return;
  }
  uint32_t largest = 0;
  for (uint32_t b = 0; b < real.index.buckets; b++)
    largest = std::max(largest, real.index.bucket_starts[b + 1] - real.index.bucket_starts[b]);
  fprintf(stderr, "real table: %u entries, index of %u buckets, the largest holding %u\n",
          real.count(), real.index.buckets, largest);
  register_ours("real", real, real6, probes, probes6);
  register_lookup("real/geoip_memory_cache", probes,
                  [gi](uint32_t a) { return static_cast<uint8_t>(GeoIP_id_by_ipnum(gi, a)); });
}
#else
void register_real(const std::vector<uint32_t> &) {
  fprintf(stderr, "built without libGeoIP: the real table's cases are skipped\n");
}
#endif

// ---- building the index, and the load it is part of ----

void BM_IndexBuild(benchmark::State &state) {
  static const Table4 t = random_table();
  for (auto _ : state) {
    range_index index{};
    benchmark::DoNotOptimize(velmor::range_index_build(&index, t.starts.data(), t.count()));
    velmor::range_index_release(&index);
  }
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMicrosecond);

void BM_Index6Build(benchmark::State &state) {
  static const Table6 t = random_table6();
  for (auto _ : state) {
    range_index index{};
    benchmark::DoNotOptimize(velmor::range6_index_build(&index, t.view));
    velmor::range_index_release(&index);
  }
}
BENCHMARK(BM_Index6Build)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  static const Table4 random = random_table();
  static const Table6 random6 = random_table6();
  static const std::vector<uint32_t> probes = bench_tables::random_addresses(kProbes);
  static const std::vector<Address6> probes6 = random_addresses6();
  register_ours("random200k", random, random6, probes, probes6);
  register_real(probes);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
