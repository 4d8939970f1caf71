// tamsel: IPv4 range list on standard input, boundary table on standard
// output. Arguments are ignored.
#include <cstdio>

#include "program.h"
#include "tamsel.h"

int main() {
  if (!velmor_tools::prepare_process()) return 1;
  return tamsel_run(VELMOR_ROOT, stdin, stdout);
}
