// The indexed lookups of IPv4 and IPv6 boundary tables, held against the
// lookup's rule written as plainly as it can be: the id of the last entry
// whose start is not above the address (std::upper_bound), 0 below the first
// start. Edge tables first, then many generated tables of every shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ip_ranges/internal/range_index.h"
#include "ip_ranges_table_support.h"
#include "text_alloc_limit.h"

TEXT_ALLOW_FAILED_ALLOCATIONS

using velmor::ip6_key;
using velmor::range_index;

namespace {

constexpr uint32_t kTop = 0xFFFFFFFFu;
constexpr uint64_t kTop64 = ~uint64_t{0};

// ---- the two key types, seen alike ----

bool key_less(uint32_t a, uint32_t b) { return a < b; }
bool key_less(const ip6_key &a, const ip6_key &b) {
  return std::tie(a.hi, a.lo) < std::tie(b.hi, b.lo);
}

uint32_t next_key(uint32_t k) { return k + 1; }  // both wrap around the key space
uint32_t prev_key(uint32_t k) { return k - 1; }
ip6_key next_key(ip6_key k) { return {k.lo == kTop64 ? k.hi + 1 : k.hi, k.lo + 1}; }
ip6_key prev_key(ip6_key k) { return {k.lo == 0 ? k.hi - 1 : k.hi, k.lo - 1}; }

uint32_t lowest(uint32_t) { return 0; }
uint32_t highest(uint32_t) { return kTop; }
ip6_key lowest(ip6_key) { return {0, 0}; }
ip6_key highest(ip6_key) { return {kTop64, kTop64}; }

// The first key of a bucket.
uint32_t bucket_key(uint32_t, uint64_t bucket, uint32_t shift) {
  return static_cast<uint32_t>(bucket << shift);
}
ip6_key bucket_key(ip6_key, uint64_t bucket, uint32_t shift) { return {bucket << shift, 0}; }

std::string text_of(uint32_t k) { return std::to_string(k); }
std::string text_of(const ip6_key &k) { return std::to_string(k.hi) + ":" + std::to_string(k.lo); }

// The address as the network-order bytes a caller passes, written out here
// independently of the library's conversion.
void to_bytes(const ip6_key &k, uint8_t out[16]) {
  for (int i = 0; i < 8; i++) {
    out[i] = static_cast<uint8_t>(k.hi >> (56 - 8 * i));
    out[8 + i] = static_cast<uint8_t>(k.lo >> (56 - 8 * i));
  }
}

template <typename Key>
struct Table {
  std::vector<Key> starts;
  std::vector<uint8_t> ids;
  uint32_t count() const { return static_cast<uint32_t>(starts.size()); }
};

template <typename Key>
uint8_t contract_answer(const Table<Key> &t, const Key &addr) {
  auto past = std::upper_bound(t.starts.begin(), t.starts.end(), addr,
                               [](const Key &a, const Key &b) { return key_less(a, b); });
  return past == t.starts.begin() ? 0 : t.ids[past - t.starts.begin() - 1];
}

// A table with its index, released on the way out. IPv6 tables are kept
// as the library wants them: high halves, low halves and ids apart.
template <typename Key>
class Indexed {
 public:
  explicit Indexed(const Table<Key> &t) : t_(t) { built_ = build(t.starts.data()); }
  ~Indexed() { velmor::range_index_release(&index_); }
  Indexed(const Indexed &) = delete;
  Indexed &operator=(const Indexed &) = delete;

  bool built() const { return built_; }
  const range_index &index() const { return index_; }

  uint8_t lookup(uint32_t addr) const {
    return velmor::range_index_lookup(&index_, t_.starts.data(), t_.ids.data(), t_.count(), addr);
  }
  uint8_t lookup(const ip6_key &addr) const {
    uint8_t bytes[16];
    to_bytes(addr, bytes);
    return velmor::range6_index_lookup(&index_, table6_, bytes);
  }

  // The lookup over an index read from a file; on a valid index, the same.
  uint8_t bounded(uint32_t addr) const {
    return velmor::range_index_lookup_bounded(&index_, t_.starts.data(), t_.ids.data(), t_.count(),
                                              addr);
  }
  uint8_t bounded(const ip6_key &addr) const {
    uint8_t bytes[16];
    to_bytes(addr, bytes);
    return velmor::range6_index_lookup_bounded(&index_, table6_, bytes);
  }

  // The whole-table lookup, which answers where there is no index.
  uint8_t bisect(uint32_t addr) const {
    return velmor::range_bisect(t_.starts.data(), t_.ids.data(), t_.count(), addr);
  }
  uint8_t bisect(const ip6_key &addr) const { return velmor::range6_bisect(table6_, addr); }

 private:
  bool build(const uint32_t *starts) {
    return velmor::range_index_build(&index_, starts, t_.count());
  }
  bool build(const ip6_key *starts) {
    for (uint32_t i = 0; i < t_.count(); i++) {
      his_.push_back(starts[i].hi);
      los_.push_back(starts[i].lo);
    }
    table6_ = {his_.data(), los_.data(), t_.ids.data(), t_.count()};
    return velmor::range6_index_build(&index_, table6_);
  }

  const Table<Key> &t_;
  std::vector<uint64_t> his_, los_;
  velmor::range6_table table6_{};
  range_index index_{};
  bool built_ = false;
};

// The smallest table that gets an index: an IPv6 index gives half its room
// to fences.
uint32_t smallest_indexed(uint32_t) { return 24; }
uint32_t smallest_indexed(const ip6_key &) { return 48; }

// Where a wrong answer would show: both ends of the key space, starts and
// their neighbours (every start up to 20,000 of them, evenly spread ones
// beyond, and every fence's start), and both sides of every bucket boundary.
template <typename Key>
std::vector<Key> edge_probes(const Table<Key> &t, const range_index &index) {
  Key any{};
  std::vector<Key> probes{lowest(any), highest(any)};
  size_t stride = t.starts.size() / 20000 + 1;
  for (size_t i = 0; i < t.starts.size(); i += stride) {
    const Key &s = t.starts[i];
    probes.insert(probes.end(), {prev_key(s), s, next_key(s)});
  }
  for (uint64_t g = 0; g < index.fence_count; g++) {
    const Key &s = t.starts[g * velmor::fence_step];
    probes.insert(probes.end(), {prev_key(s), s, next_key(s)});
  }
  for (uint64_t b = 1; b < index.buckets; b++) {
    Key boundary = bucket_key(any, b, index.shift);
    probes.insert(probes.end(), {prev_key(boundary), boundary});
  }
  return probes;
}

// Builds the index and compares the indexed lookup and the whole-table
// bisection with the rule on every edge probe and every extra probe; an
// index is expected from 24 (IPv6: 48) entries on.
template <typename Key>
testing::AssertionResult answers_by_the_rule(const Table<Key> &t,
                                             const std::vector<Key> &extra = {}) {
  Indexed<Key> indexed(t);
  if (indexed.built() != (t.count() >= smallest_indexed(Key{})))
    return testing::AssertionFailure() << "index built: " << indexed.built();
  std::vector<Key> probes = edge_probes(t, indexed.index());
  probes.insert(probes.end(), extra.begin(), extra.end());
  for (const Key &addr : probes) {
    uint8_t got = indexed.lookup(addr), bisected = indexed.bisect(addr);
    uint8_t bounded = indexed.bounded(addr), want = contract_answer(t, addr);
    if (got != want || bisected != want || bounded != want)
      return testing::AssertionFailure() << "count " << t.count() << " addr " << text_of(addr)
                                         << ": got " << int(got) << " (bisection " << int(bisected)
                                         << ", bounded " << int(bounded) << "), want " << int(want);
  }
  return testing::AssertionSuccess();
}

// ---- edge tables ----

// An ascending table from (start, repeats) runs; every entry gets its own
// id (1..255 in turn) so that an answer from the wrong entry of a run shows.
Table<uint32_t> runs(std::initializer_list<std::pair<uint32_t, int>> list) {
  Table<uint32_t> t;
  for (auto [start, repeats] : list) t.starts.insert(t.starts.end(), repeats, start);
  for (size_t i = 0; i < t.starts.size(); i++) t.ids.push_back(static_cast<uint8_t>(i % 255 + 1));
  return t;
}

// n ascending starts from first, step apart.
Table<uint32_t> stepped(uint32_t first, uint32_t step, int n) {
  Table<uint32_t> t;
  for (int i = 0; i < n; i++) t.starts.push_back(first + static_cast<uint32_t>(i) * step);
  for (int i = 0; i < n; i++) t.ids.push_back(static_cast<uint8_t>(i % 255 + 1));
  return t;
}

Table<uint32_t> joined(Table<uint32_t> a, const Table<uint32_t> &b) {
  a.starts.insert(a.starts.end(), b.starts.begin(), b.starts.end());
  a.ids.insert(a.ids.end(), b.ids.begin(), b.ids.end());
  return a;
}

struct EdgeCase {
  const char *name;
  Table<uint32_t> table;
};

// 64 entries make 4 buckets (boundaries 0x40000000, 0x80000000, 0xC0000000),
// so runs are placed on both sides of those.
std::vector<EdgeCase> edge_tables() {
  return {
      {"one entry at 0", runs({{0, 1}})},
      {"one entry above 0", runs({{1000, 1}})},
      {"one entry at the top", runs({{kTop, 1}})},
      {"two entries", runs({{5, 1}, {0x80000000u, 1}})},
      {"three entries, two equal", runs({{7, 2}, {9, 1}})},
      {"three equal entries", runs({{7, 3}})},
      {"runs at both ends and around bucket boundaries",
       joined(runs({{0, 4}, {0x3FFFFFFFu, 3}, {0x40000000u, 3}, {0x7FFFFFFFu, 5}}),
              joined(stepped(0x80000000u, 0x100000u, 40),
                     runs({{0xBFFFFFFFu, 2}, {0xC0000000u, 3}, {kTop, 4}})))},
      {"first start far above 0", stepped(0xC8000000u, 3, 500)},
      {"every entry in one bucket", stepped(0x0A000000u, 1, 1000)},
      {"every entry in one bucket, in runs of four",
       [] {
         Table<uint32_t> t = stepped(0x0A000000u, 0, 1000);
         for (size_t i = 0; i < t.starts.size(); i++) t.starts[i] += static_cast<uint32_t>(i / 4);
         return t;
       }()},
      {"empty buckets between two clusters",
       joined(stepped(0x01000000u, 7, 300), stepped(0xF0000000u, 11, 300))},
      {"the last bucket alone holds entries", stepped(0xFFFFF000u, 16, 256)},
  };
}

TEST(RangeIndex, AnswersByTheRuleOnEdgeTables) {
  for (const EdgeCase &c : edge_tables()) EXPECT_TRUE(answers_by_the_rule(c.table)) << c.name;
}

// The same tables as IPv6 keys whose order is that of the IPv4 starts; the
// high half carries the start in its top bits so that the buckets fall where
// they did, the low half keeps the keys apart below that.
TEST(RangeIndex6, AnswersByTheRuleOnEdgeTables) {
  for (const EdgeCase &c : edge_tables()) {
    Table<ip6_key> t;
    for (uint32_t s : c.table.starts) t.starts.push_back({uint64_t{s} << 32, uint64_t{s} * 3});
    t.ids = c.table.ids;
    EXPECT_TRUE(answers_by_the_rule(t)) << c.name;
  }
}

// Keys that share the high half and differ only in the low half: the order
// inside the shared high half, and its ends, are decided by the low half.
TEST(RangeIndex6, OrdersKeysWithTheSameHighHalfByTheLowHalf) {
  Table<ip6_key> t;
  const uint64_t his[] = {0, 0x20010DB800000000u, 0x20010DB800000001u, kTop64};
  const uint64_t los[] = {0, 0, 1, 0x8000000000000000u, kTop64 - 1, kTop64, kTop64};
  for (uint64_t hi : his) {
    for (uint64_t lo : los) t.starts.push_back({hi, lo});
  }
  for (size_t i = 0; i < t.starts.size(); i++) t.ids.push_back(static_cast<uint8_t>(i + 1));
  std::vector<ip6_key> probes;
  for (uint64_t hi : his) probes.push_back({hi, 0x7FFFFFFFFFFFFFFFu});
  EXPECT_TRUE(answers_by_the_rule(t, probes));
}

// IPv6 tables of the shapes that make top-bits buckets long or fences
// ambiguous. Ids run 1..255 in turn, so an answer from a neighbour shows.
Table<ip6_key> keys6(std::vector<ip6_key> starts) {
  Table<ip6_key> t;
  t.starts = std::move(starts);
  for (size_t i = 0; i < t.starts.size(); i++) t.ids.push_back(static_cast<uint8_t>(i % 255 + 1));
  return t;
}

// n keys from (hi, lo), stepping the high half by hi_step and the low half
// by lo_step.
std::vector<ip6_key> keys_from(ip6_key first, uint64_t hi_step, uint64_t lo_step, int n) {
  std::vector<ip6_key> keys;
  for (int i = 0; i < n; i++)
    keys.push_back({first.hi + hi_step * static_cast<uint64_t>(i),
                    first.lo + lo_step * static_cast<uint64_t>(i)});
  return keys;
}

std::vector<ip6_key> each_repeated(std::vector<ip6_key> keys, int times) {
  std::vector<ip6_key> out;
  for (const ip6_key &k : keys) out.insert(out.end(), static_cast<size_t>(times), k);
  return out;
}

std::vector<ip6_key> concat(std::vector<ip6_key> a, const std::vector<ip6_key> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RangeIndex6, AnswersByTheRuleWhereBucketsAreLongOrFencesTie) {
  constexpr uint64_t kHe = 0x2001047000000000u;  // 2001:470::/32
  constexpr uint64_t kSlash48 = uint64_t{1} << 16;
  const struct {
    const char *name;
    std::vector<ip6_key> starts;
  } cases[] = {
      {"one /32 holds every entry, /48 apart (one long bucket)",
       keys_from({kHe, 0}, kSlash48, 0, 20000)},
      {"one /32 holds most, a few entries spread around it",
       concat(concat(keys_from({0, 0}, uint64_t{1} << 58, 0, 8),
                     keys_from({kHe, 0}, kSlash48, 0, 9000)),
              keys_from({0xF000000000000000u, 0}, uint64_t{1} << 56, 0, 8))},
      {"every entry shares one high half", keys_from({kHe, 0}, 0, 7, 5000)},
      {"runs of 40 equal starts, longer than a fence step",
       each_repeated(keys_from({kHe, 3}, kSlash48, 0, 100), 40)},
      {"high halves shared by runs of 50, low halves ascending",
       [] {
         std::vector<ip6_key> keys;
         for (uint64_t h = 0; h < 60; h++)
           for (uint64_t l = 0; l < 50; l++) keys.push_back({kHe + h * kSlash48, l << 40});
         return keys;
       }()},
      {"entries around ::ffff:0:0/96", keys_from({0, 0xFFFF00000000u - 3000}, 0, 100, 64)},
      {"23 entries", keys_from({kHe, 0}, kSlash48, 0, 23)},
      {"47 entries", keys_from({kHe, 0}, kSlash48, 0, 47)},
      {"48 entries", keys_from({kHe, 0}, kSlash48, 0, 48)},
      {"64 entries, two fences", keys_from({kHe, 0}, kSlash48, 0, 64)},
  };
  for (const auto &c : cases) EXPECT_TRUE(answers_by_the_rule(keys6(c.starts))) << c.name;
}

// The IPv6 index, buckets and fences together, stays within half a byte per
// entry, as the compiled file's size promises; it has a fence per 32 entries.
TEST(RangeIndex6, TakesAtMostHalfAByteAPerEntry) {
  for (uint32_t count : {47u, 48u, 63u, 64u, 1000u, 131072u, 329829u}) {
    Table<ip6_key> t;
    for (uint32_t i = 0; i < count; i++) t.starts.push_back({uint64_t{i} << 40, 0});
    t.ids.assign(count, 1);
    Indexed<ip6_key> indexed(t);
    const range_index &index = indexed.index();
    EXPECT_EQ(indexed.built(), count >= 48) << count;
    EXPECT_EQ(index.fence_count, indexed.built() ? count / velmor::fence_step : 0) << count;
    const uint64_t bytes =
        (index.buckets ? (uint64_t{index.buckets} + 1) * 4 : 0) + uint64_t{index.fence_count} * 8;
    EXPECT_LE(bytes, count / 2) << count;
  }
}

// The index may add half a byte per entry and no more; within that it takes
// the most buckets it can, since fewer make every bucket's search longer.
TEST(RangeIndex, TakesTheMostBucketsWithinHalfAByteAPerEntry) {
  const uint32_t counts[] = {23, 24, 25, 47, 48, 64, 131071, 131072, 131080, 200000, 1u << 21};
  for (uint32_t count : counts) {
    std::vector<uint32_t> starts(count);
    for (uint32_t i = 0; i < count; i++) starts[i] = i * 1000;
    range_index index{};
    bool built = velmor::range_index_build(&index, starts.data(), count);
    EXPECT_EQ(built, count >= 24) << count;
    if (built) {
      uint64_t words = uint64_t{index.buckets} + 1;
      EXPECT_LE(words * 4, count / 2) << count;
      EXPECT_GT((words + index.buckets) * 4, count / 2) << count;
      EXPECT_EQ(index.buckets & (index.buckets - 1), 0u) << count;
      EXPECT_EQ(uint64_t{index.buckets} << index.shift, uint64_t{1} << 32) << count;
    }
    velmor::range_index_release(&index);
    EXPECT_EQ(index.bucket_starts, nullptr);
  }
}

// When the bucket array cannot be had the build says so, leaves no index,
// and lookups give the same answers by bisecting the whole table. Under the
// limit the heap cannot grow, but blocks freed earlier in the process could
// still hold the array; taking every block of 64 KiB that is left makes the
// array's 512 KiB unobtainable.
TEST(RangeIndex, WithoutMemoryLeavesNoIndexAndStillAnswers) {
  testing_support::RangesRoot root;
  std::mt19937 rng(5);
  Table<uint32_t> t = stepped(0, 512, 1 << 21);
  for (auto &id : t.ids) id = static_cast<uint8_t>(rng());
  std::vector<uint32_t> probes(10000);
  for (auto &p : probes) p = rng();
  EXPECT_TRUE(testing_support::passes_without_memory([&] {
    for (int held = 0; held < (1 << 20) && std::malloc(1 << 16); held++) {
    }
    range_index index{};
    if (velmor::range_index_build(&index, t.starts.data(), t.count())) return false;
    if (index.bucket_starts || index.buckets) return false;
    return std::all_of(probes.begin(), probes.end(), [&](uint32_t a) {
      return velmor::range_index_lookup(&index, t.starts.data(), t.ids.data(), t.count(), a) ==
             contract_answer(t, a);
    });
  }));
}

// A table file need not be in order; on such a table the lookup must still
// stay inside it and give one of its ids (or 0).
TEST(RangeIndex, StaysInsideATableThatIsNotAscending) {
  std::mt19937 rng(99);
  for (uint32_t count : {24u, 100u, 5000u}) {
    Table<uint32_t> t;
    for (uint32_t i = 0; i < count; i++) {
      t.starts.push_back(rng());
      t.ids.push_back(static_cast<uint8_t>(1 + rng() % 200));
    }
    std::set<uint8_t> held(t.ids.begin(), t.ids.end());
    held.insert(0);
    Indexed<uint32_t> indexed(t);
    ASSERT_TRUE(indexed.built());
    for (int i = 0; i < 20000; i++) {
      uint8_t got = indexed.lookup(static_cast<uint32_t>(rng()));
      ASSERT_TRUE(held.count(got)) << int(got);
    }
  }
}

// ---- generated tables ----

enum class Shape { uniform, repeats, skewed, narrow };
constexpr Shape kShapes[] = {Shape::uniform, Shape::repeats, Shape::skewed, Shape::narrow};

// Sizes spread evenly on a log scale over 1..300,000.
uint32_t random_count(std::mt19937_64 &rng) {
  double exponent = std::uniform_real_distribution<double>(0, std::log(300000.0))(rng);
  return static_cast<uint32_t>(std::exp(exponent)) + (rng() % 2);
}

// Starts by shape: uniform; drawn from a small pool (runs of equal starts);
// nine in ten inside three /8s (as real country tables crowd into a few);
// or all within 2^16 addresses (one or two buckets, and runs once the table
// outgrows that space). Ends sometimes pinned to 0 and to the top.
Table<uint32_t> random_table(std::mt19937_64 &rng, uint32_t count, Shape shape) {
  Table<uint32_t> t;
  std::vector<uint32_t> pool(std::max<uint32_t>(1, count / 3));
  for (auto &p : pool) p = static_cast<uint32_t>(rng());
  uint32_t crowded[3] = {static_cast<uint32_t>(rng()) & 0xFF000000u,
                         static_cast<uint32_t>(rng()) & 0xFF000000u,
                         static_cast<uint32_t>(rng()) & 0xFF000000u};
  uint32_t narrow_base = static_cast<uint32_t>(rng());
  for (uint32_t i = 0; i < count; i++) {
    uint32_t r = static_cast<uint32_t>(rng());
    switch (shape) {
      case Shape::uniform:
        t.starts.push_back(r);
        break;
      case Shape::repeats:
        t.starts.push_back(pool[r % pool.size()]);
        break;
      case Shape::skewed:
        t.starts.push_back(r % 10 ? crowded[r % 3] | (r >> 8) : r);
        break;
      case Shape::narrow:
        t.starts.push_back(narrow_base + (r & 0xFFFF));
        break;
    }
    t.ids.push_back(static_cast<uint8_t>(rng()));
  }
  std::sort(t.starts.begin(), t.starts.end());
  if (rng() % 4 == 0) t.starts.front() = 0;
  if (rng() % 4 == 0) t.starts.back() = kTop;
  return t;
}

// The same shapes for IPv6: uniform 128-bit keys; a small pool of high
// halves with varied low halves (keys that tie on hi, and exact repeats);
// /48 networks inside three /32s, low half 0, as real tables are; or all
// within 2^16 high halves.
Table<ip6_key> random_table6(std::mt19937_64 &rng, uint32_t count, Shape shape) {
  Table<ip6_key> t;
  std::vector<uint64_t> pool(std::max<uint32_t>(1, count / 3));
  for (auto &p : pool) p = rng();
  uint64_t crowded[3] = {rng() << 32, rng() << 32, rng() << 32};
  uint64_t narrow_base = rng();
  for (uint32_t i = 0; i < count; i++) {
    uint64_t r = rng();
    switch (shape) {
      case Shape::uniform:
        t.starts.push_back({r, rng()});
        break;
      case Shape::repeats:
        t.starts.push_back({pool[r % pool.size()], rng() % 4});
        break;
      case Shape::skewed:
        t.starts.push_back(r % 10 ? ip6_key{crowded[r % 3] | (r & 0xFFFF0000u), 0} : ip6_key{r, 0});
        break;
      case Shape::narrow:
        t.starts.push_back({narrow_base + (r & 0xFFFF), rng() % 3});
        break;
    }
    t.ids.push_back(static_cast<uint8_t>(rng()));
  }
  std::sort(t.starts.begin(), t.starts.end(), [](auto &a, auto &b) { return key_less(a, b); });
  if (rng() % 4 == 0) t.starts.front() = {0, 0};
  if (rng() % 4 == 0) t.starts.back() = {kTop64, kTop64};
  return t;
}

uint32_t random_key(std::mt19937_64 &rng, uint32_t) { return static_cast<uint32_t>(rng()); }
ip6_key random_key(std::mt19937_64 &rng, ip6_key) { return {rng(), rng()}; }

// Random addresses over the whole space, and addresses near random starts:
// the whole space alone would seldom land inside a crowded region's runs.
template <typename Key>
std::vector<Key> random_probes(std::mt19937_64 &rng, const Table<Key> &t) {
  std::vector<Key> probes;
  for (int i = 0; i < 3000; i++) {
    Key near = t.starts[rng() % t.count()];
    probes.push_back(random_key(rng, Key{}));
    probes.push_back(rng() % 2 ? next_key(next_key(near)) : prev_key(prev_key(near)));
  }
  return probes;
}

template <typename Key, typename MakeTable>
void expect_rule_on_generated_tables(uint64_t seed, MakeTable make_table) {
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 48; round++) {
    Shape shape = kShapes[round % 4];
    uint32_t count = round < 4 ? 300000 : random_count(rng);
    Table<Key> t = make_table(rng, count, shape);
    ASSERT_TRUE(answers_by_the_rule(t, random_probes(rng, t)))
        << "round " << round << " shape " << static_cast<int>(shape);
  }
}

TEST(RangeIndex, AnswersByTheRuleOnGeneratedTables) {
  expect_rule_on_generated_tables<uint32_t>(2024, random_table);
}

TEST(RangeIndex6, AnswersByTheRuleOnGeneratedTables) {
  expect_rule_on_generated_tables<ip6_key>(2025, random_table6);
}

}  // namespace
