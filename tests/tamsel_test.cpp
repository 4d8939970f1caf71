// The range list converter's logic: the boundary tables it prints, the
// messages for bad pieces, and its parts checked against the library
// functions they stand in for (fgets + str_chomp, str_ip_parse, str_ip_format).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "misc.h"
#include "str.h"
#include "str/internal/ipv4_text.h"
#include "tamsel.h"
#include "test_support.h"

namespace {

using testing_support::ScopedCwd;
using testing_support::TempRoot;

struct Outcome {
  int status;
  std::string table;
  std::string errors;  // the day's error.log
};

std::string read_stream(FILE *f) {
  std::string text;
  rewind(f);
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  return text;
}

FILE *stream_with(const std::string &text) {
  FILE *f = tmpfile();
  fwrite(text.data(), 1, text.size(), f);
  rewind(f);
  return f;
}

// Runs the logic in root; the errors are what this run added to the log.
Outcome run_in(const TempRoot &root, FILE *in, FILE *out) {
  ScopedCwd cwd(root.path());
  size_t logged = testing_support::day_log(root.path(), "error.log").size();
  testing_support::reset_logger();
  int status = tamsel_run(root.path().c_str(), in, out);
  testing_support::reset_logger();
  return {status, read_stream(out),
          testing_support::day_log(root.path(), "error.log").substr(logged)};
}

Outcome run_on(const TempRoot &root, const std::string &input) {
  FILE *in = stream_with(input);
  FILE *out = tmpfile();
  Outcome outcome = run_in(root, in, out);
  fclose(in);
  fclose(out);
  return outcome;
}

class TamselRun : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::write_file(root / "conf/countries",
                                "0 -- Unknown\n1 ua Ukraine\n7 ru Russia\n");
  }
  Outcome run(const std::string &input) { return run_on(root, input); }
  TempRoot root;
};

std::string lines(std::initializer_list<const char *> entries) {
  std::string text;
  for (const char *e : entries) text.append(e).append("\n");
  return text;
}

// The printed table for given input, with "ru" listed under id 7.
TEST_F(TamselRun, PrintsTheBoundaryTableOfTheUnion) {
  struct Case {
    const char *name, *input;
    std::string table;
  } cases[] = {
      {"no ranges", "", lines({"0.0.0.1 0"})},
      {"one network", "10.0.0.0/8\n", lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"})},
      {"overlapping", "10.0.0.0/8\n10.128.0.0-12.0.0.0\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "12.0.0.1 0"})},
      {"adjacent", "10.0.0.0/8\n11.0.0.0/8\n", lines({"0.0.0.0 0", "10.0.0.0 7", "12.0.0.0 0"})},
      {"gap", "10.0.0.0/8\n12.0.0.0/8\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0", "12.0.0.0 7", "13.0.0.0 0"})},
      {"unsorted", "12.0.0.0/8\n10.0.0.0/8\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0", "12.0.0.0 7", "13.0.0.0 0"})},
      {"up to the top", "224.0.0.0-255.255.255.255\n", lines({"0.0.0.0 0", "224.0.0.0 7"})},
      {"inside one up to the top", "224.0.0.0-255.255.255.255\n230.0.0.0/8\n",
       lines({"0.0.0.0 0", "224.0.0.0 7"})},
      {"contained, listed first", "10.1.0.0/16\n10.0.0.0/8\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"})},
      {"same first, shorter later", "10.0.0.0/8\n10.0.0.0/16\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"})},
      {"single address", "10.0.0.0/32\n", lines({"0.0.0.0 0", "10.0.0.0 7", "10.0.0.1 0"})},
      {"host bits kept in the start", "10.0.0.5/24\n",
       lines({"0.0.0.0 0", "10.0.0.5 7", "10.0.1.0 0"})},
      {"last address missing", "1.2.3.4-nothing\n", lines({"0.0.0.0 0", "1.2.3.4 7"})},
      {"CR LF line ends", "10.0.0.0/8\r\n12.0.0.0/8\r\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0", "12.0.0.0 7", "13.0.0.0 0"})},
      {"last line without LF", "10.0.0.0/8\n12.0.0.0/8",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0", "12.0.0.0 7", "13.0.0.0 0"})},
      {"whole space", "0.0.0.0/1\n128.0.0.0/1\n", lines({"0.0.0.0 7"})},
      // A first range at 0.0.0.0 or 0.0.0.1 keeps its own entry.
      {"from 0.0.0.0", "0.0.0.0/8\n", lines({"0.0.0.0 7", "1.0.0.0 0"})},
      {"from 0.0.0.1", "0.0.0.1-0.0.0.255\n", lines({"0.0.0.0 0", "0.0.0.1 7", "0.0.1.0 0"})},
      {"0.0.0.0 alone", "0.0.0.0/32\n", lines({"0.0.0.0 7", "0.0.0.1 0"})},
      {"from 0.0.0.0, then a gap", "0.0.0.0/8\n10.0.0.0/8\n",
       lines({"0.0.0.0 7", "1.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"})},
      // Reversed and bad pieces are dropped; the rest stays.
      {"reversed range", "5.5.5.5-1.1.1.1\n10.0.0.0/8\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"})},
      {"bad pieces around a good one", "words\n\n1.2.3.4\n10.0.0.0/33\n10.0.0.0/8\n10.0.0.0/0\n",
       lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"})},
  };
  for (const Case &c : cases) {
    Outcome outcome = run(c.input);
    EXPECT_EQ(outcome.status, 0) << c.name;
    EXPECT_EQ(outcome.table, c.table) << c.name;
  }
}

// Each bad piece gives its message, one line (the format's own line feed
// is dropped by the logger); good pieces give none.
TEST_F(TamselRun, LogsOneMessagePerBadPiece) {
  struct Case {
    const char *input, *message;  // message "" means no message at all
  } cases[] = {
      {"words without an address", "wrong string: words without an address"},
      {"", "wrong string: "},
      {"1.2.3.4", "wrong string: 1.2.3.4"},
      {"255.255.255.255/32", "wrong string: 255.255.255.255/32"},
      {"10.0.0.0/0", "wrong bits count: 10.0.0.0/0"},
      {"10.0.0.0/33", "wrong bits count: 10.0.0.0/33"},
      {"10.0.0.0/x", "wrong bits count: 10.0.0.0/x"},
      {"10.0.0.5/24", "warning: network has more bits when mask: 10.0.0.5/24"},
      {"1.2.3.4-nothing", "wrong last address: nothing"},
      {"1.2.3.4-255.255.255.255", "wrong last address: 255.255.255.255"},
      {"5.5.5.5-1.1.1.1", "wrong range order: 5.5.5.5-1.1.1.1"},
      {"10.0.0.0/8\r", ""},
      {"net: 10.0.0.0/8", ""},
      {"10.0.0.0 - 10.0.0.255", ""},
  };
  for (const auto &c : cases) {
    Outcome outcome = run(std::string(c.input) + "\n");
    if (*c.message == '\0') {
      EXPECT_EQ(outcome.errors, "") << c.input;
    } else {
      EXPECT_NE(outcome.errors.find(std::string("|tamsel| ") + c.message + "\n"), std::string::npos)
          << c.input << " logged: " << outcome.errors;
      EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 1) << c.input;
    }
  }
}

TEST_F(TamselRun, LongLinesAreReadAsPiecesOf63Bytes) {
  // 63 bytes of words, then a network in the second piece of the same line.
  std::string words(63, 'w');
  Outcome outcome = run(words + "10.0.0.0/8\n");
  EXPECT_EQ(outcome.table, lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"}));
  EXPECT_NE(outcome.errors.find("wrong string: " + words + "\n"), std::string::npos);
  // A line of exactly 63 bytes leaves its LF as an empty piece of its own.
  std::string padded = "10.0.0.0/8" + std::string(53, ' ');
  outcome = run(padded + "\n");
  EXPECT_EQ(outcome.table, lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"}));
  EXPECT_NE(outcome.errors.find("wrong string: \n"), std::string::npos);
}

TEST_F(TamselRun, NulByteEndsThePieceText) {
  static const char input[] = "10.0.0.0/8\0garbage\n12.0.0.0\0/8\n";
  Outcome outcome = run(std::string(input, sizeof input - 1));
  EXPECT_EQ(outcome.table, lines({"0.0.0.0 0", "10.0.0.0 7", "11.0.0.0 0"}));
  EXPECT_NE(outcome.errors.find("wrong string: 12.0.0.0\n"), std::string::npos);
}

TEST_F(TamselRun, NamesFileWithoutRuPrintsNoTable) {
  testing_support::write_file(root / "conf/countries", "0 -- Unknown\n1 ua Ukraine\n");
  const Outcome outcome = run("10.0.0.0/8\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.table, "");
  EXPECT_NE(outcome.errors.find("conf/countries lists no code ru"), std::string::npos)
      << outcome.errors;
}

// Garbage lines of any bytes (binary, NUL, CR, high bytes, very long) around
// valid lines change nothing in the table, and their control bytes reach the
// log only escaped.
TEST_F(TamselRun, GarbageAroundValidLinesLosesNothing) {
  std::mt19937 rng(7);
  std::string valid, mixed;
  for (int i = 0; i < 2000; ++i) {
    char line[40];
    uint32_t a = rng();
    snprintf(line, sizeof line, "%u.%u.%u.0/24\n", a >> 24, a >> 16 & 255, a >> 8 & 255);
    valid += line;
    mixed += line;
    // A garbage line without digits: every piece of it is rejected.
    std::string junk(rng() % 300, '\0');
    for (char &c : junk) {
      c = static_cast<char>(rng());
      if ((c >= '0' && c <= '9') || c == '\n') c = '\r';
    }
    mixed += junk + "\n";
  }
  Outcome clean = run(valid), noisy = run(mixed);
  EXPECT_EQ(noisy.status, 0);
  EXPECT_EQ(noisy.table, clean.table);
  EXPECT_TRUE(clean.errors.empty());
  EXPECT_NE(noisy.errors.find("wrong string: "), std::string::npos);
  for (const std::string &line : testing_support::split_lines(noisy.errors)) {
    ASSERT_EQ(line.find("|tamsel| wrong string: "), 8u) << line;
    for (unsigned char c : line) ASSERT_TRUE(c == '\t' || (c >= 0x20 && c != 0x7f)) << line;
  }
}

TEST_F(TamselRun, ReadsEveryRangeBeyondTheOldLimits) {
  // 70000 ranges of which none touches another: every one is in the table.
  std::string input;
  for (uint32_t i = 0; i < 70000; ++i) {
    uint32_t a = 0x01000000 + i * 4;
    input += std::string(str_ip_format(a)) + "/31\n";
  }
  Outcome outcome = run(input);
  std::vector<std::string> table = testing_support::split_lines(outcome.table);
  ASSERT_EQ(table.size(), 2u * 70000 + 1);
  EXPECT_EQ(table[2 * 69999 + 1], std::string(str_ip_format(0x01000000 + 69999 * 4)) + " 7");
  EXPECT_EQ(table.back(), std::string(str_ip_format(0x01000000 + 69999 * 4 + 2)) + " 0");
}

// Ten million lines, generated and checked as streams: every one of them
// ends up in the table (none touches another).
struct LineSource {
  uint32_t next = 0, total;
  char line[24];
  size_t len = 0, pos = 0;
};

ssize_t source_read(void *cookie, char *buf, size_t size) {
  auto *src = static_cast<LineSource *>(cookie);
  size_t n = 0;
  while (n < size) {
    if (src->pos == src->len) {
      if (src->next == src->total) break;
      src->len = velmor::format_ipv4(src->next++ * 4, src->line);
      memcpy(src->line + src->len, "/31\n", 4);
      src->len += 4;
      src->pos = 0;
    }
    size_t take = std::min(size - n, src->len - src->pos);
    memcpy(buf + n, src->line + src->pos, take);
    n += take;
    src->pos += take;
  }
  return static_cast<ssize_t>(n);
}

struct TableSink {
  size_t lines = 0;
  std::string tail;  // the last bytes written
};

ssize_t sink_write(void *cookie, const char *buf, size_t size) {
  auto *sink = static_cast<TableSink *>(cookie);
  sink->lines += static_cast<size_t>(std::count(buf, buf + size, '\n'));
  sink->tail.append(buf, size);
  if (sink->tail.size() > 64) sink->tail.erase(0, sink->tail.size() - 64);
  return static_cast<ssize_t>(size);
}

TEST_F(TamselRun, TenMillionLines) {
  LineSource source;
  source.total = 10000000;
  TableSink sink;
  FILE *in = fopencookie(&source, "r", {source_read, nullptr, nullptr, nullptr});
  FILE *out = fopencookie(&sink, "w", {nullptr, sink_write, nullptr, nullptr});
  ScopedCwd cwd(root.path());
  EXPECT_EQ(tamsel_run(root.path().c_str(), in, out), 0);
  fclose(in);
  fclose(out);
  // The first range starts at 0.0.0.0, so there is no gap entry before it.
  EXPECT_EQ(sink.lines, 2u * source.total);
  std::string last = "\n";
  last.append(str_ip_format((source.total - 1) * 4 + 2)).append(" 0\n");
  EXPECT_TRUE(sink.tail.ends_with(last)) << sink.tail;
}

TEST_F(TamselRun, WriteErrorFailsTheRun) {
  FILE *in = stream_with("10.0.0.0/8\n");
  FILE *full = fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  ScopedCwd cwd(root.path());
  testing_support::reset_logger();
  EXPECT_EQ(tamsel_run(root.path().c_str(), in, full), 1);
  testing_support::reset_logger();
  EXPECT_NE(testing_support::day_log(root.path(), "error.log")
                .find("cannot write to standard output: No space left on device"),
            std::string::npos);
  fclose(in);
  fclose(full);
}

TEST_F(TamselRun, ReadErrorFailsTheRun) {
  FILE *dir = fopen(root.path().c_str(), "r");  // reading a directory fails with EISDIR
  ASSERT_NE(dir, nullptr);
  FILE *out = tmpfile();
  Outcome outcome = run_in(root, dir, out);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.table, "");
  EXPECT_NE(outcome.errors.find("cannot read standard input: Is a directory"), std::string::npos);
  fclose(dir);
  fclose(out);
}

TEST_F(TamselRun, RunningOutOfMemoryFailsWithoutATable) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address space limit does not work with the address sanitizer";
#endif
  // Two million ranges need 32 MiB; the child gets 8 MiB more than it holds.
  std::string input;
  for (uint32_t i = 0; i < 2000000; ++i) input += std::string(str_ip_format(i * 4)) + "/32\n";
  FILE *in = stream_with(input);
  FILE *out = tmpfile();
  ScopedCwd cwd(root.path());
  testing_support::reset_logger();
  pid_t pid = fork();
  if (pid == 0) {
    unsigned long pages = 0;
    FILE *statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr || fscanf(statm, "%lu", &pages) != 1) _exit(99);
    fclose(statm);
    struct rlimit limit;
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = pages * static_cast<unsigned long>(getpagesize()) + (8ul << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(98);
    _exit(tamsel_run(root.path().c_str(), in, out));
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 1);
  EXPECT_EQ(read_stream(out), "");
  EXPECT_NE(testing_support::day_log(root.path(), "error.log").find("allocate "),
            std::string::npos);
  fclose(in);
  fclose(out);
}

// ---- the parts, against the library functions they stand in for ----

// Every piece and its text equal what fgets into 64 bytes and str_chomp give.
TEST(PieceReader, CutsLikeFgetsAndChomp) {
  std::mt19937 rng(11);
  std::vector<std::string> inputs = {"",
                                     "\n",
                                     "a",
                                     "1.2.3.4/8",
                                     "x\r\n\r\n",
                                     std::string(63, 'a') + "\n",
                                     std::string(62, 'a') + "\r\n",
                                     std::string(64, 'b'),
                                     std::string(200, 'c') + "\nd",
                                     std::string("ab\0cd\n\0\n\r\0\r\n", 13),
                                     std::string(700000, 'x') + "\n1.2.3.4/8"};
  std::string big;  // crosses the reader's block boundaries at odd places
  while (big.size() < 1200000) {
    size_t len = rng() % 150;
    for (size_t i = 0; i < len; ++i) big += "\n\r\0a1.-/ \xff"[rng() % 10];
    big += '\n';
  }
  inputs.push_back(big);
  for (const std::string &input : inputs) {
    FILE *ours = stream_with(input), *theirs = stream_with(input);
    tamsel::PieceReader reader(ours);
    char buf[64];
    size_t count = 0;
    for (;; ++count) {
      const char *begin, *end;
      bool got = reader.next(&begin, &end);
      long before = ftell(theirs);
      bool expected = fgets(buf, sizeof buf, theirs) != nullptr;
      ASSERT_EQ(got, expected) << "piece " << count;
      if (!got) break;
      // With NUL bytes inside, only the stream position tells how much fgets took.
      ASSERT_EQ(end - begin, ftell(theirs) - before) << "piece " << count;
      ASSERT_EQ(std::memcmp(begin, buf, static_cast<size_t>(end - begin)), 0) << "piece " << count;
      ASSERT_EQ(std::string(begin, tamsel::piece_text_end(begin, end)), str_chomp(buf))
          << "piece " << count;
    }
    EXPECT_FALSE(reader.failed());
    fclose(ours);
    fclose(theirs);
  }
}

// Skewed keys (shared top bytes) make the sort recurse before the blocks
// fit the scratch; no scratch at all sorts wholly in place.
TEST(SortKeys, SortsByFirstAddress) {
  std::mt19937_64 rng(9);
  for (size_t n : {0, 1, 2, 33, 1000, 200000}) {
    for (uint64_t mask : {~0ull, 0x00FF00FF00000FFFull, 0x0000000FFFFFFFFFull}) {
      for (size_t scratch_size : {size_t{0}, size_t{100}, n}) {
        std::vector<uint64_t> keys(n), scratch(scratch_size);
        for (auto &k : keys) k = rng() & mask;
        std::vector<uint64_t> expected = keys;
        tamsel::sort_keys(keys.data(), n, scratch.data(), scratch_size);
        for (size_t i = 1; i < n; ++i) ASSERT_LE(keys[i - 1] >> 32, keys[i] >> 32) << n;
        std::sort(expected.begin(), expected.end());
        std::sort(keys.begin(), keys.end());
        ASSERT_EQ(keys, expected) << "the same keys, " << n << " " << scratch_size;
      }
    }
  }
}

// The entries describe exactly the union of the ranges: checked address by
// address in a small space at the bottom and the top of the address range.
TEST(MergeRanges, CoversExactlyTheUnion) {
  std::mt19937 rng(13);
  for (int round = 0; round < 300; ++round) {
    uint32_t base = round % 2 == 0 ? 0 : UINT32_MAX - 511;
    std::vector<bool> covered(512, false);
    std::vector<uint64_t> keys;
    for (int i = rng() % 12; i > 0; --i) {
      uint32_t first = rng() % 512, last = std::min<uint32_t>(511, first + rng() % 40);
      for (uint32_t a = first; a <= last; ++a) covered[a] = true;
      keys.push_back(uint64_t{base + first} << 32 | (base + last));
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](uint64_t a, uint64_t b) { return a >> 32 < b >> 32; });
    std::vector<std::pair<uint32_t, bool>> entries;
    tamsel::merge_ranges(keys.data(), keys.size(),
                         [&](uint32_t start, bool in) { entries.emplace_back(start, in); });
    ASSERT_FALSE(entries.empty());
    for (size_t i = 1; i < entries.size(); ++i) {
      ASSERT_LT(entries[i - 1].first, entries[i].first);
      ASSERT_NE(entries[i - 1].second, entries[i].second);  // no two alike in a row
    }
    for (uint32_t a = 0; a < 512; ++a) {
      auto next = std::upper_bound(entries.begin(), entries.end(), std::make_pair(base + a, true));
      bool in = next != entries.begin() && std::prev(next)->second;
      ASSERT_EQ(in, static_cast<bool>(covered[a])) << "round " << round << " address " << a;
    }
  }
}

}  // namespace
