// Compiled tables mapped once per machine, side by side in one run with
// libmaxminddb on an .mmdb of the same data and with libGeoIP (its own
// country databases): the first answer of a new record, the private memory
// of each further record, the proportional set size of 8 processes mapping
// the table, bytes per entry, and the lookups of both families. Also
// checks that the table answers as libmaxminddb does (key country_code) on
// 2,000,000 random addresses of both families.
//
// The table: the root in $MAPPED_BENCH_ROOT (bench/mapped_vs_mmdb.sh makes
// it from the published lists) with $MAPPED_BENCH_MMDB the .mmdb of the
// same data; without them, a generated table of the same size in a scratch
// root and no libmaxminddb figures.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ip_ranges.h"
#include "ip_ranges/internal/compiled_table.h"
#include "ip_ranges/internal/mapped_record.h"
#include "ip_ranges/internal/table_format.h"
#include "str.h"
#include "str/internal/uint128.h"

#if VELMOR_HAVE_MAXMINDDB
#include <maxminddb.h>
#endif
#if VELMOR_HAVE_GEOIP
#include <GeoIP.h>
#endif

namespace {

using Address6 = std::array<uint8_t, 16>;
using Clock = std::chrono::steady_clock;

constexpr size_t kProbes = 1 << 16;
constexpr int kProcesses = 8;
constexpr int kFurtherRecords = 32;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double micros_since(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// ---- the table ----

// A generated pair the size of the published lists, written and compiled
// in a scratch root: for runs without the downloaded data.
std::string generated_root() {
  char dir[] = "/tmp/velmor-mapped-bench.XXXXXX";
  if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
  mkdir("conf", 0755);
  mkdir("logs", 0755);
  std::mt19937_64 rng(18);
  std::string text, text6, names = "0 -- Unknown\n";
  char line[velmor::table6_entry_max];
  uint64_t at = 0;
  for (int i = 0; i < 352'644; i++, at += 1 + rng() % 24'000)
    text.append(line, velmor::format_table_entry(line, static_cast<uint32_t>(at), rng() % 250));
  velmor::uint128 at6 = 0;
  for (int i = 0; i < 254'949; i++, at6 += (velmor::uint128{1} << 64) * (1 + rng() % 1'000'000)) {
    uint8_t bytes[16];
    velmor::uint128_to_bytes(at6, bytes);
    text6.append(line, velmor::format_table_entry6(line, bytes, rng() % 250));
  }
  for (int id = 1; id < 250; id++) names += std::to_string(id) + " c" + std::to_string(id) + " C\n";
  std::ofstream("conf/countries.ips") << text;
  std::ofstream("conf/countries6.ips") << text6;
  std::ofstream("conf/countries") << names;
  if (!velmor::compile_table("countries")) std::abort();
  return dir;
}

struct Probes {
  std::vector<uint32_t> v4;
  std::vector<Address6> v6;
};

// Random IPv4 addresses, and IPv6 addresses inside the table's own entries
// (random ones over the whole space fall almost all into one empty entry).
Probes make_probes(ip_ranges *table, size_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  Probes p;
  const int32_t n6 = ip_ranges_count6(table);
  for (size_t i = 0; i < count; i++) {
    p.v4.push_back(static_cast<uint32_t>(rng()));
    uint8_t start[16], next[16], id;
    const int32_t e = static_cast<int32_t>(rng() % static_cast<uint64_t>(n6));
    ip_ranges_entry6(table, e, start, &id);
    velmor::uint128 first = velmor::uint128_from_bytes(start), span = velmor::uint128_max - first;
    if (e + 1 < n6 && ip_ranges_entry6(table, e + 1, next, &id))
      span = velmor::uint128_from_bytes(next) - first;
    const velmor::uint128 offset = span ? (velmor::uint128{rng()} << 64 | rng()) % span : 0;
    Address6 a;
    velmor::uint128_to_bytes(first + offset, a.data());
    p.v6.push_back(a);
  }
  return p;
}

// ---- figures printed before the lookup benchmarks ----

void first_answers(const Probes &p) {
  std::vector<double> mapped, heap;
  for (int i = 0; i < 201; i++) {
    const auto start = Clock::now();
    ip_ranges *t = ip_ranges_new_mapped("countries");
    const uint8_t id = ip_ranges_lookup(t, p.v4[i]);
    benchmark::DoNotOptimize(ip_ranges_code(t, id));
    benchmark::DoNotOptimize(ip_ranges_lookup6(t, p.v6[i].data()));
    mapped.push_back(micros_since(start));
    ip_ranges_free(t);
  }
  for (int i = 0; i < 5; i++) {
    const auto start = Clock::now();
    ip_ranges *t = ip_ranges_new("countries");
    benchmark::DoNotOptimize(ip_ranges_code(t, ip_ranges_lookup(t, p.v4[i])));
    benchmark::DoNotOptimize(ip_ranges_lookup6(t, p.v6[i].data()));
    heap.push_back(micros_since(start));
    ip_ranges_free(t);
  }
  printf(
      "first answer (IPv4, its code, IPv6) of a new record, median: mapped %.3f ms (201 runs), "
      "heap %.1f ms (5 runs)\n",
      median(mapped) / 1000, median(heap) / 1000);
}

// A field of /proc/self/status in KiB ("RssAnon:", "VmPTE:").
long status_kib(const std::string &field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == field && status >> value) return value;
  }
  return 0;
}

// What a process holds that no other shares: its anonymous pages and its
// page tables.
long private_kib() { return status_kib("RssAnon:") + status_kib("VmPTE:"); }

// Every entry of both tables looked up once: every page of the mapping touched.
void touch_all(ip_ranges *t) {
  ip_ranges_load(t);
  ip_ranges_load6(t);
  for (int32_t i = 0; i < t->count; i++)
    benchmark::DoNotOptimize(ip_ranges_lookup(t, t->starts[i]));
  for (int32_t i = 0; i < ip_ranges_count6(t); i++) {
    uint8_t start[16], id;
    ip_ranges_entry6(t, i, start, &id);
    benchmark::DoNotOptimize(ip_ranges_lookup6(t, start));
  }
  for (int id = 0; id < 256; id++) benchmark::DoNotOptimize(ip_ranges_title(t, id));
}

void private_memory() {
  fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    ip_ranges *first = ip_ranges_new_mapped("countries");
    touch_all(first);
    const long anon = status_kib("RssAnon:"), tables = status_kib("VmPTE:");
    const long before = private_kib();
    std::vector<ip_ranges *> more;
    for (int i = 0; i < kFurtherRecords; i++) {
      more.push_back(ip_ranges_new_mapped("countries"));
      touch_all(more.back());
    }
    const long after = private_kib();
    printf(
        "private memory per further mapped record (anonymous + page tables, every page "
        "touched): %.1f KiB (%.1f + %.1f; %d records)\n",
        static_cast<double>(after - before) / kFurtherRecords,
        static_cast<double>(status_kib("RssAnon:") - anon) / kFurtherRecords,
        static_cast<double>(status_kib("VmPTE:") - tables) / kFurtherRecords, kFurtherRecords);
    ip_ranges *heap = ip_ranges_new("countries");
    touch_all(heap);
    printf("private memory of a heap record: %.1f KiB\n",
           static_cast<double>(private_kib() - after));
    fflush(stdout);
    _exit(0);
  }
  waitpid(child, nullptr, 0);
}

// The Pss of this process's mapping of conf/countries.ipt, in KiB.
long mapping_pss_kib() {
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool in_mapping = false;
  long pss = 0;
  while (std::getline(smaps, line)) {
    // A mapping's first line starts with its range, "start-end", in hex.
    const std::string first = line.substr(0, line.find(' '));
    if (first.find('-') != std::string::npos &&
        first.find_first_not_of("0123456789abcdef-") == std::string::npos)
      in_mapping = line.find("/countries.ipt") != std::string::npos;
    long value;
    if (in_mapping && sscanf(line.c_str(), "Pss: %ld kB", &value) == 1) pss += value;
  }
  return pss;
}

void shared_pss() {
  // Two rounds, each with its own pipe: all measure while all hold their
  // mappings, and none leaves before every one has measured.
  int ready[2], go[2], report[2], leave[2];
  if (pipe(ready) || pipe(go) || pipe(report) || pipe(leave)) std::abort();
  fflush(stdout);
  for (int i = 0; i < kProcesses; i++) {
    if (fork() == 0) {
      ip_ranges *t = ip_ranges_new_mapped("countries");
      touch_all(t);
      char byte = 1;
      if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) _exit(1);
      const long pss = mapping_pss_kib();
      if (write(report[1], &pss, sizeof pss) != sizeof pss) _exit(1);
      if (read(leave[0], &byte, 1) != 1) _exit(1);  // held until every one has measured
      _exit(0);
    }
  }
  char byte;
  for (int i = 0; i < kProcesses; i++)
    if (read(ready[0], &byte, 1) != 1) std::abort();
  for (int i = 0; i < kProcesses; i++)
    if (write(go[1], &byte, 1) != 1) std::abort();
  long sum = 0, pss;
  for (int i = 0; i < kProcesses; i++) {
    if (read(report[0], &pss, sizeof pss) != sizeof pss) std::abort();
    sum += pss;
  }
  for (int i = 0; i < kProcesses; i++)
    if (write(leave[1], &byte, 1) != 1) std::abort();
  for (int i = 0; i < kProcesses; i++) wait(nullptr);
  struct stat st;
  stat("conf/countries.ipt", &st);
  printf(
      "PSS of the mapping summed over %d processes (every page touched): %ld KiB, file %ld "
      "KiB: %.2fx\n",
      kProcesses, sum, static_cast<long>(st.st_size / 1024),
      static_cast<double>(sum) / (static_cast<double>(st.st_size) / 1024));
}

void bytes_per_entry() {
  std::ifstream in("conf/countries.ipt", std::ios::binary);
  velmor::compiled::Header h{};
  in.read(reinterpret_cast<char *>(&h), sizeof h);
  using namespace velmor::compiled;
  const auto *s = h.sections;
  const double v4 = static_cast<double>(s[starts4].size + s[ids4].size + s[index4].size);
  const double v6 = static_cast<double>(s[his6].size + s[los6].size + s[ids6].size +
                                        s[index6].size + s[fences6].size);
  printf(
      "compiled file: %llu bytes; IPv4 %u entries, %.3f bytes each; IPv6 %u entries, %.3f "
      "bytes each (indexes included)\n",
      static_cast<unsigned long long>(h.file_size), h.count4, v4 / h.count4, h.count6,
      v6 / h.count6);
}

// ---- libmaxminddb ----

#if VELMOR_HAVE_MAXMINDDB
struct Mmdb {
  MMDB_s db{};
  bool open = false;
};

Mmdb &mmdb() {
  static Mmdb m;
  return m;
}

sockaddr_in6 socket_address6(const uint8_t bytes[16]) {
  sockaddr_in6 sa{};
  sa.sin6_family = AF_INET6;
  memcpy(&sa.sin6_addr, bytes, 16);
  return sa;
}

sockaddr_in socket_address4(uint32_t addr) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(addr);
  return sa;
}

// The code as libmaxminddb hands it out: the lookup and the value, the
// text not copied (null where it has none).
const char *mmdb_code_text(const sockaddr *sa) {
  int error = 0;
  MMDB_lookup_result_s r = MMDB_lookup_sockaddr(&mmdb().db, sa, &error);
  MMDB_entry_data_s data{};
  if (r.found_entry) MMDB_get_value(&r.entry, &data, "country_code", nullptr);
  return data.has_data ? data.utf8_string : nullptr;
}

// The country code libmaxminddb gives, "" where it has none.
std::string mmdb_code(const sockaddr *sa) {
  int error = 0;
  MMDB_lookup_result_s r = MMDB_lookup_sockaddr(&mmdb().db, sa, &error);
  if (error || !r.found_entry) return "";
  MMDB_entry_data_s data;
  if (MMDB_get_value(&r.entry, &data, "country_code", nullptr) != MMDB_SUCCESS || !data.has_data ||
      data.type != MMDB_DATA_TYPE_UTF8_STRING)
    return "";
  return std::string(data.utf8_string, data.data_size);
}

void mmdb_first_answer(const char *file, const Probes &p) {
  std::vector<double> times;
  for (int i = 0; i < 201; i++) {
    const auto start = Clock::now();
    MMDB_s db;
    if (MMDB_open(file, MMDB_MODE_MMAP, &db) != MMDB_SUCCESS) std::abort();
    int error = 0;
    const sockaddr_in sa = socket_address4(p.v4[i]);
    MMDB_lookup_result_s r =
        MMDB_lookup_sockaddr(&db, reinterpret_cast<const sockaddr *>(&sa), &error);
    MMDB_entry_data_s data;
    if (r.found_entry) MMDB_get_value(&r.entry, &data, "country_code", nullptr);
    times.push_back(micros_since(start));
    MMDB_close(&db);
  }
  printf("first answer of a new libmaxminddb handle (MMDB_open, one lookup), median: %.3f ms\n",
         median(times) / 1000);
}

// Addresses libmaxminddb answers from its IPv4 data through aliases
// (::/96, ::ffff:0:0/96, 6to4 and Teredo), which the IPv6 table does not.
bool mmdb_alias(const Address6 &a) {
  static const uint8_t zero[12] = {};
  if (memcmp(a.data(), zero, 10) == 0 &&
      ((a[10] == 0 && a[11] == 0) || (a[10] == 0xff && a[11] == 0xff)))
    return true;
  if (a[0] == 0x20 && a[1] == 0x02) return true;
  return a[0] == 0x20 && a[1] == 0x01 && a[2] == 0 && a[3] == 0;
}

// Our code against libmaxminddb's, case folded; no entry there is id 0 here.
void same_answers(ip_ranges *t, const Probes &p) {
  long compared = 0, differing = 0;
  auto compare = [&](uint8_t id, const std::string &theirs, const std::string &where) {
    const char *ours = ip_ranges_code(t, id);
    const bool same = theirs.empty() ? id == 0 : ours && strcasecmp(ours, theirs.c_str()) == 0;
    compared++;
    if (!same && differing++ < 5)
      printf("  differs at %s: ours %u %s, libmaxminddb '%s'\n", where.c_str(), id,
             ours ? ours : "(none)", theirs.c_str());
  };
  for (uint32_t a : p.v4) {
    const sockaddr_in sa = socket_address4(a);
    compare(ip_ranges_lookup(t, a), mmdb_code(reinterpret_cast<const sockaddr *>(&sa)),
            str_ip_format(a));
  }
  for (const Address6 &a : p.v6) {
    if (mmdb_alias(a)) continue;
    const sockaddr_in6 sa = socket_address6(a.data());
    compare(ip_ranges_lookup6(t, a.data()), mmdb_code(reinterpret_cast<const sockaddr *>(&sa)),
            str_ip6_format(a.data()));
  }
  printf("answers compared with libmaxminddb (country_code): %ld addresses, %ld differ\n", compared,
         differing);
}
#endif

// ---- the lookups ----

template <typename Probe, typename Lookup>
void register_lookup(const std::string &name, const std::vector<Probe> &probes, Lookup lookup) {
  benchmark::RegisterBenchmark(name.c_str(), [=, &probes](benchmark::State &state) {
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(lookup(probes[i++ & (kProbes - 1)]));
  });
}

void register_lookups(ip_ranges *mapped, ip_ranges *heap, const Probes &p) {
  register_lookup("lookup4/mapped", p.v4,
                  [mapped](uint32_t a) { return ip_ranges_lookup(mapped, a); });
  register_lookup("lookup4/heap", p.v4, [heap](uint32_t a) { return ip_ranges_lookup(heap, a); });
  register_lookup("lookup6/mapped", p.v6,
                  [mapped](const Address6 &a) { return ip_ranges_lookup6(mapped, a.data()); });
  register_lookup("lookup6/heap", p.v6,
                  [heap](const Address6 &a) { return ip_ranges_lookup6(heap, a.data()); });
  register_lookup("code4/mapped", p.v4, [mapped](uint32_t a) {
    return ip_ranges_code(mapped, ip_ranges_lookup(mapped, a));
  });
  register_lookup("code6/mapped", p.v6, [mapped](const Address6 &a) {
    return ip_ranges_code(mapped, ip_ranges_lookup6(mapped, a.data()));
  });
#if VELMOR_HAVE_MAXMINDDB
  if (mmdb().open) {
    // The code as libmaxminddb hands it out: the lookup and the value.
    register_lookup("code4/libmaxminddb", p.v4, [](uint32_t a) {
      const sockaddr_in sa = socket_address4(a);
      return mmdb_code_text(reinterpret_cast<const sockaddr *>(&sa));
    });
    register_lookup("code6/libmaxminddb", p.v6, [](const Address6 &a) {
      const sockaddr_in6 sa = socket_address6(a.data());
      return mmdb_code_text(reinterpret_cast<const sockaddr *>(&sa));
    });
  }
#endif
#if VELMOR_HAVE_GEOIP
  // libGeoIP on its own country databases (not the same data), memory cache.
  static GeoIP *gi = GeoIP_open("/usr/share/GeoIP/GeoIP.dat", GEOIP_MEMORY_CACHE);
  static GeoIP *gi6 = GeoIP_open("/usr/share/GeoIP/GeoIPv6.dat", GEOIP_MEMORY_CACHE);
  if (gi)
    register_lookup("code4/libgeoip", p.v4,
                    [](uint32_t a) { return GeoIP_code_by_id(GeoIP_id_by_ipnum(gi, a)); });
  if (gi6)
    register_lookup("code6/libgeoip", p.v6, [](const Address6 &a) {
      geoipv6_t address;
      memcpy(&address, a.data(), 16);
      return GeoIP_code_by_id(GeoIP_id_by_ipnum_v6(gi6, address));
    });
#endif
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  const char *root = getenv("MAPPED_BENCH_ROOT");
  const std::string where = root && *root ? root : generated_root();
  if (chdir(where.c_str()) != 0) return 1;
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  ip_ranges *heap = ip_ranges_new("countries");
  ip_ranges_load(heap);
  ip_ranges_load6(heap);
  if (!ip_ranges_load(mapped) || !velmor::answers_from_compiled(mapped)) {
    fprintf(stderr, "no usable conf/countries.ipt under %s\n", where.c_str());
    return 1;
  }
  const Probes probes = make_probes(mapped, kProbes, 9);
  printf("table %s: %d IPv4 and %d IPv6 entries\n", where.c_str(), mapped->count,
         ip_ranges_count6(mapped));
  first_answers(probes);
  private_memory();
  shared_pss();
  bytes_per_entry();
#if VELMOR_HAVE_MAXMINDDB
  const char *file = getenv("MAPPED_BENCH_MMDB");
  if (file && *file && MMDB_open(file, MMDB_MODE_MMAP, &mmdb().db) == MMDB_SUCCESS) {
    mmdb().open = true;
    mmdb_first_answer(file, probes);
    same_answers(mapped, make_probes(mapped, 1'000'000, 10));
  }
#endif
#if VELMOR_HAVE_GEOIP
  std::vector<double> geoip_open;
  for (int i = 0; i < 21; i++) {
    const auto start = Clock::now();
    GeoIP *gi = GeoIP_open("/usr/share/GeoIP/GeoIP.dat", GEOIP_MEMORY_CACHE);
    if (!gi) break;
    benchmark::DoNotOptimize(GeoIP_id_by_ipnum(gi, probes.v4[i]));
    geoip_open.push_back(micros_since(start));
    GeoIP_delete(gi);
  }
  if (!geoip_open.empty())
    printf("first answer of a new libGeoIP handle (GeoIP.dat, memory cache), median: %.3f ms\n",
           median(geoip_open) / 1000);
#endif
  fflush(stdout);
  register_lookups(mapped, heap, probes);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
