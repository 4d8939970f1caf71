// Loading the table for the modes that walk it, and the lines on standard
// error that name the table's files.
#include "ip_ranges.h"
#include "request.h"
#include "str.h"
#include "table_runs.h"

namespace iplookup {

void report_no_table(const Request &request, FILE *err) {
  fprintf(err, "iplookup: no table loaded from %s/conf/%s.ips (see %s/logs/current/)\n",
          request.root, request.table, request.root);
}

void report_loaded(const Request &request, const ip_ranges *table, FILE *err) {
  fprintf(err, "iplookup: loaded %s/conf/%s.ips: %d entries\n", request.root, request.table,
          table->count);
}

bool load_walkable_table(const Request &request, ip_ranges *table, FILE *err) {
  if (!ip_ranges_load(table)) {
    report_no_table(request, err);
    return false;
  }
  const int32_t descending = first_descending_entry(*table);
  if (descending >= 0) {
    fprintf(err, "iplookup: %s/conf/%s.ips: entry %d starts at %s, below the one before it\n",
            request.root, request.table, descending + 1, str_ip_format(table->starts[descending]));
    return false;
  }
  if (request.verbose) report_loaded(request, table, err);
  return true;
}

}  // namespace iplookup
