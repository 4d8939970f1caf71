// --summary: per id that holds an address, its code, its number of ranges
// (runs) and of addresses; then the totals. The columns are aligned, the
// ids in ascending order. One such block per table walked, IPv4 first,
// separated by a blank line. IPv6 counts need 128 bits: the IPv6 runs hold
// 2^128 - 2^32 addresses.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>

#include "command_line.h"
#include "ip_ranges.h"
#include "request.h"
#include "str/internal/number_scan.h"
#include "str/internal/uint128.h"
#include "table_runs.h"

namespace iplookup {

namespace {

using velmor::uint128;

struct Count {
  uint64_t ranges = 0;
  uint128 addresses = 0;
};

using Counts = std::array<Count, 256>;

template <class Runs, class Run>
Counts count_runs(const ip_ranges &table) {
  Counts counts{};
  Runs runs(table);
  Run run;
  while (runs.next(&run)) {
    counts[run.id].ranges++;
    counts[run.id].addresses += uint128{run.last} - run.first + 1;
  }
  return counts;
}

// number in decimal: printf has no conversion for 128 bits.
struct Decimal {
  char text[velmor::decimal_text_size<uint128>] = {};
  size_t length;
  explicit Decimal(uint128 number) : length(velmor::format_decimal(number, text)) {}
};

int digits(uint128 number) { return static_cast<int>(Decimal(number).length); }

const char *code_or_dash(ip_ranges *table, int id) {
  return name_or_dash(ip_ranges_code(table, static_cast<uint16_t>(id)));
}

struct Widths {
  int code;
  int ranges;
  int addresses;
};

// Each column as wide as its heading or its widest value.
Widths column_widths(ip_ranges *table, const Counts &counts, const Count &total) {
  Widths widths{4, std::max(6, digits(total.ranges)), std::max(9, digits(total.addresses))};
  for (int id = 0; id < 256; ++id) {
    if (counts[id].addresses == 0) continue;
    widths.code = std::max(widths.code, static_cast<int>(strlen(code_or_dash(table, id))));
  }
  return widths;
}

void print_line(FILE *out, const Widths &widths, const char *id, const char *code, uint64_t ranges,
                uint128 addresses) {
  fprintf(out, "%5s  %-*s  %*" PRIu64 "  %*s\n", id, widths.code, code, widths.ranges, ranges,
          widths.addresses, Decimal(addresses).text);
}

void print_table(ip_ranges *table, const Counts &counts, FILE *out) {
  Count total;
  for (const Count &count : counts) {
    total.ranges += count.ranges;
    total.addresses += count.addresses;
  }
  const Widths widths = column_widths(table, counts, total);
  fprintf(out, "%5s  %-*s  %*s  %*s\n", "id", widths.code, "code", widths.ranges, "ranges",
          widths.addresses, "addresses");
  for (int id = 0; id < 256; ++id) {
    if (counts[id].addresses == 0) continue;
    char id_text[4];
    snprintf(id_text, sizeof id_text, "%d", id);
    print_line(out, widths, id_text, code_or_dash(table, id), counts[id].ranges,
               counts[id].addresses);
  }
  print_line(out, widths, "total", "", total.ranges, total.addresses);
}

}  // namespace

int print_summary(const Request &request, ip_ranges *table, FILE *out, FILE *err) {
  Walked walked{};
  if (!load_walked_tables(request, table, &walked, err)) return velmor_tools::exit_failure;
  if (walked.ipv4) print_table(table, count_runs<TableRuns, Run>(*table), out);
  if (walked.ipv4 && walked.ipv6) fputc('\n', out);
  if (walked.ipv6) print_table(table, count_runs<TableRuns6, Run6>(*table), out);
  return finish_output(out, err) ? velmor_tools::exit_ok : velmor_tools::exit_failure;
}

}  // namespace iplookup
