// The CIDR cover of a range: exact, smallest, ascending.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ip_ranges/internal/cidr.h"
#include "str.h"

namespace {

std::vector<std::string> blocks(uint32_t first, uint32_t last) {
  std::vector<std::string> out;
  velmor::cidr_blocks(first, last, [&out](uint32_t base, int length) {
    out.push_back(std::string(str_ip_format(base)) + "/" + std::to_string(length));
  });
  return out;
}

uint32_t ip(const char *text) { return str_ip_parse(text); }

TEST(CidrBlocks, Cases) {
  struct Case {
    const char *first, *last;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"10.0.0.0", "10.255.255.255", {"10.0.0.0/8"}},
      {"10.0.0.1", "10.0.0.1", {"10.0.0.1/32"}},
      {"10.0.0.1", "10.0.0.6", {"10.0.0.1/32", "10.0.0.2/31", "10.0.0.4/31", "10.0.0.6/32"}},
      {"192.168.0.0", "192.168.2.255", {"192.168.0.0/23", "192.168.2.0/24"}},
      {"255.255.255.255", "255.255.255.255", {"255.255.255.255/32"}},
  };
  EXPECT_EQ(blocks(0, UINT32_MAX), std::vector<std::string>{"0.0.0.0/0"});
  EXPECT_EQ(blocks(0, ip("255.255.255.254")).size(), 32u);  // /1 down to /32
  for (const Case &c : cases) {
    EXPECT_EQ(blocks(ip(c.first), ip(c.last)), c.expected) << c.first;
  }
}

// Random ranges: the blocks tile the range exactly, in order, each aligned,
// and no two neighbours could be one block (which makes the cover smallest).
TEST(CidrBlocks, TileTheRangeExactlyAndMinimally) {
  std::mt19937 rng(11);
  for (int i = 0; i < 20000; ++i) {
    uint32_t a = rng(), b = rng() >> (rng() % 32);
    uint32_t first = a < b ? a : b, last = a < b ? b : a;
    if (i % 3 == 0 && first < UINT32_MAX - 5000) last = first + rng() % 5000;  // short ones too
    uint64_t next = first;
    uint32_t previous_base = 0;
    int previous_length = -1;
    velmor::cidr_blocks(first, last, [&](uint32_t base, int length) {
      ASSERT_EQ(base, next);
      const uint64_t size = uint64_t{1} << (32 - length);
      ASSERT_EQ(base % size, 0u);
      if (previous_length == length) {
        // Two equal neighbours that are one aligned block would be merged.
        ASSERT_NE(previous_base % (size * 2), 0u);
      }
      previous_base = base;
      previous_length = length;
      next = base + size;
    });
    ASSERT_EQ(next, uint64_t{last} + 1);
  }
}

}  // namespace
