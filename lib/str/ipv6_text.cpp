// IPv6 addresses between text and 16 network-order bytes: a bounded scanner,
// the RFC 5952 writer and their C wrappers. Plain byte tests throughout, so
// the locale never changes what is an address.
#include <cstring>

#include "str.h"
#include "str/internal/ipv6_text.h"
#include "str/internal/text_ring.h"

namespace velmor {

namespace {

// "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255" is the longest text read.
constexpr ptrdiff_t kLongestText = 45;

// What each byte is to an address text: a hex digit's value (0-15), a
// separator, or nothing. One table load per byte.
constexpr int8_t kNotAddress = -1;
constexpr int8_t kColon = 16;
constexpr int8_t kDot = 17;

struct AddressBytes {
  int8_t kind[256];
  constexpr AddressBytes() : kind() {
    for (int b = 0; b < 256; ++b) kind[b] = kNotAddress;
    for (int d = 0; d < 10; ++d) kind['0' + d] = static_cast<int8_t>(d);
    for (int d = 0; d < 6; ++d) {
      kind['a' + d] = static_cast<int8_t>(10 + d);
      kind['A' + d] = static_cast<int8_t>(10 + d);
    }
    kind[static_cast<unsigned char>(':')] = kColon;
    kind[static_cast<unsigned char>('.')] = kDot;
  }
};

constexpr AddressBytes kAddressBytes;

inline int kind_of(char c) { return kAddressBytes.kind[static_cast<unsigned char>(c)]; }

// The value of a hex digit, -1 for any other byte.
inline int hex_value(char c) {
  int kind = kind_of(c);
  return kind < 16 ? kind : -1;
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

inline bool is_address_byte(char c) { return kind_of(c) != kNotAddress; }

// End of the run of address bytes starting at begin; nullptr when the run is
// longer than any address text (it is then not looked at any further).
const char *address_run_end(const char *begin, const char *end) {
  const char *limit = end - begin > kLongestText ? begin + kLongestText + 1 : end;
  const char *p = begin;
  while (p < limit && is_address_byte(*p)) ++p;
  return p - begin > kLongestText ? nullptr : p;
}

// The 16-bit groups as read, and where the "::" stood among them.
struct Groups {
  uint16_t values[8] = {};
  int count = 0;
  int gap = -1;  // number of groups before the "::"; -1 without one
};

// Reads a dotted quad filling [p, end) exactly: four decimal octets 0-255
// without leading zeros.
bool read_dotted_quad(const char *p, const char *end, uint32_t &value) {
  value = 0;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (p == end || *p != '.') return false;
      ++p;
    }
    const char *start = p;
    unsigned number = 0;
    while (p < end && is_digit(*p) && p - start < 3) number = number * 10 + (*p++ - '0');
    if (p == start || number > 255 || (p - start > 1 && *start == '0')) return false;
    value = value << 8 | number;
  }
  return p == end;
}

// Reads one group at p: 1 to 4 hex digits, or a dotted quad that must end the
// text and fill the last two groups. Advances p; false when neither is there.
bool read_piece(const char *&p, const char *end, Groups &groups) {
  const char *start = p;
  unsigned value = 0;
  for (int digit; p < end && p - start < 5 && (digit = hex_value(*p)) >= 0; ++p)
    value = value << 4 | static_cast<unsigned>(digit);
  ptrdiff_t digits = p - start;
  if (p < end && *p == '.' && digits < 5) {
    uint32_t quad;
    if (groups.count > 6 || !read_dotted_quad(start, end, quad)) return false;
    groups.values[groups.count++] = static_cast<uint16_t>(quad >> 16);
    groups.values[groups.count++] = static_cast<uint16_t>(quad);
    p = end;
    return true;
  }
  if (digits == 0 || digits > 4 || groups.count == 8) return false;
  groups.values[groups.count++] = static_cast<uint16_t>(value);
  return true;
}

// Reads [p, end) as exactly one address's groups.
bool read_groups(const char *p, const char *end, Groups &groups) {
  if (end - p >= 2 && p[0] == ':' && p[1] == ':') {
    groups.gap = 0;
    p += 2;
  }
  while (p < end) {
    if (!read_piece(p, end, groups)) return false;
    if (p == end) break;
    if (*p++ != ':') return false;
    if (p < end && *p == ':') {
      if (groups.gap >= 0) return false;
      groups.gap = groups.count;
      ++p;
    } else if (p == end) {
      return false;  // a single trailing ':'
    }
  }
  // "::" stands for at least one zero group; without it there are eight.
  return groups.gap >= 0 ? groups.count < 8 : groups.count == 8;
}

void store_groups(const Groups &groups, uint8_t out[16]) {
  uint16_t words[8] = {};
  int head = groups.gap >= 0 ? groups.gap : groups.count;
  int tail = groups.count - head;
  for (int i = 0; i < head; ++i) words[i] = groups.values[i];
  for (int i = 0; i < tail; ++i) words[8 - tail + i] = groups.values[head + i];
  for (size_t i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<uint8_t>(words[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(words[i]);
  }
}

struct ZeroRun {
  int start = 8;
  int length = 0;
};

// The first longest run of two or more zero words; length 0 when none.
ZeroRun longest_zero_run(const uint16_t words[8]) {
  ZeroRun best;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && words[j] == 0) ++j;
    if (j - i >= 2 && j - i > best.length) best = {i, j - i};
    i = j > i ? j : i + 1;
  }
  return best;
}

char *write_word(uint16_t word, char *p) {
  static const char kDigits[] = "0123456789abcdef";
  int shift = 12;
  while (shift > 0 && (word >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) *p++ = kDigits[(word >> shift) & 0xF];
  return p;
}

char *write_words(const uint16_t words[8], int from, int to, char *p) {
  for (int i = from; i < to; ++i) {
    if (i > from) *p++ = ':';
    p = write_word(words[i], p);
  }
  return p;
}

}  // namespace

const char *scan_ipv6(const char *begin, const char *end, uint8_t out[16]) {
  if (begin == nullptr || end == nullptr || begin >= end) return nullptr;
  const char *stop = address_run_end(begin, end);
  Groups groups;
  if (stop == nullptr || !read_groups(begin, stop, groups)) return nullptr;
  store_groups(groups, out);
  return stop;
}

size_t format_ipv6(const uint8_t addr[16], char *dst) {
  uint16_t words[8];
  for (size_t i = 0; i < 8; ++i)
    words[i] = static_cast<uint16_t>(addr[2 * i] << 8 | addr[2 * i + 1]);
  ZeroRun run = longest_zero_run(words);
  char *p = write_words(words, 0, run.start, dst);
  if (run.length > 0) {
    *p++ = ':';
    *p++ = ':';
    p = write_words(words, run.start + run.length, 8, p);
  }
  *p = '\0';
  return static_cast<size_t>(p - dst);
}

}  // namespace velmor

namespace {

// Two results may be used together, as with str_ip_format.
thread_local velmor::TextRing<2, velmor::ipv6_text_max> ip6_ring;

}  // namespace

extern "C" {

bool str_ip6_parse(const char *text, uint8_t addr[16]) {
  if (addr == nullptr) return false;
  uint8_t bytes[16];
  if (text != nullptr) {
    // No address text is longer than 45 bytes: look no further than that.
    const char *end = text + strnlen(text, velmor::ipv6_text_max);
    if (velmor::scan_ipv6(text, end, bytes) == end) {
      memcpy(addr, bytes, sizeof bytes);
      return true;
    }
  }
  memset(addr, 0, 16);
  return false;
}

const char *str_ip6_format(const uint8_t addr[16]) {
  if (addr == nullptr) return "";
  char *slot = ip6_ring.take();
  velmor::format_ipv6(addr, slot);
  return slot;
}

}  // extern "C"
