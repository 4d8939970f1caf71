// --format nft: input for "nft -f" that replaces the elements of interval
// sets in one transaction, declaring the table and the sets when missing:
//
//   define ranges4_1 = { 5.3.0.0/16, 5.8.0.0-5.8.2.255 }
//   add table inet velmor
//   add set inet velmor velmor-ru { type ipv4_addr; flags interval; }
//   flush set inet velmor velmor-ru
//   add element inet velmor velmor-ru $ranges4_1
//
// nft reads the whole file and applies it as one transaction, or nothing
// when a line is wrong: a file cut inside an element list is refused. The
// elements come first, in variables of elements_per_statement each (each
// one taking in the one before), so that a file cut between them declares
// variables and does nothing; the commands follow in one write of their own
// (write_whole): a reader of a pipe never gets the flush without the
// elements.
//
// One element per range: interval sets hold ranges, and nft keeps each
// element as given (adjacent blocks are not merged without auto-merge), so
// a range is one element where its CIDR cover would be several. A range
// that is one block is written as the block.
#include <string>

#include "ip_ranges/internal/cidr.h"
#include "set_script.h"
#include "str/internal/ipv4_text.h"
#include "str/internal/ipv6_text.h"

namespace iplookup {

namespace {

using velmor::Family;

constexpr int elements_per_statement = 256;

// Longest element: two IPv6 addresses and a dash.
constexpr size_t element_max = 2 * velmor::ipv6_text_max;

size_t format_address(uint32_t address, char *dst) { return velmor::format_ipv4(address, dst); }

size_t format_address(velmor::uint128 address, char *dst) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(address, bytes);
  return velmor::format_ipv6(bytes, dst);
}

size_t format_block(uint32_t base, int length, char *dst) {
  return velmor::format_cidr(base, length, dst);
}

size_t format_block(velmor::uint128 base, int length, char *dst) {
  return velmor::format_cidr6(base, length, dst);
}

template <class Key>
size_t format_element(const Range<Key> &range, char *dst) {
  int length = 0;
  if (velmor::is_cidr_block(range.first, range.last, &length))
    return format_block(range.first, length, dst);
  size_t n = format_address(range.first, dst);
  dst[n++] = '-';
  return n + format_address(range.last, dst + n);
}

// Prints the "define" lines of a family's ranges; gives the variable that
// holds them all ("" when there are none).
template <class Key>
std::string print_defines(const std::vector<Range<Key>> &ranges, const char *stem, FILE *out) {
  std::string variable;
  char element[element_max];
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (i % elements_per_statement == 0) {
      const std::string before = variable;
      variable = std::string(stem) + std::to_string(i / elements_per_statement + 1);
      fprintf(out, "%sdefine %s = { ", i == 0 ? "" : " }\n", variable.c_str());
      if (!before.empty()) fprintf(out, "$%s, ", before.c_str());
    } else {
      fputs(", ", out);
    }
    const size_t size = format_element(ranges[i], element);
    fwrite(element, 1, size, out);
  }
  if (!ranges.empty()) fputs(" }\n", out);
  return variable;
}

}  // namespace

void write_nft_script(const Request &request, const ExportRanges &ranges, FILE *out) {
  struct FamilySet {
    std::string name;
    const char *type;
    std::string variable;
  };
  std::vector<FamilySet> sets;
  if (ranges.ipv4) {
    sets.push_back({family_set_name(request.set_name, Family::ipv4), "ipv4_addr",
                    print_defines(ranges.v4, "ranges4_", out)});
  }
  if (ranges.ipv6) {
    sets.push_back({family_set_name(request.set_name, Family::ipv6), "ipv6_addr",
                    print_defines(ranges.v6, "ranges6_", out)});
  }
  const std::string table = request.nft_table;
  std::string commands = "add table " + table + "\n";
  for (const FamilySet &set : sets) {
    commands +=
        "add set " + table + " " + set.name + " { type " + set.type + "; flags interval; }\n";
  }
  for (const FamilySet &set : sets) commands += "flush set " + table + " " + set.name + "\n";
  for (const FamilySet &set : sets) {
    if (!set.variable.empty())
      commands += "add element " + table + " " + set.name + " $" + set.variable + "\n";
  }
  write_whole(commands, out);
}

}  // namespace iplookup
