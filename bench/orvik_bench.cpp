// orvik's conversion on a generated country list of 1,000,000 sorted lines
// over 250 codes, side by side with awk merely printing two fields of the
// same file; and on 500,000 IPv6 lines, in the six-field form of the
// published IPv6 list and in the range-code form. All report lines per
// second (items_per_second).
//
//   cmake --preset release && cmake --build --preset release -j2
//   build/release/bench/orvik_bench --benchmark_repetitions=5
//                                   --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "address_text.h"
#include "orvik.h"
#include "str/internal/uint128.h"

namespace {

constexpr int kLines = 1000000;
constexpr int kCodes = 250;
constexpr int kLines6 = 500000;

// A scratch root with a names file of 250 two-letter codes and the input
// file; built once for all benchmarks.
struct Fixture {
  std::string root;
  std::string csv;
  std::string csv6;         // six-field IPv6 lines
  std::string range_code6;  // the same ranges as first,last,code

  Fixture() {
    char templ[] = "/tmp/orvik-bench.XXXXXX";
    root = mkdtemp(templ);
    mkdir((root + "/conf").c_str(), 0755);
    mkdir((root + "/logs").c_str(), 0755);
    csv = root + "/countries.csv";

    FILE *names = fopen((root + "/conf/countries").c_str(), "w");
    for (int id = 1; id <= kCodes; ++id)
      fprintf(names, "%d %s Country %d\n", id, code(id, false).c_str(), id);
    fclose(names);

    // Consecutive ranges of 256 addresses with a random code each, upper-case
    // as the lists usually come, so nearly every line changes the id.
    std::mt19937 random(42);
    FILE *out = fopen(csv.c_str(), "w");
    for (uint32_t i = 0; i < kLines; ++i) {
      const uint32_t first = 0x01000000u + i * 256u, last = first + 255u;
      const int id = static_cast<int>(random() % kCodes) + 1;
      fprintf(out, "\"%u.%u.%u.%u\",\"%u.%u.%u.%u\",\"%u\",\"%u\",\"%s\",\"Country %d\"\n",
              first >> 24, first >> 16 & 255, first >> 8 & 255, first & 255, last >> 24,
              last >> 16 & 255, last >> 8 & 255, last & 255, first, last, code(id, true).c_str(),
              id);
    }
    fclose(out);
    write_ipv6_lists(random);
  }

  // Consecutive /48s from 2001:: on, a random code each.
  void write_ipv6_lists(std::mt19937 &random) {
    csv6 = root + "/countries6.csv";
    range_code6 = root + "/range-code6.csv";
    FILE *six = fopen(csv6.c_str(), "w");
    FILE *codes = fopen(range_code6.c_str(), "w");
    const velmor::uint128 base = velmor::uint128{0x2001} << 112;
    const velmor::uint128 size = velmor::uint128{1} << 80;
    for (int i = 0; i < kLines6; ++i) {
      const velmor::uint128 first = base + size * static_cast<unsigned>(i), last = first + size - 1;
      const int id = static_cast<int>(random() % kCodes) + 1;
      const std::string a = bench_text::ipv6_text(first), b = bench_text::ipv6_text(last),
                        c = code(id, true);
      fprintf(six, "\"%s\", \"%s\", \"%s\", \"%s\", \"%s\", \"Country %d\"\n", a.c_str(), b.c_str(),
              bench_text::decimal(first).c_str(), bench_text::decimal(last).c_str(), c.c_str(), id);
      fprintf(codes, "%s,%s,%s\n", a.c_str(), b.c_str(), c.c_str());
    }
    fclose(six);
    fclose(codes);
  }
  ~Fixture() { system(("rm -rf '" + root + "'").c_str()); }

  static std::string code(int id, bool upper) {
    const char base = upper ? 'A' : 'a';
    return {static_cast<char>(base + id / 26), static_cast<char>(base + id % 26)};
  }
};

Fixture &fixture() {
  static Fixture f;
  return f;
}

void BM_OrvikConvert(benchmark::State &state) {
  Fixture &f = fixture();
  for (auto _ : state) {
    FILE *in = fopen(f.csv.c_str(), "r");
    const int status = orvik_run(f.root.c_str(), in);
    fclose(in);
    if (status != 0) state.SkipWithError("orvik failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_OrvikConvert)->Unit(benchmark::kMillisecond)->UseRealTime();

// orvik -r ROOT ARGS... FILE in this process.
int run_orvik(const Fixture &f, std::vector<std::string> args, const std::string &file) {
  args.insert(args.begin(), {"orvik", "-r", f.root});
  args.push_back(file);
  std::vector<char *> argv;
  for (std::string &arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return orvik_main(f.root.c_str(), static_cast<int>(args.size()), argv.data());
}

void BM_OrvikConvertIpv6(benchmark::State &state) {
  Fixture &f = fixture();
  for (auto _ : state) {
    if (run_orvik(f, {}, f.csv6) != 0) state.SkipWithError("orvik failed on the IPv6 list");
  }
  state.SetItemsProcessed(state.iterations() * kLines6);
}
BENCHMARK(BM_OrvikConvertIpv6)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OrvikConvertRangeCode6(benchmark::State &state) {
  Fixture &f = fixture();
  for (auto _ : state) {
    if (run_orvik(f, {"--format", "range-code"}, f.range_code6) != 0)
      state.SkipWithError("orvik --format range-code failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines6);
}
BENCHMARK(BM_OrvikConvertRangeCode6)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AwkTwoFields(benchmark::State &state) {
  Fixture &f = fixture();
  const std::string command = "awk -F, '{print $3, $5}' '" + f.csv + "' > /dev/null";
  for (auto _ : state) {
    if (system(command.c_str()) != 0) state.SkipWithError("awk failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_AwkTwoFields)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
