// Fuzzes the range list converter's input side and its merge:
// - the pieces equal what fgets into 64 bytes and str_chomp give;
// - the fast dotted-quad reader equals str_ip_parse on every piece;
// - each piece's verdict equals a plain reading with the library functions
//   (str_ip_parse, strchr, strtol);
// - the merged table has strictly ascending starts, alternates covered and
//   uncovered entries, and covers exactly the union of the accepted ranges.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "str.h"
#include "str/internal/ipv4_text.h"
#include "tamsel.h"

namespace {

using tamsel::Range;
using tamsel::Verdict;

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
  return 0;
}
