// --summary: per id that holds an address, its code, its number of ranges
// (runs) and of addresses; then the totals. The columns are aligned, the
// ids in ascending order.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>

#include "command_line.h"
#include "ip_ranges.h"
#include "request.h"
#include "table_runs.h"

namespace iplookup {

namespace {

struct Count {
  uint64_t ranges = 0;
  uint64_t addresses = 0;
};

using Counts = std::array<Count, 256>;

Counts count_runs(const ip_ranges &table) {
  Counts counts{};
  TableRuns runs(table);
  Run run;
  while (runs.next(&run)) {
    counts[run.id].ranges++;
    counts[run.id].addresses += uint64_t{run.last} - run.first + 1;
  }
  return counts;
}

int digits(uint64_t number) { return number < 10 ? 1 : 1 + digits(number / 10); }

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
                uint64_t addresses) {
  fprintf(out, "%5s  %-*s  %*" PRIu64 "  %*" PRIu64 "\n", id, widths.code, code, widths.ranges,
          ranges, widths.addresses, addresses);
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
  if (!load_walkable_table(request, table, err)) return velmor_tools::exit_failure;
  print_table(table, count_runs(*table), out);
  return finish_output(out, err) ? velmor_tools::exit_ok : velmor_tools::exit_failure;
}

}  // namespace iplookup
