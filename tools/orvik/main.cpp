// orvik < countries.csv: writes conf/countries.ips under the installation root.
#include <cstdio>

#include "orvik.h"

int main() { return orvik_run(VELMOR_ROOT, stdin); }
