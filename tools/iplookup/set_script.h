// The firewall sets that --export --format ipset and --format nft fill:
// the addresses that go into them, their names, and the two script
// writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "ip_ranges/internal/cidr.h"
#include "ip_ranges/internal/record.h"
#include "request.h"
#include "str/internal/uint128.h"

namespace iplookup {

// A stretch of addresses, first to last.
template <class Key>
struct Range {
  Key first;
  Key last;
};

// What an export puts in its sets: for each family walked, the addresses
// the tables give one of the codes' ids, as ranges in ascending order,
// neither overlapping nor touching (touching runs of different ids are one
// range: the set is one set).
struct ExportRanges {
  bool ipv4 = false;
  bool ipv6 = false;
  std::vector<Range<uint32_t>> v4;
  std::vector<Range<velmor::uint128>> v6;
};

// Calls emit(base, prefix_length) for each block of the smallest CIDR cover
// of ranges, ascending.
template <class Emit>
void for_each_block(const std::vector<Range<uint32_t>> &ranges, Emit &&emit) {
  for (const auto &range : ranges) velmor::cidr_blocks(range.first, range.last, emit);
}

template <class Emit>
void for_each_block(const std::vector<Range<velmor::uint128>> &ranges, Emit &&emit) {
  for (const auto &range : ranges) velmor::cidr_blocks6(range.first, range.last, emit);
}

// Writes the line of a block, "a.b.c.d/length\n" or "<IPv6>/length\n".
inline void print_block_line(uint32_t base, int length, FILE *out) {
  char line[velmor::cidr_line_max];
  const size_t size = velmor::format_cidr_line(base, length, line);
  fwrite(line, 1, size, out);
}

inline void print_block_line(velmor::uint128 base, int length, FILE *out) {
  char line[velmor::cidr6_line_max];
  const size_t size = velmor::format_cidr6_line(base, length, line);
  fwrite(line, 1, size, out);
}

template <class Key>
long block_count(const std::vector<Range<Key>> &ranges) {
  long count = 0;
  for_each_block(ranges, [&count](Key, int) { ++count; });
  return count;
}

// ---- names (set_names.cpp) ----

// Longest set name: the names the scripts derive from it stay within
// ipset's 31 bytes (the longest, the temporary IPv6 set NAME6.tmp, adds 5).
constexpr size_t set_name_max = 26;

// A name both tools take for a set or a table: a letter, then letters,
// digits, '-' and '_', set_name_max bytes at most.
bool is_set_name(const char *name);

// The codes of --export's value, folded to lower case as the names file is
// searched (ASCII and Windows-1251), in the order given, repeats left out.
// False when an item between the commas is empty.
bool folded_codes(const char *text, std::vector<std::string> *codes);

// The set of a family: NAME for IPv4, NAME6 for IPv6 (the names of the
// sets "blocklist" and "blocklist6" that iplookup(1) used to show how to
// fill by hand keep working with --set blocklist).
std::string family_set_name(const std::string &name, velmor::Family family);

// The values of --format, --set and --nft-table as given (null: not given).
struct SetOptions {
  const char *format = nullptr;
  const char *set = nullptr;
  const char *nft_table = nullptr;
};

// options.cpp calls this once the options are read, and it fills the
// request's format, set name and table: the options only with --export
// (--set with ipset or nft, --nft-table with nft), codes between the
// commas, a set name given or derived ("velmor-ru-by" from "ru,by"), a
// table "FAMILY NAME". Reports a usage error (*status 2) and gives false
// on a bad one.
bool check_export_options(const velmor_tools::Program &program, const SetOptions &options,
                          Request *request, int *status);

// ---- output ----

// Writes text, whole lines, in one write(2) of its own: a reader of a pipe
// gets all of it or, when iplookup dies before, none (pipe writes up to
// PIPE_BUF bytes are never split). The scripts keep the lines that change
// a live set together this way; text must stay within PIPE_BUF bytes.
void write_whole(const std::string &text, FILE *out);

// ipset_script.cpp: input for ipset restore that replaces the sets with
// the ranges' blocks. The sets hold max_elements (the parameter lets tests
// reach the limit with a small set). False, reported on err with nothing
// written, when a family has more blocks.
constexpr long ipset_max_elements = 16777216;
bool write_ipset_script(const Request &request, const ExportRanges &ranges, FILE *out, FILE *err,
                        long max_elements = ipset_max_elements);

// nft_script.cpp: input for nft -f that replaces the sets' elements with
// the ranges, one element each, in one transaction.
void write_nft_script(const Request &request, const ExportRanges &ranges, FILE *out);

}  // namespace iplookup
