// orvik [OPTION]... [FILE]...: writes conf/countries.ips under the
// installation root from a country range list.
#include "orvik.h"
#include "program.h"

int main(int argc, char **argv) {
  if (!velmor_tools::prepare_process()) return 1;
  return orvik_main(VELMOR_ROOT, argc, argv);
}
