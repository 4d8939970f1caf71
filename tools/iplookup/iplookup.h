// iplookup: prints the id, code and title that a boundary table under the
// installation root gives each IPv4 or IPv6 address, exports the ranges of
// ids as CIDR blocks or as ipset and nft scripts that fill firewall sets,
// and summarises the tables, for checking tables by hand.
#pragma once

#include <cstdio>

// Works in root (it changes the working directory there) on the table
// "countries". The addresses are the count arguments in args ("-" reads
// the lines of in there) or, when count is 0, the lines of in (blank lines
// skipped). Writes "address id code title" per address to out, an absent
// code or title as "-", and complaints to err. Gives the exit status: 0, or
// 1 when root cannot be entered, an operand or line is not an address, or
// a table an address needed could not be loaded (its ids are then 0).
int iplookup_run(const char *root, int count, char **args, FILE *in, FILE *out, FILE *err);

// The program: parses argv (getopt_long; see iplookup --help), takes the
// root from -r, $VELMOR_ROOT or built_in_root, and runs. Gives the exit
// status: 0, 1 (a bad address, a table or names file that cannot be used,
// an unknown export code, more blocks than an ipset set holds, a failed
// write) or 2 (a usage error).
int iplookup_main(int argc, char **argv, const char *built_in_root, FILE *in, FILE *out, FILE *err);
