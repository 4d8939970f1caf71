// iplookup's command line: the common options, -t/--table, --json, --export
// and --summary, and the address operands.
#include <getopt.h>

#include <cstdio>

#include "command_line.h"
#include "request.h"
#include "str.h"

namespace iplookup {

namespace {

using velmor_tools::Program;

constexpr const char *kSynopsis = "[OPTION]... [ADDRESS|-]...";

constexpr const char *kHelp =
    "Prints the id, code and title that a boundary table gives each IPv4 address:\n"
    "the operands (\"-\" reads standard input there), else the lines of standard input.\n"
    "\n"
    "  -t, --table NAME   query conf/NAME.ips with the names in conf/NAME\n"
    "                     (default: countries)\n"
    "      --json         print one JSON object per address\n"
    "      --export CODE  print the ranges of CODE's id as CIDR blocks, one per line\n"
    "      --summary      print the ranges and addresses of each id, and the totals\n"
    "  -r, --root DIR     installation root (default: $VELMOR_ROOT, else the built-in one)\n"
    "  -v, --verbose      say on standard error which table was loaded\n"
    "  -h, --help         print this help and exit\n"
    "  -V, --version      print the version and exit\n"
    "\n"
    "Exit status: 0 when every address was answered, 1 on a bad address or a table\n"
    "that cannot be used, 2 on a usage error.\n";

// Options without a short form take codes above every character.
enum LongOnlyOption { kJson = 256, kExport, kSummary };

const option kOptions[] = {
    VELMOR_COMMON_LONG_OPTIONS,
    {"table", required_argument, nullptr, 't'},
    {"json", no_argument, nullptr, kJson},
    {"export", required_argument, nullptr, kExport},
    {"summary", no_argument, nullptr, kSummary},
    {nullptr, 0, nullptr, 0},
};

// The name becomes a file name under conf/: letters, digits, '-', '.' and
// '_' only, so that no name leads out of that directory.
bool is_table_name(const char *name) { return *name != '\0' && str_is_filename(name) != 0; }

// Sets the mode; asking for two different ones is a usage error.
bool choose_mode(const Program &program, Mode mode, Request *request, int *status) {
  if (request->mode != Mode::plain && request->mode != mode) {
    *status =
        velmor_tools::usage_error(program, "--json, --export and --summary exclude each other");
    return false;
  }
  request->mode = mode;
  return true;
}

// One of iplookup's own options (take_common_option has passed it on).
void take_own_option(const Program &program, int option, Request *request, int *status) {
  char complaint[256];
  switch (option) {
    case 't':
      if (!is_table_name(optarg)) {
        snprintf(complaint, sizeof complaint,
                 "table name '%s' is not made of letters, digits, '-', '.' and '_'", optarg);
        *status = velmor_tools::usage_error(program, complaint);
        return;
      }
      request->table = optarg;
      return;
    case kJson:
      choose_mode(program, Mode::json, request, status);
      return;
    case kExport:
      if (*optarg == '\0') {
        *status = velmor_tools::usage_error(program, "--export needs a code");
        return;
      }
      request->export_code = optarg;
      choose_mode(program, Mode::exports, request, status);
      return;
    case kSummary:
      choose_mode(program, Mode::summary, request, status);
      return;
    default:  // getopt_long gives nothing else with this table
      *status = velmor_tools::usage_error(program, "unexpected option");
      return;
  }
}

// The table modes answer for the whole table, not for addresses.
bool operands_fit_mode(const Program &program, const Request &request, int *status) {
  if (request.count == 0 || request.mode == Mode::plain || request.mode == Mode::json) return true;
  char complaint[256];
  snprintf(complaint, sizeof complaint, "%s takes no addresses (got '%s')",
           request.mode == Mode::exports ? "--export" : "--summary", request.operands[0]);
  *status = velmor_tools::usage_error(program, complaint);
  return false;
}

}  // namespace

bool parse_command_line(int argc, char **argv, const char *built_in_root, Request *request,
                        FILE *out, int *status) {
  const Program program{"iplookup", kSynopsis, kHelp, built_in_root};
  velmor_tools::CommonOptions common;
  *status = velmor_tools::exit_ok;
  optind = 0;  // a fresh scan, also when a process parses twice
  while (*status == velmor_tools::exit_ok) {
    const int option = getopt_long(argc, argv, VELMOR_COMMON_SHORT_OPTIONS "t:", kOptions, nullptr);
    if (option == -1) break;
    if (!velmor_tools::take_common_option(program, option, argc, argv, &common, status))
      take_own_option(program, option, request, status);
  }
  if (*status != velmor_tools::exit_ok) return false;
  if (velmor_tools::answer_help_or_version(program, common, out)) return false;
  request->count = argc - optind;
  request->operands = argv + optind;
  if (!operands_fit_mode(program, *request, status)) return false;
  request->verbose = common.verbose;
  request->root = velmor_tools::run_root(program, common);
  return true;
}

}  // namespace iplookup
