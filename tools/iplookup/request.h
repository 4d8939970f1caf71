// iplookup inside: what a command line asks for, and the steps that carry
// it out (each in its own source file).
#pragma once

#include <cstdio>

#include "ip_ranges.h"

namespace iplookup {

enum class Mode {
  plain,    // "address id code title" per address
  json,     // one JSON object per address
  exports,  // --export CODE: CIDR blocks of CODE's id
  summary,  // --summary: ranges and addresses per id
};

struct Request {
  const char *root = nullptr;       // the installation root, entered first
  const char *table = "countries";  // conf/<table>.ips and conf/<table>
  Mode mode = Mode::plain;
  const char *export_code = nullptr;  // --export's value
  bool verbose = false;               // -v: say which table was loaded
  int count = 0;                      // address operands ("-": standard input)
  char **operands = nullptr;
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

// table_access.cpp: the lines on err that name the table's files.
void report_no_table(const Request &request, FILE *err);
void report_loaded(const Request &request, const ip_ranges *table, FILE *err);

// table_access.cpp: loads the whole table for a mode that walks it and
// checks that its starts ascend (its runs are only defined then). Reports
// on err and gives false when it cannot be used.
bool load_walkable_table(const Request &request, ip_ranges *table, FILE *err);

// run.cpp: flushes out; a failed write is reported on err (a cut-off
// export must not pass for a whole one).
bool finish_output(FILE *out, FILE *err);

}  // namespace iplookup
