/* The header names the exported CMake target adds besides <velmor/...>. */
#include <string.h>

#include "ip_ranges.h"
#include "misc.h"
#include "str.h"

int main(void) { return strcmp(str_ip_format(str_ip_parse("192.0.2.1")), "192.0.2.1") != 0; }
