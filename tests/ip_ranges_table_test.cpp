// The boundary table: reading rules, lookups, the untried/loaded/failed
// states, reloads, and files that are bad or change under the loader.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ip_ranges.h"
#include "ip_ranges/internal/record.h"
#include "ip_ranges/internal/table_file.h"
#include "ip_ranges_table_support.h"
#include "misc.h"
#include "str.h"

using namespace testing_support;

namespace {

constexpr const char *kTable = "conf/countries.ips";
constexpr int64_t kTime = 1'600'000'000;
constexpr uint32_t kTop = 0xFFFFFFFFu;

uint32_t ip(const char *text) { return str_ip_parse(text); }

using Entries = std::vector<std::pair<uint32_t, int>>;

Entries entries_of(const ip_ranges *table) {
  Entries entries;
  if (!table->starts) return entries;
  for (int32_t i = 0; i < table->count; i++) entries.emplace_back(table->starts[i], table->ids[i]);
  return entries;
}

size_t count_of(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer's runtime (its header does not come with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
size_t allocated_bytes() { return __sanitizer_get_current_allocated_bytes(); }
#else
size_t allocated_bytes() { return mallinfo2().uordblks; }
#endif

const std::string kThreeEntries = "0.0.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n";
const std::string kNoEntries = "10.0.0.0\nno space here\n";

}  // namespace

// ---- lookups ----

TEST(IpRangesLookup, AnswersTheEntryThatCoversTheAddress) {
  RangesRoot root;
  write_file(kTable, kThreeEntries);
  ScopedRanges table("countries");
  const std::pair<uint32_t, int> cases[] = {
      {ip("0.0.0.0"), 0},
      {ip("9.255.255.255"), 0},
      {ip("10.0.0.0"), 7},
      {ip("10.200.1.1"), 7},
      {ip("10.255.255.255"), 7},
      {ip("11.0.0.0"), 0},
      {kTop, 0},
  };
  for (const auto &[addr, id] : cases) EXPECT_EQ(ip_ranges_lookup(table.table, addr), id) << addr;
  EXPECT_EQ(root.error_log(), "");
}

TEST(IpRangesLookup, GivesZeroBelowTheFirstStart) {
  RangesRoot root;
  write_file(kTable, "10.0.0.0 7\n");
  ScopedRanges table("countries");
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("1.2.3.4")), 0);
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("9.255.255.255")), 0);
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.0.0.0")), 7);
  EXPECT_EQ(ip_ranges_lookup(table.table, kTop), 7);
}

// The plain bisection with an early exit, on random ascending tables with
// repeated starts: the same answer, except that among equal starts it may
// pick any; the table answers with the last of them.
TEST(IpRangesLookup, AgreesWithThePlainBisectionOnAscendingTables) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; round++) {
    size_t count = 1 + rng() % (round < 200 ? 12 : 700);
    uint32_t spread = round % 3 == 0 ? 16 : kTop;  // small spreads repeat starts
    std::vector<uint32_t> starts(count);
    std::vector<uint8_t> ids(count);
    for (auto &s : starts) s = rng() % spread;
    if (round % 5 == 0) starts[0] = 0;
    if (round % 7 == 0) starts.back() = kTop;
    std::sort(starts.begin(), starts.end());
    for (auto &id : ids) id = static_cast<uint8_t>(rng());
    ip_ranges table{};
    table.starts = starts.data();
    table.ids = ids.data();
    table.count = static_cast<int32_t>(count);
    std::vector<uint32_t> probes{0, kTop};
    for (uint32_t s : starts) probes.insert(probes.end(), {s - 1, s, s + 1});
    for (int i = 0; i < 50; i++) probes.push_back(rng() % (spread == kTop ? kTop : spread + 2));
    for (uint32_t a : probes) {
      auto first = std::lower_bound(starts.begin(), starts.end(), a);
      auto past = std::upper_bound(starts.begin(), starts.end(), a);
      uint8_t got = ip_ranges_lookup(&table, a);
      uint8_t plain = reference_lookup(starts, ids, a);
      if (past - first > 1) {
        std::set<uint8_t> equal(ids.begin() + (first - starts.begin()),
                                ids.begin() + (past - starts.begin()));
        ASSERT_TRUE(equal.count(plain)) << a;
        ASSERT_EQ(got, ids[past - starts.begin() - 1]) << "round " << round << " addr " << a;
      } else {
        ASSERT_EQ(got, plain) << "round " << round << " addr " << a;
      }
    }
  }
}

// A record loaded from a file answers through its index: the same answers
// as the last entry whose start is not above the address, 0 below the first,
// on tables large enough to be indexed, with runs of equal starts and skew.
TEST(IpRangesLookup, LoadedRecordsAnswerThroughTheirIndexAsTheTableSays) {
  RangesRoot root;
  std::mt19937 rng(99);
  for (int round = 0; round < 12; round++) {
    size_t count = 30 + rng() % 20000;
    std::vector<uint32_t> starts(count);
    for (auto &start : starts) {
      start = round % 3 == 0 ? 0x0A000000u + rng() % 70000 : rng();  // skewed into one /8
      if (rng() % 8 == 0) start = starts[0];                         // equal starts
    }
    if (round % 2 == 0) starts[0] = 0;
    std::sort(starts.begin(), starts.end());
    starts.erase(std::remove(starts.begin(), starts.end(), kTop), starts.end());  // no entry there
    std::vector<uint8_t> ids(starts.size());
    std::string text;
    for (size_t i = 0; i < starts.size(); i++) {
      ids[i] = static_cast<uint8_t>(rng());
      text += str_ip_format(starts[i]) + std::string(" ") + std::to_string(ids[i]) + "\n";
    }
    write_file(kTable, text);
    ScopedRanges table("countries");
    ASSERT_TRUE(ip_ranges_load(table.table));
    std::vector<uint32_t> probes{0, kTop};
    for (int i = 0; i < 2000; i++) {
      uint32_t s = starts[rng() % starts.size()];
      probes.insert(probes.end(), {s - 1, s, s + 1, static_cast<uint32_t>(rng())});
    }
    for (uint32_t a : probes) {
      auto past = std::upper_bound(starts.begin(), starts.end(), a);
      uint8_t expected = past == starts.begin() ? 0 : ids[past - starts.begin() - 1];
      ASSERT_EQ(ip_ranges_lookup(table.table, a), expected) << "round " << round << " addr " << a;
    }
  }
}

TEST(IpRangesLookup, AnswersOnlyHeldIdsOnUnorderedTables) {
  RangesRoot root;
  write_file(kTable, "200.0.0.0 9\n100.0.0.0 8\n100.0.0.0 3\n50.0.0.0 6\n150.0.0.0 5\n1.0.0.0 4\n");
  ScopedRanges table("countries");
  std::set<int> held{0, 9, 8, 3, 6, 5, 4};
  std::mt19937 rng(7);
  for (int i = 0; i < 10000; i++) {
    uint32_t a = rng();
    ASSERT_TRUE(held.count(ip_ranges_lookup(table.table, a))) << a;
  }
}

// ---- reading the file ----

TEST(IpRangesLoad, TakesEntriesFromPiecesByTheReadingRules) {
  RangesRoot root;
  std::string text =
      "10.0.0.0 300\n"       // id keeps its low 8 bits
      "11.0.0.0 -1\n"        // -1 is 255
      "12.0.0.0\n"           // no space
      "255.255.255.255 5\n"  // the parser's failure value
      "\n"
      "garbage line\n"
      "x=13.0.0.0 4\n"  // text before the address is ignored
      "20.0.0.0 3\r\n";
  // 40 characters: the first 31 are one piece, the other 9 and the LF another.
  text += "14.0.0.0 5" + std::string(21, 'x') + "9.0.0.0 6\n";
  text += std::string(1000, 'a') + "\n";          // 33 pieces, none an entry
  text += std::string("17.0.0.0\0 8\n", 12);      // the space lies after a NUL
  text += std::string("18.0.0.0 9\0junk\n", 16);  // the NUL ends the piece's text
  write_file(kTable, text);
  ScopedRanges table("countries");
  ASSERT_TRUE(ip_ranges_load(table.table));
  Entries expected{{ip("10.0.0.0"), 44}, {ip("11.0.0.0"), 255}, {ip("13.0.0.0"), 4},
                   {ip("20.0.0.0"), 3},  {ip("14.0.0.0"), 5},   {ip("9.0.0.0"), 6},
                   {ip("18.0.0.0"), 9}};
  EXPECT_EQ(entries_of(table.table), expected);
  EXPECT_EQ(root.error_log(), "");
}

TEST(IpRangesLoad, ReportsEachFailureAndLeavesNoTable) {
  struct Case {
    const char *what;
    bool file;
    std::string text;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"missing",
       false,
       "",
       {"cannot stat 'conf/countries.ips': No such file or directory",
        "cannot open conf/countries.ips: No such file or directory"}},
      {"empty", true, "", {}},
      {"no entries", true, kNoEntries, {"no ranges found in conf/countries.ips"}},
      {"only NUL bytes", true, std::string(100, '\0'), {"no ranges found in conf/countries.ips"}},
  };
  for (const Case &c : cases) {
    RangesRoot root;
    if (c.file) write_file_at(kTable, c.text, kTime);
    ScopedRanges table("countries");
    EXPECT_FALSE(ip_ranges_load(table.table)) << c.what;
    EXPECT_EQ(table->starts, nullptr) << c.what;
    EXPECT_EQ(table->ids, nullptr) << c.what;
    EXPECT_EQ(table->mtime, c.file ? kTime : 0) << c.what;
    std::vector<std::string> lines = split_lines(root.error_log());
    ASSERT_EQ(lines.size(), c.messages.size()) << c.what;
    for (size_t i = 0; i < lines.size(); i++) {
      EXPECT_NE(lines[i].find("| " + c.messages[i]), std::string::npos) << lines[i];
    }
  }
}

TEST(IpRangesLoad, NullRecordIsReportedByLoadOnly) {
  RangesRoot root;
  EXPECT_FALSE(ip_ranges_load(nullptr));
  EXPECT_FALSE(ip_ranges_reload(nullptr));
  EXPECT_EQ(ip_ranges_lookup(nullptr, ip("1.2.3.4")), 0);
  EXPECT_EQ(split_lines(root.error_log()).size(), 1u);
  EXPECT_NE(root.error_log().find("| NULL ranges\n"), std::string::npos);
}

TEST(IpRangesLoad, ReplacesATableTheRecordAlreadyHolds) {
  RangesRoot root;
  ScopedRanges table("countries");
  write_file_at(kTable, kThreeEntries, kTime);
  ASSERT_TRUE(ip_ranges_load(table.table));
  write_file_at(kTable, "0.0.0.0 1\n", kTime + 1);
  ASSERT_TRUE(ip_ranges_load(table.table));
  EXPECT_EQ(entries_of(table.table), (Entries{{0, 1}}));
  write_file_at(kTable, kNoEntries, kTime + 2);
  EXPECT_FALSE(ip_ranges_load(table.table));
  EXPECT_EQ(table->starts, nullptr);
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.1.1")), 0);
}

// Loads over a loaded record and reloads release what they replace: the heap
// stays at one table and one set of names however often they run.
TEST(IpRangesLoad, RepeatedLoadsAndReloadsKeepOneTable) {
  RangesRoot root;
  std::string text;
  for (int i = 0; i < 20000; i++)
    text += str_ip_format(static_cast<uint32_t>(i) << 12) + std::string(" 1\n");
  write_file("conf/countries", "1 aa Alpha\n");
  write_file_at(kTable, text, kTime);
  ScopedRanges table("countries");
  ASSERT_TRUE(ip_ranges_load(table.table));
  ASSERT_STREQ(ip_ranges_code(table.table, 1), "aa");
  size_t before = allocated_bytes();
  for (int round = 1; round <= 10; round++) {
    ASSERT_TRUE(ip_ranges_load(table.table));
    write_file_at(kTable, text, kTime + round);
    ASSERT_TRUE(ip_ranges_reload(table.table));
    ASSERT_STREQ(ip_ranges_code(table.table, 1), "aa");
  }
  EXPECT_LT(allocated_bytes(), before + 20000);  // one table is 100,000 bytes
}

// The file is rewritten in place between the counting and the reading pass:
// the step between the passes writes the next of these texts at each call,
// then nothing more.
namespace {
std::vector<std::string> rewrites;
size_t rewrite_calls;
void rewrite_table(const char *path) {
  if (rewrite_calls < rewrites.size()) write_file(path, rewrites[rewrite_calls]);
  rewrite_calls++;
}
}  // namespace

TEST(IpRangesLoad, FileChangedDuringTheLoadIsReadAgainWhole) {
  std::string many;
  Entries many_entries;
  for (uint32_t i = 1; i <= 5000; i++) {
    many += str_ip_format(i << 16) + std::string(" 5\n");
    many_entries.emplace_back(i << 16, 5);
  }
  const std::string same_size = "0.0.0.0 2\n10.0.0.0 3\n11.0.0.0 4\n";
  struct Case {
    const char *what;
    std::vector<std::string> rewrites;
    Entries expected;
    const char *message;
  };
  const Case cases[] = {
      {"grown", {many}, many_entries, nullptr},
      {"truncated", {"0.0.0.0 1\n"}, {{0, 1}}, nullptr},
      {"same size", {same_size}, {{0, 2}, {ip("10.0.0.0"), 3}, {ip("11.0.0.0"), 4}}, nullptr},
      {"emptied", {""}, {}, nullptr},
      {"garbled", {kNoEntries}, {}, "no ranges found in conf/countries.ips"},
      {"never settles",
       {many, kThreeEntries, many, kThreeEntries},
       {},
       "cannot load conf/countries.ips: it changed while being read"},
  };
  for (const Case &c : cases) {
    RangesRoot root;
    write_file(kTable, kThreeEntries);
    rewrites = c.rewrites;
    rewrite_calls = 0;
    ScopedRanges table("countries");
    EXPECT_EQ(velmor::load_table(table.table, rewrite_table), !c.expected.empty()) << c.what;
    EXPECT_EQ(entries_of(table.table), c.expected) << c.what;
    std::vector<std::string> lines = split_lines(root.error_log());
    ASSERT_EQ(lines.size(), c.message ? 1u : 0u) << c.what;
    if (c.message) {
      EXPECT_NE(lines[0].find(c.message), std::string::npos) << lines[0];
    }
  }
}

// A table renamed over the file during a load: the load finishes on the old
// file, and the next reload reads the new one.
TEST(IpRangesLoad, FileRenamedOverDuringTheLoadIsPickedUpByTheNextReload) {
  RangesRoot root;
  write_file_at(kTable, kThreeEntries, kTime);
  auto rename_new_over = [](const char *path) {
    write_file_at("conf/new.ips", "0.0.0.0 4\n", kTime + 5);
    rename("conf/new.ips", path);
  };
  ScopedRanges table("countries");
  EXPECT_TRUE(velmor::load_table(table.table, rename_new_over));
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.1.1")), 7);
  EXPECT_TRUE(ip_ranges_reload(table.table));
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.1.1")), 4);
}

// The counting pass made room for three pieces; the stream holds more, or
// fewer, or exactly three.
TEST(IpRangesLoad, ReadingPassStopsAtTheRoomMade) {
  std::string text;
  for (int i = 0; i < 100; i++) text += "1.2.3." + std::to_string(i) + " 9\n";
  for (size_t lines : {100, 2, 3}) {
    std::string head;
    for (size_t i = 0, at = 0; i < lines; i++, at = head.size()) {
      head += text.substr(at, text.find('\n', at) - at + 1);
    }
    FILE *in = fmemopen(head.data(), head.size(), "r");
    ASSERT_NE(in, nullptr);
    std::vector<uint32_t> starts(3 + 1, 0xABABABABu);
    std::vector<uint8_t> ids(3 + 1, 0xAB);
    bool whole = false;
    EXPECT_EQ(velmor::read_table_entries(in, 3, starts.data(), ids.data(), &whole),
              static_cast<int32_t>(std::min<size_t>(lines, 3)));
    fclose(in);
    EXPECT_EQ(whole, lines == 3) << lines;
    EXPECT_EQ(starts[3], 0xABABABABu);
    EXPECT_EQ(ids[3], 0xAB);
  }
}

// A failed allocation leaves no table and the allocator's message. The
// address-space limit does not work under the sanitizer's shadow memory.
TEST(IpRangesLoad, FailedAllocationLeavesNoTable) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit unusable under AddressSanitizer";
#else
  RangesRoot root;
  // 20 Mi pieces need 80 MiB of starts, more than the 64 MiB the child may add.
  { std::ofstream(kTable) << std::string(20 << 20, '\n'); }
  pid_t pid = fork();
  if (pid == 0) {
    struct rlimit limit = {64u << 20, 64u << 20};
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmSize:", 0) == 0)
        limit.rlim_cur = limit.rlim_max = (std::stoul(line.substr(7)) << 10) + (64u << 20);
    }
    setrlimit(RLIMIT_AS, &limit);
    ip_ranges *table = ip_ranges_new("countries");
    bool loaded = ip_ranges_load(table);
    _exit(!loaded && !table->starts && !table->ids ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::string log = root.error_log();
  EXPECT_NE(log.find("cannot allocate"), std::string::npos) << log;
  EXPECT_EQ(log.find("no ranges found"), std::string::npos) << log;
#endif
}

// ---- states and reloads ----

TEST(IpRangesStates, FirstLookupLoadsOnceAndMarksTheTry) {
  RangesRoot root;
  write_file_at(kTable, kThreeEntries, kTime);
  ScopedRanges table("countries");
  EXPECT_EQ(table->starts, nullptr);
  EXPECT_EQ(table->load_tried, 0u);
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);
  EXPECT_EQ(table->load_tried, 1u);
  EXPECT_EQ(table->count, 3);
  EXPECT_EQ(table->mtime, kTime);
}

TEST(IpRangesStates, MissingFileFailsOnceAndIsPickedUpByAReload) {
  RangesRoot root;
  ScopedRanges table("countries");
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 0);
  std::string log = root.error_log();
  EXPECT_EQ(count_of(log, "cannot stat 'conf/countries.ips'"), 1u);
  EXPECT_EQ(count_of(log, "cannot open conf/countries.ips"), 1u);
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 0);  // failed: no second try
  EXPECT_EQ(root.error_log(), log);
  EXPECT_FALSE(ip_ranges_reload(table.table));  // still missing: mtime stays 0
  EXPECT_EQ(count_of(root.error_log(), "cannot stat"), 2u);
  EXPECT_EQ(count_of(root.error_log(), "cannot open"), 1u);
  write_file_at(kTable, kThreeEntries, kTime);
  EXPECT_TRUE(ip_ranges_reload(table.table));
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);
}

TEST(IpRangesStates, EmptyFileIsNotReadAgainUntilAReloadSeesItChanged) {
  RangesRoot root;
  write_file_at(kTable, "", kTime);
  ScopedRanges table("countries");
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 0);
  EXPECT_FALSE(ip_ranges_reload(table.table));                  // the same empty file
  write_file_at(kTable, kThreeEntries, kTime);                  // same time, another size
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 0);  // lookups never load again
  EXPECT_TRUE(ip_ranges_reload(table.table));
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);
  EXPECT_EQ(root.error_log(), "");
}

// A reload whose load fails leaves the record failed when a lookup had tried
// before, untried (one more load on the next lookup) when only load had.
TEST(IpRangesStates, FailedReloadGoesToFailedOrUntried) {
  for (bool via_lookup : {true, false}) {
    RangesRoot root;
    write_file_at(kTable, kThreeEntries, kTime);
    ScopedRanges table("countries");
    if (via_lookup) {
      EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);
    } else {
      EXPECT_TRUE(ip_ranges_load(table.table));
    }
    write_file_at(kTable, kNoEntries, kTime + 1);
    EXPECT_TRUE(ip_ranges_reload(table.table));
    EXPECT_EQ(table->starts, nullptr);
    EXPECT_EQ(table->load_tried, via_lookup ? 1u : 0u);
    write_file_at(kTable, kThreeEntries, kTime + 1);  // same time: only a lookup's load sees it
    EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), via_lookup ? 0 : 7) << via_lookup;
  }
}

// The reload compares the file's identity: device, inode, size and the
// modification time to the nanosecond. Any change of one is a new table;
// the public mtime keeps whole seconds.
TEST(IpRangesReload, ReloadsWhenTheFilesIdentityChanges) {
  struct Case {
    const char *what;
    int64_t seconds;
    long nanoseconds;
    bool renamed;  // a new file renamed over the old one (another inode)
    bool reloaded;
  };
  const Case cases[] = {
      {"newer", kTime + 60, 0, false, true},
      {"older", kTime - 3600, 0, false, true},
      {"same second, later nanoseconds", kTime, 500'000'000, false, true},
      {"same time, renamed over it", kTime, 0, true, true},
      {"same time and file, other bytes of the same size", kTime, 0, false, false},
  };
  for (const Case &c : cases) {
    RangesRoot root;
    write_file_at(kTable, kThreeEntries, kTime);
    ScopedRanges table("countries");
    EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);
    std::string replaced = kThreeEntries;
    replaced.replace(replaced.find(" 7"), 2, " 9");
    const std::string target = c.renamed ? std::string(kTable) + ".new" : std::string(kTable);
    write_file_at(target, replaced, c.seconds, c.nanoseconds);
    if (c.renamed) {
      ASSERT_EQ(rename(target.c_str(), kTable), 0);
    }
    EXPECT_EQ(ip_ranges_reload(table.table), c.reloaded) << c.what;
    EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), c.reloaded ? 9 : 7) << c.what;
    EXPECT_EQ(table->mtime, c.seconds) << c.what;
    EXPECT_FALSE(ip_ranges_reload(table.table)) << c.what;
  }
}

TEST(IpRangesReload, NamesAreReadAgainAfterAReload) {
  RangesRoot root;
  write_file("conf/countries", "7 aa Alpha\n");
  write_file_at(kTable, kThreeEntries, kTime);
  ScopedRanges table("countries");
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);
  EXPECT_STREQ(ip_ranges_code(table.table, 7), "aa");
  write_file("conf/countries", "7 bb Beta\n");
  EXPECT_STREQ(ip_ranges_code(table.table, 7), "aa");  // names stay until a reload
  write_file_at(kTable, kThreeEntries, kTime + 1);
  EXPECT_TRUE(ip_ranges_reload(table.table));
  EXPECT_EQ(table->names_text, nullptr);
  EXPECT_EQ(table->codes, nullptr);
  EXPECT_EQ(table->titles, nullptr);
  EXPECT_STREQ(ip_ranges_code(table.table, 7), "bb");
  EXPECT_STREQ(ip_ranges_title(table.table, 7), "Beta");
}

TEST(IpRangesReload, NamesFileThatDisappearsBetweenQueries) {
  RangesRoot root;
  write_file("conf/countries", "7 aa Alpha\n");
  write_file_at(kTable, kThreeEntries, kTime);
  ScopedRanges table("countries");
  EXPECT_EQ(ip_ranges_find(table.table, "aa"), 7);
  unlink("conf/countries");
  EXPECT_EQ(ip_ranges_find(table.table, "aa"), 7);  // the loaded names stay in effect
  EXPECT_STREQ(ip_ranges_title(table.table, 7), "Alpha");

  write_file_at(kTable, kThreeEntries, kTime + 1);
  EXPECT_TRUE(ip_ranges_reload(table.table));  // drops the names: now they are gone
  for (int query = 0; query < 2; query++) {    // each query looks for the file again
    EXPECT_EQ(ip_ranges_find(table.table, "aa"), -1);
    EXPECT_STREQ(ip_ranges_code(table.table, 7), "");
    EXPECT_STREQ(ip_ranges_title(table.table, 7), "");
  }
  EXPECT_EQ(ip_ranges_lookup(table.table, ip("10.1.2.3")), 7);  // the table itself is fine
  EXPECT_EQ(root.error_log(), "");                              // a missing file is no error

  write_file("conf/countries", "7 bb Beta\n");
  EXPECT_EQ(ip_ranges_find(table.table, "bb"), 7);
}
