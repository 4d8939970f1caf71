// The compiled table: a mapped record answers as a heap record does; files
// that are damaged or stale are refused (once logged) and the text tables
// answer; reloads switch mappings whole; the writer and the verifier.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compiled_tables.h"
#include "hardening_procs.h"
#include "ip_ranges.h"
#include "ip_ranges/internal/compiled_table.h"
#include "ip_ranges/internal/mapped_record.h"
#include "ip_ranges_table_support.h"
#include "str.h"
#include "str/internal/uint128.h"

using namespace testing_support;

namespace {

using velmor::compiled::Header;

constexpr const char *kCompiled = "conf/countries.ipt";
constexpr int64_t kTime = 1'700'000'000;

size_t count_of(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

std::string message_log(const RangesRoot &root) {
  return day_log(root.root().path(), "message.log");
}

// The text tables, names and compiled file of a table pair in the working
// directory, the text files older than the compiled one.
void install(const TablePair &pair, const std::string &prefix = "x") {
  write_text_tables(pair, "countries");
  write_file("conf/countries", names_file(prefix));
  for (const char *path : {"conf/countries.ips", "conf/countries6.ips", "conf/countries"})
    set_mtime(path, kTime);
  ASSERT_TRUE(velmor::compile_table("countries"));
}

std::string text_or_null(const char *text) { return text ? std::string("'") + text + "'" : "null"; }

// Every answer of the two records for addr (IPv4 or IPv6 bytes) agrees.
struct Comparer {
  ip_ranges *heap;
  ip_ranges *mapped;
  int differences = 0;

  void v4(uint32_t addr) {
    const uint8_t a = ip_ranges_lookup(heap, addr), b = ip_ranges_lookup(mapped, addr);
    if (a != b && differences++ < 5)
      ADD_FAILURE() << str_ip_format(addr) << ": " << +a << " " << +b;
  }
  void v6(const uint8_t addr[16]) {
    const uint8_t a = ip_ranges_lookup6(heap, addr), b = ip_ranges_lookup6(mapped, addr);
    if (a != b && differences++ < 5)
      ADD_FAILURE() << str_ip6_format(addr) << ": " << +a << " " << +b;
  }
  void v6(velmor::uint128 addr) {
    uint8_t bytes[16];
    velmor::uint128_to_bytes(addr, bytes);
    v6(bytes);
  }
  void names() {
    for (int id = 0; id < 256; id++) {
      EXPECT_EQ(text_or_null(ip_ranges_code(heap, id)), text_or_null(ip_ranges_code(mapped, id)));
      EXPECT_EQ(text_or_null(ip_ranges_title(heap, id)), text_or_null(ip_ranges_title(mapped, id)));
    }
    EXPECT_EQ(ip_ranges_find(heap, "xjq"), ip_ranges_find(mapped, "xjq"));
  }
};

TEST(CompiledTable, MappedRecordAnswersAsTheHeapRecordOnA500kTablePair) {
  RangesRoot root;
  const TablePair pair = random_pair(500'000, 500'000, 18);
  install(pair);
  ScopedRanges heap("countries");
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  Comparer compare{heap.table, mapped};
  compare.v4(0);
  ASSERT_TRUE(velmor::answers_from_compiled(mapped));
  EXPECT_EQ(mapped->count, heap->count);
  for (uint32_t start : pair.starts) {
    compare.v4(start - 1);
    compare.v4(start);
    compare.v4(start + 1);
  }
  for (const auto &start : pair.starts6) {
    const velmor::uint128 key = velmor::uint128_from_bytes(start.data());
    compare.v6(key - 1);
    compare.v6(key);
    compare.v6(key + 1);
  }
  std::mt19937_64 rng(5);
  for (int i = 0; i < 200'000; i++) {
    compare.v4(static_cast<uint32_t>(rng()));
    compare.v6(velmor::uint128{rng()} << 64 | rng());
  }
  compare.v4(UINT32_MAX);
  compare.v6(velmor::uint128_max);
  EXPECT_EQ(compare.differences, 0);
  ASSERT_EQ(ip_ranges_count6(mapped), ip_ranges_count6(heap.table));
  for (int32_t i = 0; i < ip_ranges_count6(mapped); i += 997) {
    uint8_t a[16], b[16], id_a = 0, id_b = 1;
    ASSERT_TRUE(ip_ranges_entry6(heap.table, i, a, &id_a));
    ASSERT_TRUE(ip_ranges_entry6(mapped, i, b, &id_b));
    EXPECT_EQ(memcmp(a, b, 16), 0);
    EXPECT_EQ(id_a, id_b);
  }
  compare.names();
  // The compiled file is the size the format promises.
  struct stat st;
  ASSERT_EQ(stat(kCompiled, &st), 0);
  const Header h = header_of(read_file(kCompiled));
  const auto *s = h.sections;
  using namespace velmor::compiled;
  EXPECT_LE(s[starts4].size + s[ids4].size + s[index4].size, 5.5 * h.count4);
  EXPECT_LE(s[his6].size + s[los6].size + s[ids6].size + s[index6].size + s[fences6].size,
            17.5 * h.count6);
  ip_ranges_free(mapped);
  EXPECT_EQ(root.error_log(), "");
}

// IPv6 starts crowded as real tables crowd them: most inside one /32, runs
// sharing a high half, equal starts. Through the fences of their long
// buckets both records give the id of the last start not above the address.
TEST(CompiledTable, BothRecordsAnswerByTheRuleOnCrowdedIpv6Starts) {
  RangesRoot root;
  TablePair pair = random_pair(100, 0, 19);
  std::mt19937_64 rng(19);
  std::vector<velmor::uint128> keys;
  velmor::uint128 at = velmor::uint128{0x2001047000000000u} << 64;
  for (int i = 0; i < 40'000; i++) {
    keys.push_back(at);
    pair.starts6.emplace_back();
    velmor::uint128_to_bytes(at, pair.starts6.back().data());
    pair.ids6.push_back(static_cast<uint8_t>(1 + rng() % 250));
    const uint64_t r = rng() % 8;
    if (r == 0) continue;  // an equal start
    at += r < 4 ? velmor::uint128{1 + rng() % 1000} : velmor::uint128{1 + rng() % 4} << 80;
  }
  install(pair);
  auto rule = [&](velmor::uint128 addr) -> uint8_t {
    const auto past = std::upper_bound(keys.begin(), keys.end(), addr);
    return past == keys.begin() ? 0 : pair.ids6[static_cast<size_t>(past - keys.begin() - 1)];
  };
  ScopedRanges heap("countries");
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  ASSERT_TRUE(ip_ranges_load6(mapped));
  ASSERT_TRUE(velmor::answers_from_compiled(mapped));
  int wrong = 0;
  for (const velmor::uint128 key : keys) {
    for (const velmor::uint128 addr : {key - 1, key, key + 1}) {
      uint8_t bytes[16];
      velmor::uint128_to_bytes(addr, bytes);
      const uint8_t want = rule(addr);
      const uint8_t from_heap = ip_ranges_lookup6(heap.table, bytes);
      const uint8_t from_file = ip_ranges_lookup6(mapped, bytes);
      if ((from_heap != want || from_file != want) && wrong++ < 5)
        ADD_FAILURE() << str_ip6_format(bytes) << ": heap " << +from_heap << ", mapped "
                      << +from_file << ", want " << +want;
    }
  }
  EXPECT_EQ(wrong, 0);
  ip_ranges_free(mapped);
  velmor::CompiledProblem problem;
  EXPECT_TRUE(velmor::verify_compiled(kCompiled, &problem)) << problem.text;
}

// The mapping is read-only: a write through the record's arrays faults (the
// child that writes dies of the fault instead of exiting).
TEST(CompiledTable, ArraysOfAMappedRecordCannotBeWritten) {
  RangesRoot root;
  install(random_pair(100, 100, 1));
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  ASSERT_TRUE(ip_ranges_load(mapped));
  ASSERT_TRUE(velmor::answers_from_compiled(mapped));
  for (int target = 0; target < 3; target++) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (target == 0) mapped->starts[1] = 7;
      if (target == 1) mapped->ids[1] = 7;
      if (target == 2) mapped->codes[1][0] = 'z';
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    // SIGSEGV, or SIGABRT from AddressSanitizer's report of it.
    EXPECT_TRUE(WIFSIGNALED(status)) << target;
  }
  ip_ranges_free(mapped);
}

// A damaged file is refused at open: the text tables answer, and the
// reason is logged once.
TEST(CompiledTable, DamagedFilesAreRefusedAndTheTextTablesAnswer) {
  using namespace velmor::compiled;
  struct Case {
    const char *what;
    std::string (*damage)(std::string bytes);
    const char *logged;
  };
  const Case cases[] = {
      {"cut to 100 bytes", [](std::string b) { return b.substr(0, 100); }, "shorter than a header"},
      {"cut by one byte", [](std::string b) { return b.substr(0, b.size() - 1); },
       "the header says"},
      {"empty", [](std::string) { return std::string(); }, "shorter than a header"},
      {"magic", [](std::string b) { return b.replace(0, 1, "X"); }, "bad magic"},
      {"version",
       [](std::string b) {
         Header h = header_of(b);
         h.version = format_version + 1;
         return with_header(b, h);
       },
       "format version 3"},
      {"byte order",
       [](std::string b) {
         Header h = header_of(b);
         h.byte_order = __builtin_bswap32(h.byte_order);
         return with_header(b, h);
       },
       "another byte order"},
      {"header size",
       [](std::string b) {
         Header h = header_of(b);
         h.header_size += 8;
         return with_header(b, h);
       },
       "header size"},
      {"a section out of bounds",
       [](std::string b) {
         Header h = header_of(b);
         h.sections[los6].offset += 1u << 20;
         return with_header(b, h);
       },
       "section los6 lies outside the file"},
      {"a section offset beyond every size",
       [](std::string b) {
         Header h = header_of(b);
         h.sections[starts4].offset = UINT64_MAX - 63;
         return with_header(b, h);
       },
       "section starts4 lies outside the file"},
      {"a section of the wrong size",
       [](std::string b) {
         Header h = header_of(b);
         h.sections[ids4].size += 1;
         return with_header(b, h);
       },
       "section ids4 has"},
      {"a misaligned section",
       [](std::string b) {
         Header h = header_of(b);
         h.sections[his6].offset += 8;
         return with_header(b, h);
       },
       "section his6 is misplaced"},
      {"more entries than the sections hold",
       [](std::string b) {
         Header h = header_of(b);
         h.count4 += 1;
         return with_header(b, h);
       },
       "section starts4 has"},
      {"index parameters",
       [](std::string b) {
         Header h = header_of(b);
         h.index6.shift -= 1;
         return with_header(b, h);
       },
       "IPv6 index parameters do not fit"},
      {"a pool without its last NUL",
       [](std::string b) {
         b.back() = 'x';
         return b;
       },
       "does not end in NUL"},
      {"a name outside the pool",
       [](std::string b) {
         const Header h = header_of(b);
         const uint32_t far = static_cast<uint32_t>(h.sections[pool].size);
         memcpy(&b[h.sections[names].offset + 4 * 300], &far, 4);
         return b;
       },
       "the title of id 44 lies outside the string pool"},
  };
  for (const Case &c : cases) {
    RangesRoot root;
    install(random_pair(1000, 1000, 3), "x");
    // The text tables stay; the names give other codes so the source shows.
    write_file(kCompiled, c.damage(read_file(kCompiled)));
    write_file("conf/countries", names_file("t"));
    set_mtime("conf/countries", kTime);
    ScopedRanges heap("countries");
    for (int round = 0; round < 2; round++) {
      ip_ranges *mapped = ip_ranges_new_mapped("countries");
      Comparer compare{heap.table, mapped};
      for (uint32_t a = 0; a < 4000; a++) compare.v4(a * 1'000'003u);
      for (uint64_t a = 0; a < 4000; a++)
        compare.v6(velmor::uint128{a * 0x0004'0000'0000'0001u} << 64);
      EXPECT_FALSE(velmor::answers_from_compiled(mapped)) << c.what;
      EXPECT_STREQ(ip_ranges_code(mapped, 3), "tad") << c.what;
      EXPECT_EQ(compare.differences, 0) << c.what;
      ip_ranges_free(mapped);
    }
    const std::string log = message_log(root);
    EXPECT_EQ(count_of(log, "compiled table conf/countries.ipt is damaged"), 1u) << c.what << log;
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.what << ": " << log;
    velmor::CompiledProblem problem;
    EXPECT_FALSE(velmor::verify_compiled(kCompiled, &problem)) << c.what;
    EXPECT_NE(std::string(problem.text).find(c.logged), std::string::npos)
        << c.what << ": " << problem.text;
  }
}

// Bytes of the arrays that opening does not walk: the lookups stay inside
// the file and answer ids it holds; the verifier names the fault.
TEST(CompiledTable, ArrayBytesChangedStayInsideAndTheVerifierNamesThem) {
  using namespace velmor::compiled;
  struct Case {
    const char *what;
    Section section;
    uint32_t at;  // byte within the section
    uint8_t value;
    const char *verified;
  };
  const Case cases[] = {
      {"an IPv4 start", starts4, 4 * 500 + 3, 0xFF, "IPv4 entry 502 starts below"},
      {"an IPv6 high half", his6, 8 * 200 + 7, 0xFF, "IPv6 entry 202 starts below"},
      {"an index word", index4, 4 * 5, 0xFF, "the IPv4 index does not match"},
      {"an IPv6 index word", index6, 4 * 9 + 3, 0x7F, "the IPv6 index does not match"},
      {"an IPv6 fence", fences6, 8 * 10 + 7, 0x01, "the IPv6 index does not match"},
      {"the last IPv6 fence", fences6, 8 * 30 + 7, 0xFF, "the IPv6 index does not match"},
      {"an id without a code", ids4, 10, 253, "id 253 of the IPv4 table has no code"},
      {"a byte of a title", pool, 20, '#', "the checksum does not match"},
  };
  for (const Case &c : cases) {
    RangesRoot root;
    install(random_pair(1000, 1000, 4));
    std::string bytes = read_file(kCompiled);
    const Header h = header_of(bytes);
    bytes[h.sections[c.section].offset + c.at] = static_cast<char>(c.value);
    write_file(kCompiled, bytes);
    ip_ranges *mapped = ip_ranges_new_mapped("countries");
    ASSERT_TRUE(ip_ranges_load(mapped)) << c.what;
    EXPECT_TRUE(velmor::answers_from_compiled(mapped)) << c.what;  // constant time: not seen
    std::mt19937_64 rng(1);
    for (int i = 0; i < 20000; i++) {
      uint8_t addr6[16];
      velmor::uint128_to_bytes(velmor::uint128{rng()} << 64 | rng(), addr6);
      const uint8_t id = ip_ranges_lookup(mapped, static_cast<uint32_t>(rng()));
      const uint8_t id6 = ip_ranges_lookup6(mapped, addr6);
      EXPECT_TRUE(id <= 250 || id == c.value) << c.what;
      EXPECT_TRUE(id6 <= 250 || id6 == c.value) << c.what;
    }
    ip_ranges_free(mapped);
    velmor::CompiledProblem problem;
    EXPECT_FALSE(velmor::verify_compiled(kCompiled, &problem)) << c.what;
    EXPECT_NE(std::string(problem.text).find(c.verified), std::string::npos)
        << c.what << ": " << problem.text;
  }
}

// A compiled file older than a source, or compiled when a source was
// absent (present) and it is now present (absent), is stale: the text
// tables answer, and the cause is logged once.
TEST(CompiledTable, StaleFilesFallBackToTheTextTables) {
  struct Case {
    const char *what;
    void (*change)();
    const char *logged;
  };
  const Case cases[] = {
      {"IPv4 table newer", [] { set_mtime("conf/countries.ips", kTime + 2); },
       "conf/countries.ips is newer"},
      {"IPv6 table newer by a nanosecond",
       [] {
         struct stat st;
         stat(kCompiled, &st);
         set_mtime("conf/countries6.ips", st.st_mtim.tv_sec, st.st_mtim.tv_nsec + 1);
       },
       "conf/countries6.ips is newer"},
      {"names newer", [] { set_mtime("conf/countries", kTime + 2); }, "conf/countries is newer"},
      {"names gone", [] { unlink("conf/countries"); }, "conf/countries is gone"},
      {"IPv6 table appeared", [] { write_file("conf/countries6.ips", ":: 9\n"); },
       "conf/countries6.ips has appeared"},
  };
  for (const Case &c : cases) {
    RangesRoot root;
    const bool without_ipv6 = std::string(c.what) == "IPv6 table appeared";
    install(random_pair(300, 300, 5));
    if (without_ipv6) {
      unlink("conf/countries6.ips");
      ASSERT_TRUE(velmor::compile_table("countries"));
    }
    // The compiled file's own time is now; the sources are made newer than it.
    set_mtime(kCompiled, kTime + 1);
    c.change();
    ScopedRanges heap("countries");
    ip_ranges *mapped = ip_ranges_new_mapped("countries");
    Comparer compare{heap.table, mapped};
    for (uint32_t a = 0; a < 2000; a++) compare.v4(a * 2'000'003u);
    for (uint64_t a = 0; a < 2000; a++)
      compare.v6(velmor::uint128{a * 0x0008'0000'0000'0001u} << 64);
    compare.names();
    EXPECT_FALSE(velmor::answers_from_compiled(mapped)) << c.what;
    EXPECT_EQ(compare.differences, 0) << c.what;
    ip_ranges_free(mapped);
    EXPECT_NE(message_log(root).find(std::string("is older than its sources (") + c.logged),
              std::string::npos)
        << c.what << ": " << message_log(root);
  }
}

// A fresh compiled file: its sources not newer than it, each to the nanosecond.
TEST(CompiledTable, SourcesAsOldAsTheCompiledFileKeepItInUse) {
  RangesRoot root;
  install(random_pair(300, 300, 6));
  struct stat st;
  ASSERT_EQ(stat(kCompiled, &st), 0);
  for (const char *path : {"conf/countries.ips", "conf/countries6.ips", "conf/countries"})
    set_mtime(path, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  EXPECT_STREQ(ip_ranges_code(mapped, 5), "xaf");  // a name query opens the record too
  EXPECT_TRUE(velmor::answers_from_compiled(mapped));
  ip_ranges_free(mapped);
  EXPECT_EQ(message_log(root), "");
}

// 32 records of one process meeting the same stale file: one line. Another
// reason for the same file is another line.
TEST(CompiledTable, AFallBackIsLoggedOncePerProcessFileAndReason) {
  RangesRoot root;
  install(random_pair(300, 300, 7));
  set_mtime(kCompiled, kTime + 1);
  set_mtime("conf/countries.ips", kTime + 2);
  const pid_t child = fork_child([] {
    std::vector<ip_ranges *> records;
    for (int i = 0; i < 32; i++) {
      records.push_back(ip_ranges_new_mapped("countries"));
      ip_ranges_lookup(records.back(), 1);
      ip_ranges_reload(records.back());
    }
    unlink(kCompiled);
    for (ip_ranges *record : records) {
      ip_ranges_reload(record);
      ip_ranges_lookup6(record, reinterpret_cast<const uint8_t *>("0123456789abcdef"));
      ip_ranges_free(record);
    }
    return 0;
  });
  EXPECT_EQ(wait_child(child), 0);
  const std::string log = message_log(root);
  EXPECT_EQ(count_of(log, "\n"), 2u) << log;
  EXPECT_EQ(count_of(log, "is older than its sources"), 1u) << log;
  EXPECT_EQ(count_of(log, "is missing (no such file)"), 1u) << log;
}

// Records of a process without a compiled file log one line, then behave
// as records of ip_ranges_new: a missing table is reported as always.
TEST(CompiledTable, WithoutACompiledFileTheRecordIsAHeapRecord) {
  RangesRoot root;
  write_file("conf/countries.ips", "0.0.0.0 0\n10.0.0.0 7\n");
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  EXPECT_EQ(ip_ranges_lookup(mapped, 0x0A000001u), 7);
  EXPECT_EQ(ip_ranges_lookup6(mapped, reinterpret_cast<const uint8_t *>("0123456789abcdef")), 0);
  EXPECT_STREQ(ip_ranges_code(mapped, 7), "");  // no names file
  EXPECT_FALSE(ip_ranges_reload(mapped));
  EXPECT_FALSE(ip_ranges_reload6(mapped));
  ip_ranges_free(mapped);
  EXPECT_NE(root.error_log().find("cannot stat 'conf/countries6.ips'"), std::string::npos);
  EXPECT_NE(message_log(root).find("conf/countries.ipt is missing"), std::string::npos);
}

// Replacing the compiled file (or a text table) switches both tables and
// the names together, the new file mapped before the old one goes; each of
// reload and reload6 gives true once.
TEST(CompiledTable, ReloadSwitchesBothTablesAndTheNamesTogether) {
  RangesRoot root;
  const TablePair one = random_pair(300, 300, 8), two = random_pair(400, 400, 9);
  install(one, "a");
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  const uint8_t *addr6 = two.starts6[77].data();
  ip_ranges_lookup(mapped, two.starts[77]);
  ip_ranges_lookup6(mapped, addr6);
  EXPECT_FALSE(ip_ranges_reload(mapped));
  EXPECT_FALSE(ip_ranges_reload6(mapped));
  const uint32_t *old_starts = mapped->starts;

  install(two, "b");  // written anew and renamed over, as a writer does
  EXPECT_TRUE(ip_ranges_reload6(mapped));
  EXPECT_NE(mapped->starts, old_starts);
  EXPECT_EQ(mapped->count, static_cast<int32_t>(two.starts.size()));  // both switched
  EXPECT_EQ(ip_ranges_lookup(mapped, two.starts[77]), two.ids[77]);
  EXPECT_EQ(ip_ranges_lookup6(mapped, addr6), two.ids6[77]);
  EXPECT_STREQ(ip_ranges_code(mapped, 1), "bab");
  EXPECT_TRUE(ip_ranges_reload(mapped));  // IPv4's turn to hear of it
  EXPECT_FALSE(ip_ranges_reload(mapped));
  EXPECT_FALSE(ip_ranges_reload6(mapped));

  // A text table replaced: the compiled file is stale, the text answers.
  set_mtime(kCompiled, kTime + 1);
  EXPECT_TRUE(ip_ranges_reload(mapped));  // the compiled file's new time
  EXPECT_TRUE(ip_ranges_reload6(mapped));
  write_file("conf/countries.ips.new", "0.0.0.0 3\n");
  rename("conf/countries.ips.new", "conf/countries.ips");
  EXPECT_TRUE(ip_ranges_reload(mapped));
  EXPECT_FALSE(velmor::answers_from_compiled(mapped));
  EXPECT_EQ(ip_ranges_lookup(mapped, two.starts[77]), 3);
  EXPECT_EQ(ip_ranges_lookup6(mapped, addr6), two.ids6[77]);
  // Compiled again: the record maps it at its next reload.
  ASSERT_TRUE(velmor::compile_table("countries"));
  EXPECT_TRUE(ip_ranges_reload6(mapped));
  EXPECT_TRUE(velmor::answers_from_compiled(mapped));
  EXPECT_EQ(ip_ranges_lookup(mapped, two.starts[77]), 3);
  struct stat st;
  ASSERT_EQ(stat("conf/countries.ips", &st), 0);
  EXPECT_EQ(mapped->mtime, st.st_mtime);
  ip_ranges_free(mapped);
}

// The writer: a table whose starts descend is refused and nothing is
// written; the file is replaced by renaming a new one ("<target>.<pid>",
// made anew, a link planted there removed, not followed).
TEST(CompiledWriter, RefusesDescendingStartsAndNeverWritesInPlace) {
  RangesRoot root;
  const uint32_t starts[] = {0, 20, 10};
  const uint8_t ids[] = {0, 1, 2};
  velmor::CompiledContent content;
  content.starts = starts;
  content.ids = ids;
  content.count4 = 3;
  EXPECT_FALSE(velmor::write_compiled(kCompiled, content));
  EXPECT_FALSE(path_exists(kCompiled));
  EXPECT_NE(root.error_log().find("IPv4 entry 3 starts below the one before it"),
            std::string::npos);
  const uint64_t his[] = {0, 5, 5}, los[] = {0, 9, 8};
  content.count4 = 2;
  content.his = his;
  content.los = los;
  content.ids6 = ids;
  content.count6 = 3;
  EXPECT_FALSE(velmor::write_compiled(kCompiled, content));
  EXPECT_NE(root.error_log().find("IPv6 entry 3 starts below the one before it"),
            std::string::npos);

  content.count6 = 2;
  const char *const codes[256] = {"--", "aa"}, *const titles[256] = {"None", "Alpha"};
  content.codes = codes;
  content.titles = titles;
  ASSERT_TRUE(velmor::write_compiled(kCompiled, content));
  struct stat before, after;
  ASSERT_EQ(stat(kCompiled, &before), 0);
  write_file("elsewhere", "keep");
  const std::string temp = std::string(kCompiled) + "." + std::to_string(getpid());
  ASSERT_EQ(symlink("../elsewhere", temp.c_str()), 0);
  ASSERT_TRUE(velmor::write_compiled(kCompiled, content));
  ASSERT_EQ(stat(kCompiled, &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(read_file("elsewhere"), "keep");
  EXPECT_FALSE(path_exists(temp));
  velmor::CompiledProblem problem;
  EXPECT_TRUE(velmor::verify_compiled(kCompiled, &problem)) << problem.text;
}

// What the compiler takes from the text files, and what it refuses.
TEST(CompiledWriter, CompilesWhatTheTextFilesHold) {
  struct Case {
    const char *what;
    const char *ipv4;  // null: no file
    const char *ipv6;
    const char *names;
    bool compiled;
    const char *logged;
  };
  const Case cases[] = {
      {"IPv4 only, no names", "0.0.0.0 0\n10.0.0.0 7\n", nullptr, nullptr, true, ""},
      {"IPv6 only", nullptr, ":: 0\n2001:db8:: 7\n", "7 aa A\n", true, ""},
      {"an empty IPv4 table", "", ":: 0\n", "", true, ""},
      {"neither table", nullptr, nullptr, "7 aa A\n", false, "neither conf/countries.ips nor"},
      {"no entries", "garbage\n", nullptr, nullptr, false, "conf/countries.ips gives no table"},
      {"descending", "10.0.0.0 1\n9.0.0.0 2\n", nullptr, nullptr, false,
       "IPv4 entry 2 starts below"},
  };

  for (const Case &c : cases) {
    RangesRoot root;
    if (c.ipv4) write_file("conf/countries.ips", c.ipv4);
    if (c.ipv6) write_file("conf/countries6.ips", c.ipv6);
    if (c.names) write_file("conf/countries", c.names);
    EXPECT_EQ(velmor::compile_table("countries"), c.compiled) << c.what;
    EXPECT_EQ(path_exists(kCompiled), c.compiled) << c.what;
    EXPECT_NE(root.error_log().find(c.logged), std::string::npos) << c.what << root.error_log();
    if (!c.compiled) continue;
    ScopedRanges heap("countries");
    ip_ranges *mapped = ip_ranges_new_mapped("countries");
    uint8_t addr6[16];
    str_ip6_parse("2001:db8::1", addr6);
    EXPECT_EQ(ip_ranges_lookup(mapped, 0x0A000001u), ip_ranges_lookup(heap.table, 0x0A000001u));
    EXPECT_EQ(ip_ranges_lookup6(mapped, addr6), ip_ranges_lookup6(heap.table, addr6)) << c.what;
    EXPECT_EQ(text_or_null(ip_ranges_code(mapped, 7)), text_or_null(ip_ranges_code(heap.table, 7)));
    EXPECT_TRUE(velmor::answers_from_compiled(mapped)) << c.what;
    EXPECT_EQ(mapped->load_tried, heap->load_tried) << c.what;
    ip_ranges_free(mapped);
  }
}

}  // namespace
