// IPv6 address text: reading whole texts and addresses inside longer text,
// the canonical writer, and both against independent readers and writers
// (Python's ipaddress, glibc's inet_pton).
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "python_models.h"
#include "str.h"
#include "str/internal/ipv6_text.h"

namespace {

using Bytes = std::array<uint8_t, 16>;

std::string hex_of(const uint8_t *bytes) {
  std::string hex;
  char pair[3];
  for (int i = 0; i < 16; i++) {
    snprintf(pair, sizeof pair, "%02x", bytes[i]);
    hex += pair;
  }
  return hex;
}

// A text and its canonical form; nullptr when it is not an address.
struct TextCase {
  const char *text;
  const char *canonical;
};

const TextCase kTexts[] = {
    {"::", "::"},
    {"::1", "::1"},
    {"1::", "1::"},
    {"0:0:0:0:0:0:0:0", "::"},
    {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
    {"2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
    {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
    {"2001:db8::0:1", "2001:db8::1"},
    {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // a lone zero group stays
    {"1:0:0:1:0:0:0:1", "1:0:0:1::1"},                 // the longer run
    {"1:0:0:0:1:0:0:1", "1::1:0:0:1"},                 // the first of two
    {"0:0:1:0:0:1:0:0", "::1:0:0:1:0:0"},              // three equal runs
    {"0:1:0:0:0:0:0:0", "0:1::"},
    {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0"},  // "::" for one group
    {"::2:3:4:5:6:7:8", "0:2:3:4:5:6:7:8"},
    {"1:2:3:4:5:6::8", "1:2:3:4:5:6:0:8"},
    {"::ffff:1.2.3.4", "::ffff:102:304"},  // IPv4-mapped: hex groups
    {"::ffff:0.0.0.0", "::ffff:0:0"},
    {"::1.2.3.4", "::102:304"},
    {"64:ff9b::192.0.2.33", "64:ff9b::c000:221"},
    {"1:2:3:4:5:6:255.255.255.255", "1:2:3:4:5:6:ffff:ffff"},
    {"ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
    {"::0.0.0.0", "::"},
    {"0001:02:003:abcd:ABCD:aBcD:0:0", "1:2:3:abcd:abcd:abcd::"},
    // Not addresses.
    {"", nullptr},
    {":", nullptr},
    {":::", nullptr},
    {":1::", nullptr},
    {"1::2:", nullptr},
    {"1:2:3:4:5:6:7:8:9", nullptr},
    {"1:2:3:4:5:6:7:8::", nullptr},
    {"::1:2:3:4:5:6:7:8", nullptr},
    {"1:2:3:4:5:6:7", nullptr},
    {"1::2::3", nullptr},
    {"1:::2", nullptr},
    {"12345::", nullptr},
    {"00000::1", nullptr},
    {"g::1", nullptr},
    {"1::2 ", nullptr},
    {" 1::2", nullptr},
    {"fe80::1%eth0", nullptr},
    {"[::1]", nullptr},
    {"::1/128", nullptr},
    {"::1.2.3", nullptr},
    {"::1.2.3.4.5", nullptr},
    {"::1.2.3.4:5", nullptr},
    {"::1.2.3.256", nullptr},
    {"::01.2.3.4", nullptr},
    {"::1.2.3.00", nullptr},
    {"::1..2.3", nullptr},
    {"::1.2.3.", nullptr},
    {"::a.2.3.4", nullptr},
    {"::1234.2.3.4", nullptr},
    {"1.2.3.4", nullptr},
    {"1:2:3:4:5:6:7:1.2.3.4", nullptr},  // 144 bits
    {"1:2:3:4:5:6::1.2.3.4", nullptr},   // "::" for no group
    {"::1.2.3.4::", nullptr},
    {"1:2:3:4:5:6:7:8\n", nullptr},
    {"ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.2555", nullptr},  // 46 bytes
};

TEST(Ipv6Parse, TableOfTexts) {
  for (const auto &c : kTexts) {
    Bytes addr;
    addr.fill(0xAA);
    bool parsed = str_ip6_parse(c.text, addr.data());
    EXPECT_EQ(parsed, c.canonical != nullptr) << c.text;
    if (c.canonical != nullptr) {
      EXPECT_STREQ(str_ip6_format(addr.data()), c.canonical) << c.text;
    } else {
      EXPECT_EQ(addr, Bytes{}) << "failure must leave zero bytes: " << c.text;
    }
  }
}

TEST(Ipv6Parse, NullArguments) {
  Bytes addr;
  addr.fill(0xAA);
  EXPECT_FALSE(str_ip6_parse(nullptr, addr.data()));
  EXPECT_EQ(addr, Bytes{});
  EXPECT_FALSE(str_ip6_parse("::1", nullptr));
}

TEST(Ipv6Parse, BytesInNetworkOrder) {
  Bytes addr;
  ASSERT_TRUE(str_ip6_parse("102:304:506:708:90a:b0c:d0e:f10", addr.data()));
  EXPECT_EQ(hex_of(addr.data()), "0102030405060708090a0b0c0d0e0f10");
  ASSERT_TRUE(str_ip6_parse("::ffff:192.168.1.2", addr.data()));
  EXPECT_EQ(hex_of(addr.data()), "00000000000000000000ffffc0a80102");
}

// How far scan_ipv6 reads from the start of text; -1 when it finds no address.
ptrdiff_t scanned(const std::string &text) {
  Bytes out{};
  const char *begin = text.data();
  const char *stop = velmor::scan_ipv6(begin, begin + text.size(), out.data());
  return stop == nullptr ? -1 : stop - begin;
}

TEST(Ipv6Scan, EndsWhereTheAddressEnds) {
  const std::pair<const char *, ptrdiff_t> cases[] = {
      {"1::2/64", 4},
      {"1:2:3:4:5:6:7:8-1::", 15},
      {"fe80::1%eth0", 7},
      {"::1]:80", 3},
      {"::1 and more", 3},
      {"::ffff:1.2.3.4,next", 14},
      {"1::2g", 4},  // a letter past f cannot continue an address
      {"::-", 2},
      // Bytes that would continue the address: refused, never cut short.
      {"1:2:3:4:5:6:7:8:9", -1},
      {"1:2:3:4:5:6:7:8::", -1},
      {"1:2:3:4:5:6:7:8:", -1},
      {"1::2:", -1},
      {"1::2.", -1},
      {"1::12345", -1},
      {"::1.2.3.4.5", -1},
      {"::1.2.3.4:", -1},
      {":::", -1},
      {"x::1", -1},
      {"", -1},
  };
  for (const auto &[text, want] : cases) EXPECT_EQ(scanned(text), want) << text;
}

TEST(Ipv6Scan, StopsAtTheEndOfTheRange) {
  // Each range ends inside a longer address text, so a byte read past the
  // end would change the result. (The asan preset and the fuzz target also
  // catch the read itself.)
  const std::string text = "1:2:3:4:5:6:7:8888";
  for (size_t length = 0; length <= text.size(); length++) {
    const std::string prefix = text.substr(0, length);
    std::vector<char> exact(prefix.begin(), prefix.end());
    Bytes out{};
    const char *begin = exact.data();
    const char *stop = velmor::scan_ipv6(begin, begin + exact.size(), out.data());
    if (length < 15) {  // fewer than eight groups, or a trailing ':'
      EXPECT_EQ(stop, nullptr) << prefix;
      continue;
    }
    EXPECT_EQ(stop, begin + exact.size()) << prefix;
    char written[velmor::ipv6_text_max];
    velmor::format_ipv6(out.data(), written);
    EXPECT_EQ(written, prefix);
  }
}

TEST(Ipv6Scan, RefusalLeavesOutputAlone) {
  Bytes out;
  out.fill(0x5A);
  const std::string text = "1::2::3";
  EXPECT_EQ(velmor::scan_ipv6(text.data(), text.data() + text.size(), out.data()), nullptr);
  Bytes untouched;
  untouched.fill(0x5A);
  EXPECT_EQ(out, untouched);
}

TEST(Ipv6Format, RingOfTwoAndNull) {
  const Bytes one = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const Bytes two = {0, 2};
  const char *a = str_ip6_format(one.data());
  const char *b = str_ip6_format(two.data());
  EXPECT_STREQ(a, "::1");
  EXPECT_STREQ(b, "2::");
  EXPECT_NE(a, b);
  EXPECT_EQ(str_ip6_format(two.data()), a);  // the third call reuses the first slot
  EXPECT_STREQ(a, "2::");
  EXPECT_STREQ(b, "2::");
  EXPECT_STREQ(str_ip6_format(nullptr), "");
}

TEST(Ipv6Format, LongestTextFitsTheBuffer) {
  Bytes ones;
  ones.fill(0xFF);
  char text[velmor::ipv6_text_max];
  EXPECT_EQ(velmor::format_ipv6(ones.data(), text), 39u);
  EXPECT_STREQ(text, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
}

// ---- against Python's ipaddress ----

bool bytes_from_hex(const std::string &hex, uint8_t *bytes) {
  if (hex.size() != 32) return false;
  for (size_t i = 0; i < 16; i++) {
    int high = str_hex_value(static_cast<unsigned char>(hex[2 * i]));
    int low = str_hex_value(static_cast<unsigned char>(hex[2 * i + 1]));
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

std::vector<std::string> words_of(const char *line) {
  std::vector<std::string> words;
  std::string word;
  for (const char *p = line; *p != '\0' && *p != '\n'; p++) {
    if (*p == ' ') {
      words.push_back(word);
      word.clear();
    } else {
      word += *p;
    }
  }
  words.push_back(word);
  return words;
}

// One address from the oracle: our text must be Python's str(), and every
// spelling Python reads must read to the same bytes here. Returns what
// differs, or "" when nothing does.
std::string oracle_mismatch(const std::vector<std::string> &words) {
  Bytes want;
  if (words.size() != 4 || !bytes_from_hex(words[0], want.data()))
    return "unreadable oracle line starting " + words[0];
  std::string mismatch;
  // A Python newer than 3.11 may write IPv4-mapped addresses with a dotted
  // tail; we keep 3.11's hex groups, so only such texts are not compared.
  const std::string &python_text = words[1];
  const std::string ours = str_ip6_format(want.data());
  if (python_text.find('.') == std::string::npos && python_text != ours)
    mismatch += words[0] + " is written " + ours + ", Python writes " + python_text + "\n";
  for (size_t i = 1; i < 4; i++) {
    Bytes got;
    if (!str_ip6_parse(words[i].c_str(), got.data()) || got != want)
      mismatch += words[i] + " reads as " + hex_of(got.data()) + ", not " + words[0] + "\n";
  }
  return mismatch;
}

TEST(Ipv6Oracle, MatchesPythonIpaddress) {
  SKIP_WITHOUT_PYTHON();
  const std::string command = testing_support::python3_path() + " " +
                              testing_support::python_model("ipv6_oracle.py") + " 20240611";
  FILE *pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[256];
  long addresses = 0, announced = -1, mismatches = 0;
  while (fgets(line, sizeof line, pipe) != nullptr) {
    if (sscanf(line, "end %ld", &announced) == 1) break;
    addresses++;
    std::string mismatch = oracle_mismatch(words_of(line));
    if (!mismatch.empty() && ++mismatches <= 20) ADD_FAILURE() << mismatch;
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(mismatches, 0) << "addresses that differ from Python's ipaddress";
  EXPECT_EQ(addresses, announced) << "the oracle's output was cut short";
  std::cout << addresses << " addresses compared with Python's ipaddress\n";
}

// ---- against glibc's inet_pton ----

// Valid texts in several spellings, the raw material of the mutations.
std::string valid_text(std::mt19937_64 &random) {
  static const char *const kFixed[] = {
      "::",
      "::1",
      "1::",
      "::ffff:1.2.3.4",
      "1:2:3:4:5:6:7:8",
      "1:2:3:4:5:6:1.2.3.4",
      "0001:0002:0003:0004:0005:0006:0007:0008",
      "FFFF::ABCD:0:1",
      "64:ff9b::255.255.255.255",
      "1:2:3:4:5:6:7::",
      "::2:3:4:5:6:7:8",
      "fe80::1",
  };
  if (random() % 4 == 0) return kFixed[random() % std::size(kFixed)];
  Bytes addr;
  uint64_t zeros = random();  // about half the groups zero, in runs of every kind
  for (int i = 0; i < 16; i += 2) {
    uint64_t value = zeros >> i & 1 ? 0 : random() >> (random() % 64);
    addr[i] = static_cast<uint8_t>(value >> 8);
    addr[i + 1] = static_cast<uint8_t>(value);
  }
  return str_ip6_format(addr.data());
}

void mutate(std::string &text, std::mt19937_64 &random) {
  static const char kBytes[] = "::::....0019aAfFgG% /-x";
  auto position = [&](size_t extra) { return random() % (text.size() + extra); };
  switch (random() % 6) {
    case 0:  // insert a likely byte
      text.insert(position(1), 1, kBytes[random() % (sizeof kBytes - 1)]);
      break;
    case 1:  // insert any byte but NUL
      text.insert(position(1), 1, static_cast<char>(1 + random() % 255));
      break;
    case 2:
      if (!text.empty()) text.erase(position(0), 1);
      break;
    case 3:
      if (!text.empty()) text[position(0)] = kBytes[random() % (sizeof kBytes - 1)];
      break;
    case 4: {  // copy a piece of the text elsewhere: extra groups, second "::"
      if (text.empty()) break;
      size_t from = position(0);
      std::string piece = text.substr(from, 1 + random() % 6);
      text.insert(position(1), piece);
      break;
    }
    default:
      text += random() % 2 ? ":1" : ".1";
      break;
  }
}

TEST(Ipv6Oracle, AcceptsWhatInetPtonAccepts) {
  std::mt19937_64 random(20240611);
  long accepted = 0, rejected = 0;
  int disagreements = 0;
  for (int i = 0; i < 1000000 && disagreements < 20; i++) {
    std::string text = valid_text(random);
    for (int edits = 1 + random() % 3; edits > 0; edits--) mutate(text, random);
    Bytes ours, theirs{};
    bool ours_ok = str_ip6_parse(text.c_str(), ours.data());
    bool theirs_ok = inet_pton(AF_INET6, text.c_str(), theirs.data()) == 1;
    if (ours_ok != theirs_ok || (ours_ok && ours != theirs)) {
      ADD_FAILURE() << "\"" << text << "\": ours " << ours_ok << " " << hex_of(ours.data())
                    << ", inet_pton " << theirs_ok << " " << hex_of(theirs.data());
      disagreements++;
    }
    (ours_ok ? accepted : rejected)++;
  }
  // Both outcomes must be common, or the comparison shows little.
  EXPECT_GT(accepted, 50000);
  EXPECT_GT(rejected, 50000);
  std::cout << accepted << " mutated texts accepted and " << rejected
            << " refused by both parsers\n";
}

}  // namespace
