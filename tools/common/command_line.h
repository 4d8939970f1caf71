// The command line every program shares: GNU-style options through
// getopt_long, the common options -h/--help, -V/--version, -r/--root DIR and
// -v/--verbose, usage errors with status 2, and the installation root rule.
#pragma once

#include <getopt.h>

#include <cstdio>

namespace velmor_tools {

// Exit statuses of every program.
constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// The common options, to be listed in each program's own getopt_long table
// (common_long_options entries first, then the program's), with
// common_short_options at the start of its short option string. The string
// starts with ':' so that a missing value is told apart from an unknown
// option.
#define VELMOR_COMMON_SHORT_OPTIONS ":hVr:v"
#define VELMOR_COMMON_LONG_OPTIONS                                             \
  {"help", no_argument, nullptr, 'h'}, {"version", no_argument, nullptr, 'V'}, \
      {"root", required_argument, nullptr, 'r'}, {                             \
    "verbose", no_argument, nullptr, 'v'                                       \
  }

// What a program's command line says.
struct Program {
  const char *name;           // "tamsel"
  const char *synopsis;       // "[OPTION]... [FILE]..."
  const char *help;           // the --help text after the synopsis line
  const char *built_in_root;  // the build's default root
};

struct CommonOptions {
  const char *root = nullptr;  // -r DIR
  bool verbose = false;        // -v
  bool help = false;           // -h
  bool version = false;        // -V
};

// Handles one option getopt_long returned: a common option is stored in
// *common and gives true; ':' and '?' print a usage error and give true
// with *status set to exit_usage. Anything else gives false: the program's
// own option.
bool take_common_option(const Program &program, int option, int argc, char **argv,
                        CommonOptions *common, int *status);

// Prints "<name>: <complaint>" and the short usage line on standard error;
// gives exit_usage.
int usage_error(const Program &program, const char *complaint);

// For -h and -V after parsing: prints the help text or "NAME VERSION" on
// out and gives true (the program then exits with exit_ok).
bool answer_help_or_version(const Program &program, const CommonOptions &common, FILE *out);

// The installation root of the run: -r DIR, else $VELMOR_ROOT when set and
// not empty, else the build's default. The library's fixed directories
// (pid files, counters) are pointed at the same root.
const char *run_root(const Program &program, const CommonOptions &common);

// Ends a run: for exit_failure prints one line on err, "<name>: <the latest
// error the run logged>" (or where to look when it logged none), so a failed
// run is never silent on the terminal. Gives status.
int finish_run(const Program &program, int status, FILE *err = stderr);

}  // namespace velmor_tools
