// iplookup's command line: the common options, -t/--table, --json, --export
// (with --format, --set and --nft-table), --summary, -4/-6, and the address
// operands.
#include <getopt.h>

#include <cstdio>

#include "command_line.h"
#include "request.h"
#include "set_script.h"
#include "str.h"

namespace iplookup {

namespace {

using velmor_tools::Program;

constexpr const char *kSynopsis = "[OPTION]... [ADDRESS|-]...";

constexpr const char *kHelp =
    "Prints the id, code and title that a boundary table gives each IPv4 or IPv6\n"
    "address: the operands (\"-\" reads standard input there), else the lines of\n"
    "standard input.\n"
    "\n"
    "  -t, --table NAME   query conf/NAME.ips (IPv4) and conf/NAME6.ips (IPv6) with\n"
    "                     the names in conf/NAME (default: countries)\n"
    "      --json         print one JSON object per address\n"
    "      --export CODE[,CODE...]\n"
    "                     print the ranges of the codes' ids as CIDR blocks, one per\n"
    "                     line, the IPv4 blocks first\n"
    "      --format cidr|ipset|nft\n"
    "                     what --export prints: the blocks (default), input for\n"
    "                     'ipset restore' or for 'nft -f' that replaces the sets\n"
    "      --set NAME     the sets: NAME (IPv4) and NAME6 (IPv6); default\n"
    "                     velmor-CODE[-CODE...]\n"
    "      --nft-table 'FAMILY NAME'\n"
    "                     the table of the nft sets (default: inet velmor)\n"
    "      --summary      print the ranges and addresses of each id, and the totals,\n"
    "                     per table\n"
    "  -4, --ipv4         IPv4 only: addresses, export and summary\n"
    "  -6, --ipv6         IPv6 only: addresses, export and summary\n"
    "  -r, --root DIR     installation root (default: $VELMOR_ROOT, else the built-in one)\n"
    "  -v, --verbose      say on standard error which tables were loaded\n"
    "  -h, --help         print this help and exit\n"
    "  -V, --version      print the version and exit\n"
    "\n"
    "Exit status: 0 when every address was answered, 1 on a bad address or a table\n"
    "that cannot be used, 2 on a usage error.\n";

// Options without a short form take codes above every character.
enum LongOnlyOption { kJson = 256, kExport, kSummary, kFormat, kSet, kNftTable };

const option kOptions[] = {
    VELMOR_COMMON_LONG_OPTIONS,
    {"table", required_argument, nullptr, 't'},
    {"json", no_argument, nullptr, kJson},
    {"export", required_argument, nullptr, kExport},
    {"summary", no_argument, nullptr, kSummary},
    {"format", required_argument, nullptr, kFormat},
    {"set", required_argument, nullptr, kSet},
    {"nft-table", required_argument, nullptr, kNftTable},
    {"ipv4", no_argument, nullptr, '4'},
    {"ipv6", no_argument, nullptr, '6'},
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

// Sets the one family of -4 or -6; naming both is a usage error.
void choose_family(const Program &program, Families families, Request *request, int *status) {
  if (request->families != Families::both && request->families != families) {
    *status = velmor_tools::usage_error(program, "-4 and -6 exclude each other");
    return;
  }
  request->families = families;
}

// One of iplookup's own options (take_common_option has passed it on).
void take_own_option(const Program &program, int option, Request *request, SetOptions *set_options,
                     int *status) {
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
      request->export_codes = optarg;
      choose_mode(program, Mode::exports, request, status);
      return;
    case kSummary:
      choose_mode(program, Mode::summary, request, status);
      return;
    case kFormat:
      set_options->format = optarg;
      return;
    case kSet:
      set_options->set = optarg;
      return;
    case kNftTable:
      set_options->nft_table = optarg;
      return;
    case '4':
      choose_family(program, Families::ipv4, request, status);
      return;
    case '6':
      choose_family(program, Families::ipv6, request, status);
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
  SetOptions set_options;
  *status = velmor_tools::exit_ok;
  optind = 0;  // a fresh scan, also when a process parses twice
  while (*status == velmor_tools::exit_ok) {
    const int option =
        getopt_long(argc, argv, VELMOR_COMMON_SHORT_OPTIONS "t:46", kOptions, nullptr);
    if (option == -1) break;
    if (!velmor_tools::take_common_option(program, option, argc, argv, &common, status))
      take_own_option(program, option, request, &set_options, status);
  }
  if (*status != velmor_tools::exit_ok) return false;
  if (velmor_tools::answer_help_or_version(program, common, out)) return false;
  request->count = argc - optind;
  request->operands = argv + optind;
  if (!operands_fit_mode(program, *request, status)) return false;
  if (!check_export_options(program, set_options, request, status)) return false;
  request->verbose = common.verbose;
  request->root = velmor_tools::run_root(program, common);
  return true;
}

}  // namespace iplookup
