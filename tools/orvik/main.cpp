// orvik < countries.csv: writes conf/countries.ips under the installation root.
#include <cstdio>

#include "orvik.h"
#include "program.h"

int main() {
  if (!velmor_tools::prepare_process()) return 1;
  return orvik_run(VELMOR_ROOT, stdin);
}
