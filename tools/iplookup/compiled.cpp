// --compile and --verify: the compiled table conf/<table>.ipt written from
// the text tables, and checked whole.
#include "command_line.h"
#include "ip_ranges/internal/compiled_table.h"
#include "misc/internal/logged_error.h"
#include "request.h"
#include "table_lock.h"

namespace iplookup {

// Under the table's write lock, as every run that writes its files: a run of
// orvik never replaces the text tables while they are being compiled.
int compile_tables(const Request &request, FILE *err) {
  velmor::forget_logged_error();
  velmor_tools::TableLock lock;
  if (lock.acquire(request.table, velmor_tools::default_lock_wait_seconds) &&
      velmor::compile_table(request.table)) {
    if (request.verbose)
      fprintf(err, "iplookup: compiled %s/conf/%s.ipt\n", request.root, request.table);
    return velmor_tools::exit_ok;
  }
  fprintf(err, "iplookup: %s\n", velmor::last_logged_error());
  return velmor_tools::exit_failure;
}

int verify_compiled_table(const Request &request, FILE *err) {
  velmor::PathText path;
  velmor::CompiledProblem problem;
  if (!velmor::compiled_path(request.table, path)) return velmor_tools::exit_failure;
  if (!velmor::verify_compiled(path.c_str(), &problem)) {
    fprintf(err, "iplookup: %s/%s: %s\n", request.root, path.c_str(), problem.text);
    return velmor_tools::exit_failure;
  }
  if (request.verbose) fprintf(err, "iplookup: %s/%s: no fault\n", request.root, path.c_str());
  return velmor_tools::exit_ok;
}

}  // namespace iplookup
