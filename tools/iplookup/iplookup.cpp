// iplookup's entry points: the command line, and the plain run on the
// "countries" table that tests and older callers use.
#include "iplookup.h"

#include "request.h"

int iplookup_run(const char *root, int count, char **args, FILE *in, FILE *out, FILE *err) {
  iplookup::Request request;
  request.root = root;
  request.count = count;
  request.operands = args;
  return iplookup::run_request(request, in, out, err);
}

int iplookup_main(int argc, char **argv, const char *built_in_root, FILE *in, FILE *out,
                  FILE *err) {
  iplookup::Request request;
  int status = 0;
  if (!iplookup::parse_command_line(argc, argv, built_in_root, &request, out, &status))
    return status;
  return iplookup::run_request(request, in, out, err);
}
