// Fuzzes iplookup's firewall scripts: the input is read as ascending IPv4
// and IPv6 ranges (with gaps between them) and the text of --export's codes.
// - the ipset script creates, swaps and destroys the sets of its name, and
//   its adds, read back, are blocks in ascending order without /0 whose
//   union is exactly the ranges;
// - the nft script declares its elements in statements of at most 256, each
//   taking in the one before, one element per range, read back exactly;
// - the codes, folded and split, make the default set name only when the
//   name rule holds, and the name of every family fits ipset's 31 bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "set_script.h"
#include "str.h"

namespace {

using iplookup::Range;
using velmor::uint128;

void check(bool ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
  }
}

// Reads the input from the front.
struct Bytes {
  const uint8_t *data;
  size_t size;

  template <class Key>
  bool take(Key *value) {
    if (size < sizeof(Key)) return false;
    *value = 0;
    for (size_t i = 0; i < sizeof(Key); ++i) *value = *value << 8 | data[i];
    data += sizeof(Key);
    size -= sizeof(Key);
    return true;
  }
};

// Ranges from pairs (gap, length), the gap at least one address so that no
// two ranges touch; lengths are masked so that all sizes occur.
template <class Key>
std::vector<Range<Key>> read_ranges(Bytes *bytes, size_t most) {
  std::vector<Range<Key>> ranges;
  Key next = 0;
  uint16_t count = 0;
  uint8_t shape = 0;
  if (!bytes->take(&count) || !bytes->take(&shape)) return ranges;
  for (size_t i = 0; i < count && i < most; ++i) {
    Key gap = 0, length = 0;
    if (!bytes->take(&gap) || !bytes->take(&length)) break;
    const int bits = static_cast<int>(sizeof(Key) * 8);
    gap >>= (shape & 7) * (bits / 8);
    length >>= ((shape >> 3) & 7) * (bits / 8);
    const Key top = ~Key{0};
    if (!ranges.empty() && (next == top || gap > top - next - 1)) break;
    const Key first = ranges.empty() ? gap : next + 1 + gap;
    const Key last = length > top - first ? top : first + length;
    ranges.push_back({first, last});
    if (last == top) break;
    next = last + 1;
  }
  return ranges;
}

std::string written(const iplookup::Request &request, const iplookup::ExportRanges &ranges,
                    bool ipset) {
  char *text = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&text, &size);
  FILE *err = fopen("/dev/null", "we");
  if (ipset) {
    check(iplookup::write_ipset_script(request, ranges, out, err), "the ipset script is written");
  } else {
    iplookup::write_nft_script(request, ranges, out);
  }
  fclose(out);
  fclose(err);
  std::string script(text, size);
  free(text);
  return script;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    check(end != std::string::npos, "every line ends with a line feed");
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

bool parse(const std::string &text, uint32_t *address) {
  if (text.empty() || text.find(':') != std::string::npos) return false;
  *address = str_ip_parse(text.c_str());
  return std::string(str_ip_format(*address)) == text;
}

bool parse(const std::string &text, uint128 *address) {
  uint8_t bytes[16];
  if (!str_ip6_parse(text.c_str(), bytes)) return false;
  *address = velmor::uint128_from_bytes(bytes);
  return true;
}

// "a/len" as the range it covers.
template <class Key>
Range<Key> block_range(const std::string &text) {
  const size_t slash = text.find('/');
  check(slash != std::string::npos, "a block has a prefix length");
  Key base = 0;
  check(parse(text.substr(0, slash), &base), "a block's address reads back");
  const int bits = static_cast<int>(sizeof(Key) * 8);
  const int length = atoi(text.c_str() + slash + 1);
  check(length >= 0 && length <= bits, "a prefix length fits the family");
  const Key span = length == 0 ? ~Key{0} : (Key{1} << (bits - length)) - 1;
  check((base & span) == 0, "a block is aligned");
  return {base, base + span};
}

// Adds each range to ranges, joining it to the last one when they touch.
template <class Key>
void append(std::vector<Range<Key>> *ranges, const Range<Key> &range) {
  if (!ranges->empty() && ranges->back().last != ~Key{0} &&
      ranges->back().last + 1 == range.first) {
    ranges->back().last = range.last;
    return;
  }
  check(ranges->empty() || ranges->back().last < range.first, "elements ascend");
  ranges->push_back(range);
}

template <class Key>
bool same(const std::vector<Range<Key>> &a, const std::vector<Range<Key>> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].first != b[i].first || a[i].last != b[i].last) return false;
  }
  return true;
}

void check_ipset(const iplookup::Request &request, const iplookup::ExportRanges &ranges) {
  const std::string live4 = "\"" + request.set_name + "\"";
  const std::string live6 = "\"" + request.set_name + "6\"";
  const std::string temporary4 = "\"" + request.set_name + ".tmp\"";
  const std::string temporary6 = "\"" + request.set_name + "6.tmp\"";
  std::vector<Range<uint32_t>> back4;
  std::vector<Range<uint128>> back6;
  size_t swaps = 0;
  for (const std::string &line : lines_of(written(request, ranges, true))) {
    if (line.rfind("add ", 0) == 0) {
      const size_t space = line.rfind(' ');
      const std::string set = line.substr(4, space - 4);
      const std::string element = line.substr(space + 1);
      check(element.find("/0") == std::string::npos, "no /0 goes into hash:net");
      if (set == temporary4) {
        append(&back4, block_range<uint32_t>(element));
      } else {
        check(set == temporary6, "the adds fill the temporary sets");
        append(&back6, block_range<uint128>(element));
      }
    } else if (line.rfind("swap ", 0) == 0) {
      check(
          line == "swap " + temporary4 + " " + live4 || line == "swap " + temporary6 + " " + live6,
          "each temporary set is swapped with its live set");
      ++swaps;
    }
  }
  check(swaps == (ranges.ipv4 ? 1u : 0u) + (ranges.ipv6 ? 1u : 0u), "one swap a family");
  check(same(back4, ranges.v4) && same(back6, ranges.v6), "the blocks are the ranges");
}

template <class Key>
void read_elements(const std::string &list, std::vector<Range<Key>> *back) {
  size_t begin = 0;
  while (begin < list.size()) {
    size_t end = list.find(", ", begin);
    if (end == std::string::npos) end = list.size();
    const std::string element = list.substr(begin, end - begin);
    const size_t dash = element.find('-');
    if (dash == std::string::npos) {
      back->push_back(block_range<Key>(element));
    } else {
      Range<Key> range{};
      check(parse(element.substr(0, dash), &range.first) &&
                parse(element.substr(dash + 1), &range.last) && range.first < range.last,
            "a range element reads back");
      check(!velmor::is_cidr_block(range.first, range.last), "a range that is a block is one");
      back->push_back(range);
    }
    begin = end + 2;
  }
}

void check_nft(const iplookup::Request &request, const iplookup::ExportRanges &ranges) {
  std::vector<Range<uint32_t>> back4;
  std::vector<Range<uint128>> back6;
  std::string previous4, previous6;
  for (const std::string &line : lines_of(written(request, ranges, false))) {
    if (line.rfind("define ", 0) != 0) continue;
    const bool six = line.rfind("define ranges6_", 0) == 0;
    std::string &previous = six ? previous6 : previous4;
    const size_t equals = line.find(" = { ");
    check(equals != std::string::npos && line.size() >= equals + 7 &&
              line.compare(line.size() - 2, 2, " }") == 0,
          "a define holds one list");
    std::string list = line.substr(equals + 5, line.size() - equals - 7);
    if (!previous.empty()) {
      const std::string taken = "$" + previous + ", ";
      check(list.rfind(taken, 0) == 0, "a define takes in the one before");
      list = list.substr(taken.size());
    }
    previous = line.substr(7, equals - 7);
    const size_t before = six ? back6.size() : back4.size();
    if (six) {
      read_elements(list, &back6);
    } else {
      read_elements(list, &back4);
    }
    check((six ? back6.size() : back4.size()) - before <= 256, "at most 256 elements a define");
  }
  check(same(back4, ranges.v4) && same(back6, ranges.v6), "one element per range");
}

void check_codes(const std::string &text) {
  std::vector<std::string> codes;
  if (!iplookup::folded_codes(text.c_str(), &codes)) return;
  std::string name = "velmor";
  for (const std::string &code : codes) {
    check(!code.empty() && code.find(',') == std::string::npos, "a code between the commas");
    name += "-" + code;
  }
  if (!iplookup::is_set_name(name.c_str())) return;
  for (const velmor::Family family : {velmor::Family::ipv4, velmor::Family::ipv6}) {
    const std::string set = iplookup::family_set_name(name, family) + ".tmp";
    check(set.size() <= 31, "every set name fits ipset's 31 bytes");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Bytes bytes{data, size};
  uint8_t families = 0;
  if (!bytes.take(&families)) return 0;
  iplookup::ExportRanges ranges;
  ranges.ipv4 = (families & 1) != 0;
  ranges.ipv6 = (families & 2) != 0;
  // Enough IPv4 ranges for two nft statements; fewer IPv6 ones, which can
  // each take up to 254 blocks.
  if (ranges.ipv4) ranges.v4 = read_ranges<uint32_t>(&bytes, 300);
  if (ranges.ipv6) ranges.v6 = read_ranges<uint128>(&bytes, 48);
  iplookup::Request request;
  request.set_name = "velmor-ru-by";
  check_ipset(request, ranges);
  check_nft(request, ranges);
  check_codes(std::string(reinterpret_cast<const char *>(bytes.data), bytes.size).c_str());
  return 0;
}
