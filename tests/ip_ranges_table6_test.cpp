// The IPv6 table of a record: "conf/<name>6.ips" loaded on the first IPv6
// lookup, reloaded when its time changes, answering as the table says, with
// IPv4-mapped addresses answered by the IPv4 table; and a 500,000-entry table
// written by Python's ipaddress, read back and written again exactly.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ip_ranges.h"
#include "ip_ranges/internal/table_format.h"
#include "ip_ranges_table_support.h"
#include "python_models.h"
#include "str.h"

using namespace testing_support;

namespace {

constexpr const char *kTable6 = "conf/countries6.ips";
constexpr int64_t kTime = 1'600'000'000;

struct Address {
  uint8_t bytes[16];
};

Address ip6(const char *text) {
  Address a{};
  EXPECT_EQ(inet_pton(AF_INET6, text, a.bytes), 1) << text;
  return a;
}

uint8_t lookup6(ip_ranges *table, const char *text) {
  return ip_ranges_lookup6(table, ip6(text).bytes);
}

const std::string kThreeEntries = ":: 0\n2001:db8:: 7\n2001:db9:: 0\n";

TEST(IpRanges6, AnswersFromTheIpv6TableLoadedOnFirstUse) {
  RangesRoot root;
  write_file(kTable6, kThreeEntries + "2001:db9::8000 9\n");
  write_file("conf/countries.ips", "0.0.0.0 0\n10.0.0.0 3\n11.0.0.0 0\n");
  ScopedRanges table("countries");
  const struct {
    const char *address;
    int id;
  } cases[] = {
      {"::", 0},
      {"2001:db7:ffff:ffff:ffff:ffff:ffff:ffff", 0},
      {"2001:db8::", 7},
      {"2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", 7},
      {"2001:db9::", 0},
      {"2001:db9::8000", 9},
      {"ffff::1", 9},
      {"::ffff:10.1.2.3", 3},  // IPv4-mapped: the IPv4 table answers
      {"::ffff:9.0.0.1", 0},
  };
  for (const auto &c : cases) EXPECT_EQ(lookup6(table.table, c.address), c.id) << c.address;
  EXPECT_EQ(ip_ranges_count6(table.table), 4);
  uint8_t start[16], id = 0;
  ASSERT_TRUE(ip_ranges_entry6(table.table, 1, start, &id));
  EXPECT_STREQ(str_ip6_format(start), "2001:db8::");
  EXPECT_EQ(id, 7);
  EXPECT_FALSE(ip_ranges_entry6(table.table, 4, start, &id));
  EXPECT_EQ(root.error_log(), "");
}

TEST(IpRanges6, MissingOrEmptyTableIsTriedOnceWithTheIpv4Messages) {
  RangesRoot root;
  ScopedRanges table("countries");
  EXPECT_EQ(lookup6(table.table, "2001:db8::1"), 0);
  EXPECT_EQ(lookup6(table.table, "2001:db8::1"), 0);  // no second try
  std::vector<std::string> lines = split_lines(root.error_log());
  ASSERT_EQ(lines.size(), 2u) << root.error_log();
  EXPECT_NE(lines[0].find("cannot stat 'conf/countries6.ips': No such file"), std::string::npos);
  EXPECT_NE(lines[1].find("cannot open conf/countries6.ips: No such file"), std::string::npos);

  write_file(kTable6, "no entries here\n");
  EXPECT_FALSE(ip_ranges_load6(table.table));
  EXPECT_NE(root.error_log().find("no ranges found in conf/countries6.ips"), std::string::npos);
  EXPECT_EQ(ip_ranges_count6(table.table), 0);
}

TEST(IpRanges6, ReloadFollowsTheFilesTimeAndLeavesTheIpv4TableAlone) {
  RangesRoot root;
  write_file_at(kTable6, kThreeEntries, kTime);
  write_file_at("conf/countries.ips", "0.0.0.0 4\n", kTime);
  ScopedRanges table("countries");
  EXPECT_EQ(lookup6(table.table, "2001:db8::1"), 7);
  EXPECT_EQ(ip_ranges_lookup(table.table, 1), 4);
  EXPECT_FALSE(ip_ranges_reload6(table.table));  // same time: one stat, nothing read
  write_file_at(kTable6, ":: 0\n2001:db8:: 8\n", kTime + 1);
  EXPECT_TRUE(ip_ranges_reload6(table.table));
  EXPECT_EQ(lookup6(table.table, "2001:db8::1"), 8);
  EXPECT_EQ(ip_ranges_lookup(table.table, 1), 4);
  EXPECT_FALSE(ip_ranges_reload(table.table));  // the IPv4 file did not change
}

TEST(IpRanges6, RecordMadeByHandHasNoIpv6Table) {
  RangesRoot root;
  write_file(kTable6, kThreeEntries);
  ip_ranges table{};
  EXPECT_EQ(lookup6(&table, "2001:db8::1"), 0);
  EXPECT_FALSE(ip_ranges_load6(&table));
  EXPECT_EQ(ip_ranges_lookup6(nullptr, ip6("2001:db8::1").bytes), 0);
  EXPECT_EQ(ip_ranges_lookup6(&table, nullptr), 0);
}

// Pieces that are no entry are passed over as in IPv4 tables; the address
// must fill the piece up to its first space.
TEST(IpRanges6, TableLinesAreReadByTheEntryRules) {
  const struct {
    const char *piece;
    bool entry;
    const char *start;
    int id;
  } cases[] = {
      {":: 0\n", true, "::", 0},
      {"2001:DB8::1 300\n", true, "2001:db8::1", 44},  // any spelling; the id's low 8 bits
      {"::ffff:1.2.3.4 -1\n", true, "::ffff:102:304", 255},
      {" 2001:db8:: 7\n", false, nullptr, 0},
      {"2001:db8::x 7\n", false, nullptr, 0},
      {"2001:db8::\n", false, nullptr, 0},
      {"10.0.0.0 7\n", false, nullptr, 0},
      {"1:2:3:4:5:6:7:8:9 7\n", false, nullptr, 0},
  };
  for (const auto &c : cases) {
    uint8_t start[16], id = 0;
    ASSERT_EQ(velmor::parse_table_entry6(c.piece, start, &id), c.entry) << c.piece;
    if (!c.entry) continue;
    EXPECT_STREQ(str_ip6_format(start), c.start) << c.piece;
    EXPECT_EQ(id, c.id) << c.piece;
    char line[velmor::table6_entry_max];
    std::string written(line, velmor::format_table_entry6(line, start, id));
    EXPECT_EQ(written, std::string(c.start) + " " + std::to_string(id) + "\n");
  }
}

// Python writes a 500,000-entry table and the answers it gives; the record
// loads it, answers the same, and every start it read is written back as
// the very text Python wrote.
TEST(IpRanges6, LargeTableFromPythonReadsBackExactly) {
  SKIP_WITHOUT_PYTHON();
  RangesRoot root;
  const std::string probes = root.root() / "probes";
  RunResult made = run_python(
      {python_model("ipv6_table_model.py"), "6", "500000", root.root() / kTable6, probes});
  ASSERT_EQ(made.status, 0) << made.err;
  ScopedRanges table("countries");
  ASSERT_TRUE(ip_ranges_load6(table.table));
  ASSERT_EQ(ip_ranges_count6(table.table), 500000);

  std::ifstream lines(root.root() / kTable6);
  std::string line;
  for (int32_t i = 0; std::getline(lines, line); i++) {
    uint8_t start[16], id = 0;
    ASSERT_TRUE(ip_ranges_entry6(table.table, i, start, &id));
    ASSERT_EQ(std::string(str_ip6_format(start)) + " " + std::to_string(id), line);
  }
  std::ifstream answers(probes);
  long checked = 0;
  for (std::string address; answers >> address;) {
    int expected = -1;
    answers >> expected;
    ASSERT_EQ(lookup6(table.table, address.c_str()), expected) << address;
    checked++;
  }
  EXPECT_GT(checked, 150000);
}

}  // namespace
