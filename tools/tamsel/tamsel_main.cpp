// The command line of tamsel: its options on top of the common ones, the
// operands, and the summary line of -v.
#include <getopt.h>

#include <cstdio>

#include "command_line.h"
#include "misc.h"
#include "program.h"
#include "tamsel.h"

namespace {

using velmor_tools::CommonOptions;
using velmor_tools::Program;

constexpr int cidr_option = 256;  // --cidr has no short form

constexpr const char *help_format =
    "Merge the IPv4 ranges of the FILEs (standard input when there are none, and\n"
    "for \"-\") and print the boundary table of their union: every covered address\n"
    "carries the id of \"ru\" from ROOT/conf/countries, every gap 0.\n"
    "\n"
    "  -6, --ipv6       read IPv6 ranges (2001:db8::/32, 2001:db8::1-2001:db8::ff)\n"
    "                   and print the IPv6 table; IPv4 lines are passed over\n"
    "      --cidr       print the merged ranges as CIDR blocks (a.b.c.d/n, with -6\n"
    "                   2001:db8::/n), one per line, instead of the table\n"
    "  -s, --single     read a bare address (a.b.c.d, with -6 2001:db8::1) as a\n"
    "                   one-address range\n"
    "  -r, --root=DIR   installation root (default: $VELMOR_ROOT when set and not\n"
    "                   empty, else %s)\n"
    "  -v, --verbose    after a successful run, print a summary on standard error\n"
    "  -h, --help       print this help and exit\n"
    "  -V, --version    print the version and exit\n"
    "\n"
    "Exit status: 0 success, 1 failure (one line on standard error, details in\n"
    "ROOT/logs/current/error.log), 2 usage error. See tamsel(1).\n";

constexpr option long_options[] = {VELMOR_COMMON_LONG_OPTIONS,
                                   {"cidr", no_argument, nullptr, cidr_option},
                                   {"single", no_argument, nullptr, 's'},
                                   {"ipv6", no_argument, nullptr, '6'},
                                   {nullptr, 0, nullptr, 0}};

// Parses the options; -1 when the run goes on, else the exit status of a
// usage error (already reported).
int parse_options(const Program &program, int argc, char **argv, CommonOptions *common,
                  tamsel::Options *options) {
  int status = -1;
  int option;
  while (status < 0 && (option = getopt_long(argc, argv, VELMOR_COMMON_SHORT_OPTIONS "s6",
                                             long_options, nullptr)) != -1) {
    if (velmor_tools::take_common_option(program, option, argc, argv, common, &status)) continue;
    if (option == 's') options->single = true;
    if (option == '6') options->ipv6 = true;
    if (option == cidr_option) options->cidr = true;
  }
  return status;
}

// With -6 the summary also counts the IPv4 pieces passed over.
void print_summary(const tamsel::Options &options, const tamsel::Counts &counts) {
  const char *printed = options.cidr ? "CIDR blocks" : "entries";
  if (options.ipv6) {
    fprintf(stderr,
            "tamsel: lines read %zu, ranges accepted %zu, rejected %zu, IPv4 ignored %zu, "
            "%s printed %zu\n",
            counts.lines, counts.accepted, counts.rejected, counts.ignored, printed,
            counts.printed);
    return;
  }
  fprintf(stderr, "tamsel: lines read %zu, ranges accepted %zu, rejected %zu, %s printed %zu\n",
          counts.lines, counts.accepted, counts.rejected, printed, counts.printed);
}

}  // namespace

int tamsel_main(int argc, char **argv, const char *built_in_root) {
  process_info.name = "tamsel";
  char help[2048];
  snprintf(help, sizeof help, help_format, built_in_root);
  const Program program{"tamsel", "[OPTION]... [FILE]...", help, built_in_root};
  CommonOptions common;
  tamsel::Options options;
  int status = parse_options(program, argc, argv, &common, &options);
  if (status >= 0) return status;
  if (velmor_tools::answer_help_or_version(program, common, stdout)) return velmor_tools::exit_ok;
  const char *root = velmor_tools::run_root(program, common);
  // Operands are named from the start directory, so they are taken first.
  velmor_tools::InputFiles inputs(argc - optind, argv + optind, stdin);
  // enter_root has printed its own line: finish_run would add a second.
  if (!velmor_tools::enter_root(root)) return velmor_tools::exit_failure;
  tamsel::Counts counts;
  status = tamsel::convert(inputs, stdout, options, &counts);
  if (status == velmor_tools::exit_ok && common.verbose) print_summary(options, counts);
  return velmor_tools::finish_run(program, status);
}
