// orvik's command line: the common options, its own, the operands.
#include <getopt.h>

#include <cstring>

#include "misc.h"
#include "orvik.h"
#include "program.h"
#include "str/internal/number_scan.h"

namespace orvik {

namespace {

using velmor_tools::exit_ok;

// Options without a short form.
enum LongOnly { kMinRanges = 256, kCloseGaps, kUpdateNames, kFormat, kWait, kLocations, kSort };

const option kOptions[] = {
    VELMOR_COMMON_LONG_OPTIONS,
    {"check", no_argument, nullptr, 'n'},
    {"min-ranges", required_argument, nullptr, kMinRanges},
    {"close-gaps", no_argument, nullptr, kCloseGaps},
    {"update-names", no_argument, nullptr, kUpdateNames},
    {"format", required_argument, nullptr, kFormat},
    {"wait", required_argument, nullptr, kWait},
    {"locations", required_argument, nullptr, kLocations},
    {"sort", no_argument, nullptr, kSort},
    {nullptr, 0, nullptr, 0},
};

constexpr const char *kShortOptions = VELMOR_COMMON_SHORT_OPTIONS "n";

constexpr const char *kHelp =
    "Convert a country range list (the FILEs in order, \"-\" or none:\n"
    "standard input) into the boundary table conf/countries.ips under the\n"
    "installation root, with the ids of the names file conf/countries; IPv6\n"
    "ranges go to conf/countries6.ips, and only the tables of the families\n"
    "that brought ranges are replaced. The list must be sorted unless --sort\n"
    "is given.\n"
    "\n"
    "  -n, --check         convert and print the summary on standard output;\n"
    "                      write nothing (status 1 when no range is accepted)\n"
    "      --min-ranges N  keep the old table when fewer than N lines are\n"
    "                      accepted as ranges (default 0); with both\n"
    "                      families, for each table replaced\n"
    "      --close-gaps    give the addresses between two ranges id 0\n"
    "                      (default: the id of the range before them)\n"
    "      --update-names  first give every code of the input that\n"
    "                      conf/countries lacks the lowest free id\n"
    "      --format FORM   six-field (default): \"first\",\"last\",\"first as a\n"
    "                      number\",\"last as a number\",\"code\",\"name\";\n"
    "                      range-code: first,last,code with text or numeric\n"
    "                      addresses, comma or tab separated, IPv4 and IPv6\n"
    "                      mixed, a header line first passed over;\n"
    "                      geolite2: GeoLite2 Country CSV blocks files (IPv4\n"
    "                      and IPv6) as the FILEs, with --locations;\n"
    "                      ip2location: IP2Location LITE DB1 CSV;\n"
    "                      registry: the registries' delegated statistics\n"
    "                      (always sorted)\n"
    "      --locations FILE\n"
    "                      the GeoLite2 Country locations file (with\n"
    "                      --format geolite2 only)\n"
    "      --sort          gather the ranges and sort them first; of ranges\n"
    "                      that overlap with different codes the first is\n"
    "                      kept (default: unsorted lines are skipped)\n"
    "      --wait SECONDS  wait at most SECONDS for another run writing the\n"
    "                      table to finish (default 600)\n"
    "  -r, --root DIR      installation root (default: $VELMOR_ROOT when set,\n"
    "                      else the build's root)\n"
    "  -v, --verbose       print a summary line on standard error on success\n"
    "  -h, --help          print this help and exit\n"
    "  -V, --version       print the version and exit\n"
    "\n"
    "Exit status: 0 success, 1 failure (the old table stays), 2 usage error.\n";

// A count as the whole of text: decimal digits only, within 64 bits.
bool read_count(const char *text, uint64_t *count) {
  const char *end = text + strlen(text);
  const auto number = velmor::scan_decimal<uint64_t>(text, end);
  if (!velmor::is_decimal_digit(*text) || number.overflow || number.end != end) return false;
  *count = number.value;
  return true;
}

// An input form by its name.
bool read_format(const char *text, InputFormat *format) {
  static constexpr struct {
    const char *name;
    InputFormat format;
  } kForms[] = {
      {"six-field", InputFormat::six_field}, {"range-code", InputFormat::range_code},
      {"geolite2", InputFormat::geolite2},   {"ip2location", InputFormat::ip2location},
      {"registry", InputFormat::registry},
  };
  for (const auto &form : kForms) {
    if (strcmp(text, form.name) != 0) continue;
    *format = form.format;
    return true;
  }
  return false;
}

// Takes one of orvik's own options; gives exit_ok or the usage error's status.
int take_own_option(const velmor_tools::Program &program, int option, CommandLine *line) {
  RunOptions *run = &line->run;
  switch (option) {
    case 'n':
      run->check = true;
      return exit_ok;
    case kMinRanges:
      if (read_count(optarg, &run->min_ranges)) return exit_ok;
      return velmor_tools::usage_error(
          program, (std::string("option '--min-ranges' needs a whole number, not '") + optarg + "'")
                       .c_str());
    case kCloseGaps:
      run->close_gaps = true;
      return exit_ok;
    case kUpdateNames:
      run->update_names = true;
      return exit_ok;
    case kWait: {
      uint64_t seconds = 0;
      if (read_count(optarg, &seconds) && seconds <= UINT32_MAX) {
        run->lock_wait = static_cast<unsigned>(seconds);
        return exit_ok;
      }
      return velmor_tools::usage_error(
          program,
          (std::string("option '--wait' needs a number of seconds, not '") + optarg + "'").c_str());
    }
    case kFormat:
      if (read_format(optarg, &run->format)) return exit_ok;
      return velmor_tools::usage_error(
          program,
          (std::string("option '--format' takes six-field, range-code, geolite2, ip2location or "
                       "registry, not '") +
           optarg + "'")
              .c_str());
    case kLocations:
      line->locations = optarg;
      return exit_ok;
    case kSort:
      run->sort = true;
      return exit_ok;
    default:
      return velmor_tools::usage_error(program, "unexpected option");
  }
}

}  // namespace

velmor_tools::Program program_description(const char *built_in_root) {
  return {"orvik", "[OPTION]... [FILE]...", kHelp, built_in_root};
}

int parse_command_line(const velmor_tools::Program &program, int argc, char **argv,
                       CommandLine *line) {
  optind = 0;  // a full restart of getopt's scan, for a second parse in one process
  for (int option; (option = getopt_long(argc, argv, kShortOptions, kOptions, nullptr)) != -1;) {
    int status = exit_ok;
    if (!velmor_tools::take_common_option(program, option, argc, argv, &line->common, &status))
      status = take_own_option(program, option, line);
    if (status != exit_ok) return status;
  }
  const bool geolite2 = line->run.format == InputFormat::geolite2;
  if (geolite2 && line->locations == nullptr)
    return velmor_tools::usage_error(program, "--format geolite2 needs --locations FILE");
  if (!geolite2 && line->locations != nullptr)
    return velmor_tools::usage_error(program, "option '--locations' needs --format geolite2");
  line->run.verbose = line->common.verbose;
  line->first_operand = optind;
  return exit_ok;
}

}  // namespace orvik

int orvik_main(const char *built_in_root, int argc, char **argv) {
  using namespace velmor_tools;
  process_info.name = "orvik";
  const Program program = orvik::program_description(built_in_root);
  orvik::CommandLine line;
  if (const int status = orvik::parse_command_line(program, argc, argv, &line); status != exit_ok)
    return status;
  if (answer_help_or_version(program, line.common, stdout)) return exit_ok;
  const char *root = run_root(program, line.common);
  // Operands are named relative to the directory the program started in.
  InputFiles inputs(argc - line.first_operand, argv + line.first_operand, stdin);
  char *locations_name[] = {const_cast<char *>(line.locations)};
  InputFiles locations(line.locations != nullptr ? 1 : 0, locations_name, stdin);
  line.run.locations_file = &locations;
  if (!enter_root(root)) return exit_failure;  // its line is on standard error
  orvik::use_large_buffer(stdin);
  return finish_run(program, orvik::run(line.run, inputs));
}
