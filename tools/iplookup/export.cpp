// --export CODE[,CODE...]: the addresses the tables give the codes' ids, as
// CIDR blocks one per line (the IPv4 blocks, then the IPv6 ones) or, with
// --format, as a script that loads them into firewall sets.
#include <bitset>
#include <string>
#include <vector>

#include "command_line.h"
#include "ip_ranges.h"
#include "ip_ranges/internal/cidr.h"
#include "request.h"
#include "set_script.h"
#include "str.h"
#include "table_runs.h"

namespace iplookup {

namespace {

using Ids = std::bitset<256>;

// The ids the names file lists for the codes, each compared as orvik
// compares the codes of its input: folded to lower case (ASCII and
// Windows-1251). Among several ids with a code the lowest answers. False,
// reported, when the names file cannot be read or does not list a code.
bool ids_of_codes(const Request &request, ip_ranges *table, Ids *ids, FILE *err) {
  if (!ip_ranges_load_names(table)) {
    fprintf(err, "iplookup: cannot read the names file %s/conf/%s (see %s/logs/current/)\n",
            request.root, request.table, request.root);
    return false;
  }
  std::vector<std::string> codes;
  folded_codes(request.export_codes, &codes);  // checked with the options
  for (const std::string &code : codes) {
    const int id = ip_ranges_find(table, code.c_str());
    if (id < 0) {
      fprintf(err, "iplookup: no code '%s' in %s/conf/%s\n", code.c_str(), request.root,
              request.table);
      return false;
    }
    ids->set(static_cast<size_t>(id));
  }
  return true;
}

// The ranges of the ids in a family's table (Runs: TableRuns or
// TableRuns6), runs that touch joined.
template <class Runs, class Run, class Key>
void collect_ranges(const ip_ranges &table, const Ids &ids, std::vector<Range<Key>> *ranges) {
  Runs runs(table);
  Run run;
  while (runs.next(&run)) {
    if (!ids.test(run.id)) continue;
    if (!ranges->empty() && ranges->back().last + 1 == run.first) {
      ranges->back().last = run.last;
    } else {
      ranges->push_back({run.first, run.last});
    }
  }
}

template <class Key>
void print_blocks(const std::vector<Range<Key>> &ranges, FILE *out) {
  for_each_block(ranges, [out](Key base, int length) { print_block_line(base, length, out); });
}

// The output of the format; false when it was refused (reported on err).
bool print_export(const Request &request, const ExportRanges &ranges, FILE *out, FILE *err) {
  switch (request.format) {
    case Format::ipset:
      return write_ipset_script(request, ranges, out, err);
    case Format::nft:
      write_nft_script(request, ranges, out);
      return true;
    case Format::cidr:
      break;
  }
  print_blocks(ranges.v4, out);
  print_blocks(ranges.v6, out);
  return true;
}

// -v: "iplookup: exported 3 blocks of id 1" (of ids 1, 4), per family
// walked; for nft the elements are ranges.
void report_exported(const Request &request, const ExportRanges &ranges, const Ids &ids,
                     FILE *err) {
  std::string which = ids.count() == 1 ? "id " : "ids ";
  for (size_t id = 0, listed = 0; id < ids.size(); ++id) {
    if (ids.test(id)) which += (listed++ ? ", " : "") + std::to_string(id);
  }
  const bool nft = request.format == Format::nft;
  const char *unit = nft ? "ranges" : "blocks";
  if (ranges.ipv4) {
    const long count = nft ? static_cast<long>(ranges.v4.size()) : block_count(ranges.v4);
    fprintf(err, "iplookup: exported %ld %s of %s\n", count, unit, which.c_str());
  }
  if (ranges.ipv6) {
    const long count = nft ? static_cast<long>(ranges.v6.size()) : block_count(ranges.v6);
    fprintf(err, "iplookup: exported %ld IPv6 %s of %s\n", count, unit, which.c_str());
  }
}

}  // namespace

int export_blocks(const Request &request, ip_ranges *table, FILE *out, FILE *err) {
  // The codes first: a mistyped one fails before a large table is read.
  Ids ids;
  Walked walked{};
  // Both tables are loaded and the ranges collected before a line is
  // printed: a failed export leaves the output empty, never half a set.
  if (!ids_of_codes(request, table, &ids, err) || !load_walked_tables(request, table, &walked, err))
    return velmor_tools::exit_failure;
  ExportRanges ranges;
  ranges.ipv4 = walked.ipv4;
  ranges.ipv6 = walked.ipv6;
  if (walked.ipv4) collect_ranges<TableRuns, Run>(*table, ids, &ranges.v4);
  if (walked.ipv6) collect_ranges<TableRuns6, Run6>(*table, ids, &ranges.v6);
  if (!print_export(request, ranges, out, err) || !finish_output(out, err))
    return velmor_tools::exit_failure;
  if (request.verbose) report_exported(request, ranges, ids, err);
  return velmor_tools::exit_ok;
}

}  // namespace iplookup
