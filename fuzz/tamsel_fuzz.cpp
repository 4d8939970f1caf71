// Fuzzes the range list converter's input side and its merge:
// - the pieces equal what fgets into 64 bytes and str_chomp give;
// - the fast dotted-quad reader equals str_ip_parse on every piece;
// - each piece's verdict equals a plain reading with the library functions
//   (str_ip_parse, strchr, strtol);
// - the merged table has strictly ascending starts, alternates covered and
//   uncovered entries, and covers exactly the union of the accepted ranges.
// And the same for -6: pieces of 255 bytes equal fgets into 256 bytes; each
// IPv6 piece, parsed from a copy of exactly its size (so that a read past
// its end is caught), gives the verdict and range of a plain reading with
// inet_pton and strtoull; accepted ranges are in order; the IPv6 table
// starts at "::", ascends, alternates and covers exactly their union; the
// CIDR blocks of each merged range are aligned and tile it.
#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ip_ranges/internal/cidr.h"
#include "str.h"
#include "str/internal/ipv4_text.h"
#include "tamsel.h"

namespace {

using tamsel::Range;
using tamsel::Range6;
using tamsel::Verdict;
using velmor::uint128;

void check(bool ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
  }
}

// The piece read plainly with the library: what the fast parser must match.
Verdict plain_verdict(const char *text, Range *range) {
  uint32_t first = str_ip_parse(text);
  if (first == 0xFFFFFFFFu) return Verdict::no_address;
  if (const char *slash = strchr(text, '/')) {
    long bits = strtol(slash + 1, nullptr, 10);
    if (bits < 1 || bits > 32) return Verdict::bad_bits;
    uint32_t mask = bits == 32 ? 0 : UINT32_MAX >> bits;
    *range = Range{first, first | mask};
    return (first & mask) != 0 ? Verdict::masked_network : Verdict::range;
  }
  if (const char *dash = strchr(text, '-')) {
    uint32_t last = str_ip_parse(dash + 1);
    *range = Range{first, last};
    if (last == 0xFFFFFFFFu) return Verdict::open_range;
    return last < first ? Verdict::reversed : Verdict::range;
  }
  return Verdict::no_address;
}

void check_piece(const char *begin, const char *end, const char *fgets_buf,
                 std::vector<uint64_t> *keys) {
  char text[64];
  strcpy(text, fgets_buf);  // fgets leaves at most 63 bytes and a terminator
  str_chomp(text);
  const char *text_end = tamsel::piece_text_end(begin, end);
  check(static_cast<size_t>(text_end - begin) == strlen(text) &&
            memcmp(begin, text, strlen(text)) == 0,
        "piece text equals fgets + str_chomp");
  check(velmor::scan_ipv4(begin, text_end) == str_ip_parse(text), "scan_ipv4 == str_ip_parse");
  Range fast{}, plain{};
  const char *after_dash;
  Verdict verdict = tamsel::parse_piece(begin, text_end, &fast, &after_dash);
  check(verdict == plain_verdict(text, &plain), "verdict equals the plain reading");
  if (tamsel::gives_range(verdict)) {
    check(fast.first == plain.first && fast.last == plain.last, "range equals the plain reading");
    check(fast.first <= fast.last, "accepted ranges are in order");
    keys->push_back(uint64_t{fast.first} << 32 | fast.last);
  }
}

// Union of the ranges as closed intervals, merged with 64-bit arithmetic.
std::vector<std::pair<uint64_t, uint64_t>> plain_union(std::vector<uint64_t> keys) {
  std::sort(keys.begin(), keys.end());
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  for (uint64_t k : keys) {
    uint64_t first = k >> 32, last = k & UINT32_MAX;
    if (!spans.empty() && first <= spans.back().second + 1) {
      spans.back().second = std::max(spans.back().second, last);
    } else {
      spans.emplace_back(first, last);
    }
  }
  return spans;
}

void check_merge(std::vector<uint64_t> keys) {
  // A tiny scratch buffer makes the sort distribute in place first.
  std::vector<uint64_t> sorted = keys, scratch(40);
  tamsel::sort_keys(sorted.data(), sorted.size(), scratch.data(), scratch.size());
  std::vector<std::pair<uint32_t, bool>> entries;
  tamsel::merge_ranges(sorted.data(), sorted.size(),
                       [&](uint32_t start, bool covered) { entries.emplace_back(start, covered); });
  check(!entries.empty(), "the table has an entry");
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      check(entries[i - 1].first < entries[i].first, "starts ascend strictly");
      check(entries[i - 1].second != entries[i].second, "covered and gaps alternate");
    }
    uint64_t end = i + 1 < entries.size() ? uint64_t{entries[i + 1].first} - 1 : UINT32_MAX;
    if (entries[i].second) spans.emplace_back(entries[i].first, end);
  }
  check(spans == plain_union(keys), "the table covers exactly the union");
}

// ---- IPv6 (-6) ----

constexpr const char *c_space = " \t\n\v\f\r";

// The text without white space at either end.
std::string trimmed(const std::string &text) {
  size_t first = text.find_first_not_of(c_space);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(c_space) - first + 1);
}

bool plain_address(const std::string &text, uint128 *address) {
  uint8_t bytes[16];
  if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) return false;
  *address = velmor::uint128_from_bytes(bytes);
  return true;
}

// "/bits" read plainly: digits only, 1 to 128.
int plain_bits(const std::string &text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  errno = 0;
  unsigned long long bits = strtoull(text.c_str(), nullptr, 10);
  return errno != 0 || bits < 1 || bits > 128 ? -1 : static_cast<int>(bits);
}

// The grammar of an IPv6 piece, read with string operations and inet_pton:
// what parse_piece6 must match.
Verdict plain_verdict6(const std::string &piece, bool single, Range6 *range) {
  const std::string text = trimmed(piece);
  const size_t length = strspn(text.c_str(), "0123456789abcdefABCDEF:.");
  uint128 first, last;
  if (!plain_address(text.substr(0, length), &first)) return Verdict::no_address;
  std::string rest = text.substr(length);
  if (!rest.empty() && rest[0] == '/') {
    int bits = plain_bits(rest.substr(1));
    if (bits < 0) return Verdict::bad_bits;
    uint128 host_mask = bits == 128 ? 0 : velmor::uint128_max >> bits;
    *range = Range6{first, first | host_mask};
    return (first & host_mask) != 0 ? Verdict::masked_network : Verdict::range;
  }
  rest = trimmed(rest);
  if (rest.empty()) {
    *range = Range6{first, first};
    return single ? Verdict::range : Verdict::malformed;
  }
  if (rest[0] != '-') return Verdict::malformed;
  if (!plain_address(trimmed(rest.substr(1)), &last)) return Verdict::bad_last_address;
  *range = Range6{first, last};
  return last < first ? Verdict::reversed : Verdict::range;
}

void check_piece6(const char *begin, const char *end, const char *fgets_buf,
                  std::vector<Range6> *ranges) {
  std::string text(fgets_buf);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  const char *text_end = tamsel::piece_text_end(begin, end);
  const auto length = static_cast<size_t>(text_end - begin);
  check(length == text.size() && memcmp(begin, text.data(), length) == 0,
        "IPv6 piece text equals fgets + str_chomp");
  std::unique_ptr<char[]> copy(new char[length]);
  memcpy(copy.get(), begin, length);
  for (bool single : {false, true}) {
    Range6 fast{}, plain{};
    const char *after_dash;
    Verdict verdict =
        tamsel::parse_piece6(copy.get(), copy.get() + length, single, &fast, &after_dash);
    check(verdict == plain_verdict6(text, single, &plain), "IPv6 verdict equals the plain reading");
    check(after_dash == nullptr || (after_dash > copy.get() && after_dash <= copy.get() + length &&
                                    after_dash[-1] == '-'),
          "after_dash points past a '-' of the piece");
    if (!tamsel::gives_range(verdict)) continue;
    check(fast.first == plain.first && fast.last == plain.last,
          "IPv6 range equals the plain reading");
    check(fast.first <= fast.last, "accepted IPv6 ranges are in order");
    if (single) ranges->push_back(fast);
  }
}

// Union of the ranges as closed intervals; the top address ends a run.
std::vector<std::pair<uint128, uint128>> plain_union6(std::vector<Range6> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const Range6 &a, const Range6 &b) { return a.first < b.first; });
  std::vector<std::pair<uint128, uint128>> spans;
  for (const Range6 &r : ranges) {
    if (!spans.empty() &&
        (spans.back().second == velmor::uint128_max || r.first <= spans.back().second + 1)) {
      spans.back().second = std::max(spans.back().second, r.last);
    } else {
      spans.emplace_back(r.first, r.last);
    }
  }
  return spans;
}

void check_cidr6(uint128 first, uint128 last) {
  uint128 next = first;
  bool done = false;
  velmor::cidr_blocks6(first, last, [&](uint128 base, int length) {
    check(!done && base == next, "CIDR blocks follow each other");
    check(length >= 0 && length <= 128, "CIDR prefix length 0..128");
    uint128 host = length == 0 ? velmor::uint128_max : (uint128{1} << (128 - length)) - 1;
    check((base & host) == 0, "CIDR block aligned at its base");
    check(host <= last - base, "CIDR block inside the range");
    done = base + host == last;
    next = base + host + 1;
  });
  check(done, "CIDR blocks reach the end of the range");
}

void check_merge6(const std::vector<Range6> &ranges) {
  tamsel::RangeStore6 store;
  for (const Range6 &r : ranges) check(store.add(r), "the store takes every range");
  const Range6 *sorted = store.sort();
  std::vector<std::pair<uint128, bool>> entries;
  tamsel::merge_ranges6(sorted, store.size(),
                        [&](uint128 start, bool covered) { entries.emplace_back(start, covered); });
  check(!entries.empty() && entries[0].first == 0, "the IPv6 table starts at ::");
  std::vector<std::pair<uint128, uint128>> spans;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      check(entries[i - 1].first < entries[i].first, "IPv6 starts ascend strictly");
      check(entries[i - 1].second != entries[i].second, "IPv6 covered and gaps alternate");
    }
    uint128 end = i + 1 < entries.size() ? entries[i + 1].first - 1 : velmor::uint128_max;
    if (entries[i].second) spans.emplace_back(entries[i].first, end);
  }
  check(spans == plain_union6(ranges), "the IPv6 table covers exactly the union");
  tamsel::merged_ranges6(sorted, store.size(), check_cidr6);
}

void check_ipv6(const uint8_t *data, size_t size) {
  FILE *ours = fmemopen(const_cast<uint8_t *>(data), size, "r");
  FILE *theirs = fmemopen(const_cast<uint8_t *>(data), size, "r");
  std::vector<Range6> ranges;
  // One reader for every run: a fresh 256 KiB block each time would cost
  // more than the checks.
  static tamsel::PieceReader reader(nullptr, tamsel::piece6_max);
  reader.restart(ours);
  char buf[tamsel::piece6_max + 1];
  const char *begin, *end;
  for (;;) {
    bool got = reader.next(&begin, &end);
    check(got == (fgets(buf, sizeof buf, theirs) != nullptr), "as many IPv6 pieces as fgets");
    if (!got) break;
    check_piece6(begin, end, buf, &ranges);
  }
  fclose(ours);
  fclose(theirs);
  check_merge6(ranges);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;  // fmemopen needs at least one byte
  FILE *ours = fmemopen(const_cast<uint8_t *>(data), size, "r");
  FILE *theirs = fmemopen(const_cast<uint8_t *>(data), size, "r");
  std::vector<uint64_t> keys;
  {
    tamsel::PieceReader reader(ours);
    char buf[64];
    const char *begin, *end;
    for (;;) {
      bool got = reader.next(&begin, &end);
      check(got == (fgets(buf, sizeof buf, theirs) != nullptr), "as many pieces as fgets");
      if (!got) break;
      check_piece(begin, end, buf, &keys);
    }
  }
  fclose(ours);
  fclose(theirs);
  check_merge(keys);
  check_ipv6(data, size);
  return 0;
}
