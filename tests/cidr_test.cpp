// The CIDR cover of a range: exact, smallest, ascending.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
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

std::vector<std::string> blocks6(const char *first, const char *last) {
  uint8_t a[16], b[16];
  EXPECT_TRUE(str_ip6_parse(first, a)) << first;
  EXPECT_TRUE(str_ip6_parse(last, b)) << last;
  std::vector<std::string> out;
  velmor::cidr_blocks6(velmor::uint128_from_bytes(a), velmor::uint128_from_bytes(b),
                       [&out](velmor::uint128 base, int length) {
                         char line[velmor::cidr6_line_max];
                         out.emplace_back(line, velmor::format_cidr6_line(base, length, line) - 1);
                       });
  return out;
}

TEST(CidrBlocks6, Cases) {
  struct Case {
    const char *first, *last;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", {"::/0"}},
      {"2001:db8::", "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", {"2001:db8::/32"}},
      {"::1", "::1", {"::1/128"}},
      {"::1", "::6", {"::1/128", "::2/127", "::4/127", "::6/128"}},
      {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
       {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff/128"}},
      {"8000::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", {"8000::/1"}},
  };
  for (const Case &c : cases) EXPECT_EQ(blocks6(c.first, c.last), c.expected) << c.first;
  EXPECT_EQ(blocks6("::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe").size(), 128u);
}

// Random ranges: the blocks tile the range exactly, in order, aligned, and
// no two equal neighbours could be one block.
TEST(CidrBlocks6, TileTheRangeExactlyAndMinimally) {
  std::mt19937_64 rng(12);
  for (int i = 0; i < 5000; ++i) {
    velmor::uint128 a = velmor::uint128{rng()} << 64 | rng();
    velmor::uint128 b = i % 2 ? a + (rng() >> (rng() % 64)) : velmor::uint128{rng()} << 64 | rng();
    if (b < a) std::swap(a, b);
    velmor::uint128 next = a;
    bool ended = false;
    int previous_length = -1;
    velmor::uint128 previous_base = 0;
    velmor::cidr_blocks6(a, b, [&](velmor::uint128 base, int length) {
      ASSERT_FALSE(ended);
      ASSERT_TRUE(base == next);
      const velmor::uint128 span =
          length == 0 ? velmor::uint128_max : (velmor::uint128{1} << (128 - length)) - 1;
      ASSERT_TRUE((base & span) == 0);
      if (length == previous_length && length > 0) {
        // Two equal neighbours that are one aligned block would be merged.
        ASSERT_TRUE(((previous_base >> (128 - length)) & 1) != 0);
      }
      previous_base = base;
      previous_length = length;
      if (base + span == b) ended = true;
      next = base + span + 1;
    });
    ASSERT_TRUE(ended);
  }
}

// A range is one block exactly when its cover is one block, of that length:
// the edges (the whole space, one address, one short of a block) and random
// ranges, many of them aligned, in both families.
TEST(IsCidrBlock, AgreesWithTheCover) {
  auto check = [](auto first, auto last) {
    int cover_length = -1;
    int blocks = 0;
    auto emit = [&](auto, int length) {
      cover_length = length;
      ++blocks;
    };
    if constexpr (sizeof(first) == 4) {
      velmor::cidr_blocks(first, last, emit);
    } else {
      velmor::cidr_blocks6(first, last, emit);
    }
    int length = -1;
    const bool block = velmor::is_cidr_block(first, last, &length);
    ASSERT_EQ(block, blocks == 1);
    if (block) {
      ASSERT_EQ(length, cover_length);
    }
  };
  const velmor::uint128 top6 = velmor::uint128_max;
  check(uint32_t{0}, UINT32_MAX);
  check(uint32_t{0}, UINT32_MAX - 1);
  check(UINT32_MAX, UINT32_MAX);
  check(ip("10.0.0.0"), ip("10.0.255.255"));
  check(ip("10.0.1.0"), ip("10.0.2.255"));
  check(velmor::uint128{0}, top6);
  check(top6, top6);
  check(velmor::uint128{1} << 127, top6);
  check(velmor::uint128{0}, top6 >> 1 << 1);
  std::mt19937_64 rng(13);
  for (int i = 0; i < 20000; ++i) {
    const int bits = static_cast<int>(rng() % 33);
    const uint32_t size_less_one = bits == 32 ? UINT32_MAX : (uint32_t{1} << bits) - 1;
    uint32_t first = static_cast<uint32_t>(rng()) & ~size_less_one;
    if (i % 4 == 0) first += static_cast<uint32_t>(rng() % 3);  // off the boundary
    const uint32_t last = first + std::min<uint32_t>(size_less_one, UINT32_MAX - first);
    check(first, last - static_cast<uint32_t>(i % 5 == 0 && last > first));
    const int bits6 = static_cast<int>(rng() % 129);
    const velmor::uint128 span = bits6 == 128 ? top6 : (velmor::uint128{1} << bits6) - 1;
    const velmor::uint128 base = (velmor::uint128{rng()} << 64 | rng()) & ~span;
    check(base, base + span - (i % 5 == 0 && span > 0 ? 1 : 0));
  }
}

}  // namespace
