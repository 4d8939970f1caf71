// tamsel: IPv4 range list on standard input, boundary table on standard
// output. Arguments are ignored.
#include <cstdio>

#include "tamsel.h"

int main() { return tamsel_run(VELMOR_ROOT, stdin, stdout); }
