// Loading the tables for the modes that walk them, and the lines on
// standard error that name the tables' files.
#include <string>

#include "ip_ranges.h"
#include "ip_ranges/internal/mapped_record.h"
#include "misc.h"
#include "request.h"
#include "str.h"
#include "table_runs.h"

namespace iplookup {

namespace {

using velmor::Family;

const char *family_name(Family family) { return family == Family::ipv4 ? "IPv4" : "IPv6"; }

// "<root>/conf/<name>.ips" or "<root>/conf/<name>6.ips".
std::string shown_path(const Request &request, Family family) {
  return std::string(request.root) + "/conf/" + request.table + velmor::table_file_suffix(family);
}

bool table_file_exists(const Request &request, Family family) {
  const std::string path = std::string("conf/") + request.table + velmor::table_file_suffix(family);
  return file_exists(path.c_str()) != 0;
}

void report_descending(const Request &request, Family family, int32_t entry, const char *start,
                       FILE *err) {
  fprintf(err, "iplookup: %s: entry %d starts at %s, below the one before it\n",
          shown_path(request, family).c_str(), entry + 1, start);
}

bool load_ipv4(const Request &request, ip_ranges *table, FILE *err) {
  if (!ip_ranges_load(table)) {
    report_no_table(request, Family::ipv4, err);
    return false;
  }
  const int32_t descending = first_descending_entry(Ipv4Entries(*table));
  if (descending >= 0) {
    report_descending(request, Family::ipv4, descending, str_ip_format(table->starts[descending]),
                      err);
    return false;
  }
  if (request.verbose) report_loaded(request, table, Family::ipv4, err);
  return true;
}

bool load_ipv6(const Request &request, ip_ranges *table, FILE *err) {
  if (!ip_ranges_load6(table)) {
    report_no_table(request, Family::ipv6, err);
    return false;
  }
  const int32_t descending = first_descending_entry(Ipv6Entries(*table));
  if (descending >= 0) {
    uint8_t start[16], id;
    ip_ranges_entry6(table, descending, start, &id);
    report_descending(request, Family::ipv6, descending, str_ip6_format(start), err);
    return false;
  }
  if (request.verbose) report_loaded(request, table, Family::ipv6, err);
  return true;
}

// -4 or -6 names the one table. Without them each table whose file exists
// is walked: an installation without IPv6 tables works as before, while a
// table that is there but cannot be used still fails the run rather than
// leave a firewall set silently without its addresses. When neither file
// exists the IPv4 table is the one reported missing.
Walked choose_tables(const Request &request, FILE *err) {
  if (request.families != Families::both) {
    return {request.families == Families::ipv4, request.families == Families::ipv6};
  }
  Walked walked{table_file_exists(request, Family::ipv4), table_file_exists(request, Family::ipv6)};
  if (!walked.ipv4 && !walked.ipv6) walked.ipv4 = true;
  if (request.verbose) {
    for (const Family family : {Family::ipv4, Family::ipv6}) {
      if (family == Family::ipv4 ? walked.ipv4 : walked.ipv6) continue;
      fprintf(err, "iplookup: no %s table %s: skipped\n", family_name(family),
              shown_path(request, family).c_str());
    }
  }
  return walked;
}

}  // namespace

void report_no_table(const Request &request, Family family, FILE *err) {
  fprintf(err, "iplookup: no table loaded from %s (see %s/logs/current/)\n",
          shown_path(request, family).c_str(), request.root);
}

void report_loaded(const Request &request, const ip_ranges *table, Family family, FILE *err) {
  const int32_t entries = family == Family::ipv4 ? table->count : ip_ranges_count6(table);
  if (velmor::answers_from_compiled(table)) {
    fprintf(err, "iplookup: loaded %s/conf/%s.ipt: %d %s entries\n", request.root, request.table,
            entries, family_name(family));
    return;
  }
  fprintf(err, "iplookup: loaded %s: %d entries\n", shown_path(request, family).c_str(), entries);
}

bool load_walked_tables(const Request &request, ip_ranges *table, Walked *walked, FILE *err) {
  *walked = choose_tables(request, err);
  if (walked->ipv4 && !load_ipv4(request, table, err)) return false;
  return !walked->ipv6 || load_ipv6(request, table, err);
}

}  // namespace iplookup
