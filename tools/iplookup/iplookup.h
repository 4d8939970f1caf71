// iplookup: prints the id, code and title that the installation root's
// "countries" table gives each IPv4 address, for checking a table by hand.
#pragma once

#include <cstdio>

// Works in root (it changes the working directory there). The addresses are
// the count arguments in args or, when count is 0, the lines of in (blank
// lines skipped). Writes "address id code title" per address to out, an
// absent code or title as "-", and complaints to err. Gives the exit status:
// 0, or 1 when root cannot be entered, an address is not a dotted quad, or
// the table could not be loaded (every id is then 0).
int iplookup_run(const char *root, int count, char **args, FILE *in, FILE *out, FILE *err);
