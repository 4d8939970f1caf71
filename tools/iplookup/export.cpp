// --export CODE: the ranges of one id as CIDR blocks, one per line, ready
// to be turned into firewall set commands: the IPv4 blocks, then the IPv6
// ones.
#include <string>

#include "command_line.h"
#include "ip_ranges.h"
#include "ip_ranges/internal/cidr.h"
#include "request.h"
#include "str.h"
#include "table_runs.h"

namespace iplookup {

namespace {

// The id the names file lists for the code, compared as orvik compares the
// codes of its input: folded to lower case (ASCII and Windows-1251). Among
// several ids with the code the lowest answers. -1, reported, when the
// names file cannot be read or does not list the code.
int id_of_code(const Request &request, ip_ranges *table, FILE *err) {
  std::string code(request.export_code);
  str_fold(code.data());
  if (!ip_ranges_load_names(table)) {
    fprintf(err, "iplookup: cannot read the names file %s/conf/%s (see %s/logs/current/)\n",
            request.root, request.table, request.root);
    return -1;
  }
  const int id = ip_ranges_find(table, code.c_str());
  if (id < 0) {
    fprintf(err, "iplookup: no code '%s' in %s/conf/%s\n", code.c_str(), request.root,
            request.table);
  }
  return id;
}

// The block lines of each family.
void print_block(uint32_t base, int length, FILE *out) {
  char line[velmor::cidr_line_max];
  const size_t size = velmor::format_cidr_line(base, length, line);
  fwrite(line, 1, size, out);
}

void print_block(velmor::uint128 base, int length, FILE *out) {
  char line[velmor::cidr6_line_max];
  const size_t size = velmor::format_cidr6_line(base, length, line);
  fwrite(line, 1, size, out);
}

// The smallest CIDR cover of each family.
template <class Emit>
void cover(uint32_t first, uint32_t last, Emit &&emit) {
  velmor::cidr_blocks(first, last, emit);
}

template <class Emit>
void cover(velmor::uint128 first, velmor::uint128 last, Emit &&emit) {
  velmor::cidr_blocks6(first, last, emit);
}

// Prints the CIDR blocks of every run of the id in the family's table (Runs:
// TableRuns or TableRuns6); gives their number.
template <class Runs, class Run>
long print_blocks(const ip_ranges &table, int id, FILE *out) {
  long blocks = 0;
  Runs runs(table);
  Run run;
  while (runs.next(&run)) {
    if (run.id != id) continue;
    cover(run.first, run.last, [out, &blocks](auto base, int length) {
      print_block(base, length, out);
      ++blocks;
    });
  }
  return blocks;
}

}  // namespace

int export_blocks(const Request &request, ip_ranges *table, FILE *out, FILE *err) {
  // The code first: a mistyped one fails before a large table is read.
  const int id = id_of_code(request, table, err);
  Walked walked{};
  // Both tables are loaded before a block is printed: a table that cannot
  // be used leaves the output empty, never half a set.
  if (id < 0 || !load_walked_tables(request, table, &walked, err))
    return velmor_tools::exit_failure;
  const long blocks = walked.ipv4 ? print_blocks<TableRuns, Run>(*table, id, out) : 0;
  const long blocks6 = walked.ipv6 ? print_blocks<TableRuns6, Run6>(*table, id, out) : 0;
  if (!finish_output(out, err)) return velmor_tools::exit_failure;
  if (request.verbose && walked.ipv4)
    fprintf(err, "iplookup: exported %ld blocks of id %d\n", blocks, id);
  if (request.verbose && walked.ipv6)
    fprintf(err, "iplookup: exported %ld IPv6 blocks of id %d\n", blocks6, id);
  return velmor_tools::exit_ok;
}

}  // namespace iplookup
