// tamsel: IPv4 range lists (the operands, or standard input) to a boundary
// table or CIDR blocks on standard output; see tamsel(1).
#include <cstdio>

#include "program.h"
#include "tamsel.h"

int main(int argc, char **argv) {
  if (!velmor_tools::prepare_process()) return 1;
  return tamsel_main(argc, argv, VELMOR_ROOT);
}
