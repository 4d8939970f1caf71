// Whole runs of the range list converter on generated range lists of 100k
// and 1M lines, each in a fresh process so that its peak memory can be read;
// and Debian's `iprange -j` (merge, print ranges) on the same input. The
// same for IPv6 lists (tamsel -6, the program itself).
//
//   build/release/bench/tamsel_bench --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true
//   build/release/bench/tamsel_bench --write-input FILE LINES   (input only)
//   build/release/bench/tamsel_bench --run ROOT   (converter in ROOT, stdin to stdout)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "address_text.h"
#include "str/internal/uint128.h"
#include "tamsel.h"

extern char **environ;

namespace {

// Half networks, half explicit ranges; about a third start inside or right
// after an earlier range, the rest at random (small, so they rarely meet).
bool write_input(const char *path, long lines) {
  FILE *f = fopen(path, "w");
  if (f == nullptr) return false;
  std::mt19937 rng(20240601);
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  ranges.reserve(static_cast<size_t>(lines));
  for (long i = 0; i < lines; ++i) {
    uint32_t start = rng();
    if (i > 0 && rng() % 3 == 0) {
      auto [first, last] = ranges[rng() % ranges.size()];
      start = rng() % 2 == 0 ? first + rng() % (last - first + 1) : last + 1;
    }
    uint32_t first, last;
    if (i % 2 == 0) {
      unsigned bits = 24 + rng() % 9;
      uint32_t mask = bits == 32 ? 0 : UINT32_MAX >> bits;
      first = start & ~mask;
      last = first | mask;
      fprintf(f, "%u.%u.%u.%u/%u\n", first >> 24, first >> 16 & 255, first >> 8 & 255, first & 255,
              bits);
    } else {
      first = start;
      uint32_t len = rng() % 256;
      last = first > UINT32_MAX - len ? UINT32_MAX : first + len;
      fprintf(f, "%u.%u.%u.%u-%u.%u.%u.%u\n", first >> 24, first >> 16 & 255, first >> 8 & 255,
              first & 255, last >> 24, last >> 16 & 255, last >> 8 & 255, last & 255);
    }
    ranges.emplace_back(first, last);
  }
  return fclose(f) == 0;
}

// IPv6: the same mix, in 2000::/3 where the global addresses are. Networks
// are /32 to /64, as registries hand them out; ranges span up to 2^64
// addresses.
using velmor::uint128;

using bench_text::ipv6_text;

bool write_input6(const char *path, long lines) {
  FILE *f = fopen(path, "w");
  if (f == nullptr) return false;
  std::mt19937_64 rng(20240601);
  auto random128 = [&rng] { return uint128{rng()} << 64 | rng(); };
  std::vector<std::pair<uint128, uint128>> ranges;
  ranges.reserve(static_cast<size_t>(lines));
  const uint128 global = uint128{1} << 125, global_mask = global - 1;
  for (long i = 0; i < lines; ++i) {
    uint128 start = global | (random128() & global_mask);
    if (i > 0 && rng() % 3 == 0) {
      auto [first, last] = ranges[rng() % ranges.size()];
      const uint128 width = last - first + 1;  // never the whole space here
      start =
          rng() % 2 == 0 || last == velmor::uint128_max ? first + random128() % width : last + 1;
    }
    uint128 first, last;
    if (i % 2 == 0) {
      int bits = 32 + static_cast<int>(rng() % 33);
      uint128 mask = velmor::uint128_max >> bits;
      first = start & ~mask;
      last = first | mask;
      fprintf(f, "%s/%d\n", ipv6_text(first).c_str(), bits);
    } else {
      first = start;
      uint128 length = random128() >> (64 + rng() % 64);
      last = first > velmor::uint128_max - length ? velmor::uint128_max : first + length;
      fprintf(f, "%s-%s\n", ipv6_text(first).c_str(), ipv6_text(last).c_str());
    }
    ranges.emplace_back(first, last);
  }
  return fclose(f) == 0;
}

// The generated list of so many lines (IPv6 ones with ipv6), written once
// per run.
const std::string &input_file(long lines, bool ipv6 = false) {
  static std::map<std::pair<long, bool>, std::string> files;
  auto &path = files[{lines, ipv6}];
  if (path.empty()) {
    path = (ipv6 ? "/tmp/tamsel-bench6-" : "/tmp/tamsel-bench-") + std::to_string(lines) + ".txt";
    if (!(ipv6 ? write_input6 : write_input)(path.c_str(), lines)) abort();
  }
  return path;
}

// A scratch root with a names file listing "ru" (the same one every time).
const std::string &scratch_root() {
  static const std::string root = "/tmp/tamsel-bench-root";
  static bool made = false;
  if (!made) {
    mkdir(root.c_str(), 0755);
    mkdir((root + "/conf").c_str(), 0755);
    mkdir((root + "/logs").c_str(), 0755);
    FILE *names = fopen((root + "/conf/countries").c_str(), "w");
    if (names == nullptr) abort();
    fputs("0 -- Unknown\n1 ru Russia\n", names);
    fclose(names);
    made = true;
  }
  return root;
}

// Runs argv with stdin from input and stdout to /dev/null; false when it
// cannot be started or does not exit with 0. *peak_kib: its peak RSS;
// *cpu_s (when given): its CPU time, user and system, which a loaded
// machine inflates less than the wall time.
bool run_child(std::vector<const char *> argv, const std::string &input, long *peak_kib,
               double *cpu_s = nullptr) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  argv.push_back(nullptr);
  pid_t pid;
  int rc =
      posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char **>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  *peak_kib = usage.ru_maxrss;
  if (cpu_s != nullptr) {
    *cpu_s = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void report(benchmark::State &state, long lines, long peak_kib) {
  state.counters["lines_per_s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024;
  state.counters["peak_B_per_range"] = static_cast<double>(peak_kib) * 1024 / lines;
}

// The converter's logic in a fresh process of this program (--run ROOT),
// with a scratch root so that nothing outside /tmp is read or written.
void BM_Tamsel(benchmark::State &state) {
  long lines = state.range(0), peak_kib = 0;
  const std::string &input = input_file(lines);
  for (auto _ : state) {
    if (!run_child({"/proc/self/exe", "--run", scratch_root().c_str()}, input, &peak_kib)) {
      state.SkipWithError("tamsel run failed");
      return;
    }
  }
  report(state, lines, peak_kib);
}

void BM_IprangeJ(benchmark::State &state) {
  long lines = state.range(0), peak_kib = 0;
  const std::string &input = input_file(lines);
  for (auto _ : state) {
    if (!run_child({"iprange", "-j"}, input, &peak_kib)) {
      state.SkipWithError("iprange -j cannot be run (Debian package iprange)");
      return;
    }
  }
  report(state, lines, peak_kib);
}

// tamsel -6, the program itself, in the scratch root.
void BM_Tamsel6(benchmark::State &state) {
  long lines = state.range(0), peak_kib = 0;
  double cpu_s = 0, cpu_total = 0;
  const std::string &input = input_file(lines, true);
  for (auto _ : state) {
    if (!run_child({TAMSEL_BIN, "-6", "-r", scratch_root().c_str()}, input, &peak_kib, &cpu_s)) {
      state.SkipWithError("tamsel -6 run failed");
      return;
    }
    cpu_total += cpu_s;
  }
  report(state, lines, peak_kib);
  const double runs = static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = cpu_total * 1000 / runs;
  state.counters["lines_per_cpu_s"] = static_cast<double>(lines) * runs / cpu_total;
}

BENCHMARK(BM_Tamsel)->Arg(100000)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IprangeJ)->Arg(100000)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tamsel6)->Arg(100000)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "--write-input") == 0)
    return write_input(argv[2], atol(argv[3])) ? 0 : 1;
  if (argc == 3 && strcmp(argv[1], "--run") == 0) return tamsel_run(argv[2], stdin, stdout);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
