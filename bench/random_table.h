// The random IPv4 table and addresses the lookup benchmarks share: distinct
// ascending starts from 0 with random ids, and the addresses to probe, the
// same for every run (fixed seeds), so the figures of different benchmarks
// describe the same lookups.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace bench_tables {

struct RandomStarts {
  std::vector<uint32_t> starts;
  std::vector<uint8_t> ids;
};

inline RandomStarts random_starts(size_t entries) {
  std::mt19937 rng(2024);
  RandomStarts t;
  t.starts.resize(entries);
  for (auto &s : t.starts) s = rng();
  t.starts[0] = 0;
  std::sort(t.starts.begin(), t.starts.end());
  t.starts.erase(std::unique(t.starts.begin(), t.starts.end()), t.starts.end());
  while (t.starts.size() < entries) t.starts.push_back(t.starts.back() + 1);
  t.ids.resize(entries);
  for (auto &id : t.ids) id = static_cast<uint8_t>(rng());
  return t;
}

// count random addresses to look up, the same for every run.
inline std::vector<uint32_t> random_addresses(size_t count) {
  std::mt19937 rng(7);
  std::vector<uint32_t> addresses(count);
  for (auto &a : addresses) a = rng();
  return addresses;
}

}  // namespace bench_tables
