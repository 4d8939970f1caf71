// A run: into the root, the table opened, the mode carried out, the output
// flushed.
#include <cerrno>
#include <cstring>

#include "command_line.h"
#include "ip_ranges.h"
#include "misc.h"
#include "program.h"
#include "request.h"

namespace iplookup {

namespace {

int run_mode(const Request &request, ip_ranges *table, FILE *in, FILE *out, FILE *err) {
  switch (request.mode) {
    case Mode::exports:
      return export_blocks(request, table, out, err);
    case Mode::summary:
      return print_summary(request, table, out, err);
    case Mode::compile:
    case Mode::verify:  // run before a record is made
    case Mode::plain:
    case Mode::json:
      break;
  }
  return answer_addresses(request, table, in, out, err) ? velmor_tools::exit_ok
                                                        : velmor_tools::exit_failure;
}

}  // namespace

int run_request(const Request &request, FILE *in, FILE *out, FILE *err) {
  process_info.name = "iplookup";
  if (!velmor_tools::enter_root(request.root, err)) return velmor_tools::exit_failure;
  if (request.mode == Mode::compile) return compile_tables(request, err);
  if (request.mode == Mode::verify) return verify_compiled_table(request, err);
  // The compiled table when it may be used, else the text tables as before.
  ip_ranges *table = ip_ranges_new_mapped(request.table);
  if (!table) return velmor_tools::exit_failure;
  const int status = run_mode(request, table, in, out, err);
  ip_ranges_free(table);
  return status;
}

bool finish_output(FILE *out, FILE *err) {
  if (fflush(out) == 0 && !ferror(out)) return true;
  fprintf(err, "iplookup: cannot write the output: %s\n", strerror(errno));
  return false;
}

}  // namespace iplookup
