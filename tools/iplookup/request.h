// iplookup inside: what a command line asks for, and the steps that carry
// it out (each in its own source file).
#pragma once

#include <cstdio>
#include <string>

#include "ip_ranges.h"
#include "ip_ranges/internal/record.h"

namespace iplookup {

enum class Mode {
  plain,    // "address id code title" per address
  json,     // one JSON object per address
  exports,  // --export CODE[,CODE...]: the codes' addresses as blocks or a set script
  summary,  // --summary: ranges and addresses per id
};

// The address families a run answers for: both, or the one -4 or -6 names.
enum class Families { both, ipv4, ipv6 };

// What --export prints (--format).
enum class Format {
  cidr,   // the CIDR blocks, one per line
  ipset,  // input for ipset restore that replaces the sets
  nft,    // input for nft -f that replaces the sets
};

struct Request {
  const char *root = nullptr;       // the installation root, entered first
  const char *table = "countries";  // conf/<table>.ips, conf/<table>6.ips, conf/<table>
  Mode mode = Mode::plain;
  const char *export_codes = nullptr;  // --export's value: codes separated by ','
  Families families = Families::both;  // -4, -6
  bool verbose = false;                // -v: say which tables were loaded
  int count = 0;                       // address operands ("-": standard input)
  char **operands = nullptr;

  // What --export prints, and the sets it fills.
  Format format = Format::cidr;           // --format
  std::string set_name;                   // --set, else derived from the codes
  const char *nft_table = "inet velmor";  // --nft-table: "FAMILY NAME"
};

// A code or title the names file does not give (the id is not listed, or
// the text is empty): printed as "-", in JSON as null.
inline bool name_missing(const char *text) { return text == nullptr || *text == '\0'; }
inline const char *name_or_dash(const char *text) { return name_missing(text) ? "-" : text; }

// options.cpp: parses the command line into *request. False when the run
// ends there: -h or -V answered on out (*status 0) or a usage error
// reported (*status 2).
bool parse_command_line(int argc, char **argv, const char *built_in_root, Request *request,
                        FILE *out, int *status);

// run.cpp: enters the root, opens the table and carries the request out;
// gives the exit status.
int run_request(const Request &request, FILE *in, FILE *out, FILE *err);

// answers.cpp: answers the operands (or the lines of in) in plain or JSON
// form; false when one of them is not an address.
bool answer_addresses(const Request &request, ip_ranges *table, FILE *in, FILE *out, FILE *err);

// export.cpp and summary.cpp: the table modes; give the exit status.
int export_blocks(const Request &request, ip_ranges *table, FILE *out, FILE *err);
int print_summary(const Request &request, ip_ranges *table, FILE *out, FILE *err);

// table_access.cpp: the lines on err that name a family's table file.
void report_no_table(const Request &request, velmor::Family family, FILE *err);
void report_loaded(const Request &request, const ip_ranges *table, velmor::Family family,
                   FILE *err);

// The tables a mode that walks them (--export, --summary) goes through.
struct Walked {
  bool ipv4;
  bool ipv6;
};

// table_access.cpp: chooses the tables to walk and loads them whole,
// checking that their starts ascend (their runs are only defined then).
// Reports on err and gives false when one of them cannot be used.
bool load_walked_tables(const Request &request, ip_ranges *table, Walked *walked, FILE *err);

// run.cpp: flushes out; a failed write is reported on err (a cut-off
// export must not pass for a whole one).
bool finish_output(FILE *out, FILE *err);

}  // namespace iplookup
