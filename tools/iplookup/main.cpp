// iplookup: the ids of IPv4 addresses in the installed "countries" table.
#include <cstdio>

#include "iplookup.h"
#include "program.h"

int main(int argc, char **argv) {
  if (!velmor_tools::prepare_process()) return 1;
  return iplookup_run(VELMOR_ROOT, argc - 1, argv + 1, stdin, stdout, stderr);
}
