// iplookup: the ids of addresses in the tables under the installation root.
#include <cstdio>

#include "iplookup.h"
#include "program.h"

int main(int argc, char **argv) {
  if (!velmor_tools::prepare_process()) return 1;
  return iplookup_main(argc, argv, VELMOR_ROOT, stdin, stdout, stderr);
}
