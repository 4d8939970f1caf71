// Options, usage errors, help and version texts, the root rule, and the line
// a failed run leaves on standard error.
#include "command_line.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "misc.h"
#include "misc/internal/install_root.h"
#include "misc/internal/logged_error.h"

#ifndef VELMOR_VERSION
#define VELMOR_VERSION "unknown"
#endif

namespace velmor_tools {

int usage_error(const Program &program, const char *complaint) {
  fprintf(stderr, "%s: %s\nUsage: %s %s (see %s --help)\n", program.name, complaint, program.name,
          program.synopsis, program.name);
  return exit_usage;
}

bool take_common_option(const Program &program, int option, int argc, char **argv,
                        CommonOptions *common, int *status) {
  char complaint[256];
  switch (option) {
    case 'h':
      common->help = true;
      return true;
    case 'V':
      common->version = true;
      return true;
    case 'r':
      common->root = optarg;
      return true;
    case 'v':
      common->verbose = true;
      return true;
    case ':':
      snprintf(complaint, sizeof complaint, "option '%s' needs a value", argv[optind - 1]);
      *status = usage_error(program, complaint);
      return true;
    case '?': {
      // optopt names a short option; for a long one the word itself does.
      // A known long option given a value it does not take ("--help=x")
      // also sets optopt, to the option's value, which need not be a
      // character at all.
      const char *word = optind > 0 && optind <= argc ? argv[optind - 1] : "?";
      if (optopt != 0 && strncmp(word, "--", 2) == 0)
        snprintf(complaint, sizeof complaint, "option '%.*s' takes no value",
                 static_cast<int>(strcspn(word, "=")), word);
      else if (optopt != 0)
        snprintf(complaint, sizeof complaint, "unknown option '-%c'", optopt);
      else
        snprintf(complaint, sizeof complaint, "unknown option '%s'", word);
      *status = usage_error(program, complaint);
      return true;
    }
    default:
      return false;
  }
}

bool answer_help_or_version(const Program &program, const CommonOptions &common, FILE *out) {
  if (common.help) {
    fprintf(out, "Usage: %s %s\n%s", program.name, program.synopsis, program.help);
    return true;
  }
  if (common.version) {
    fprintf(out, "%s %s\n", program.name, VELMOR_VERSION);
    return true;
  }
  return false;
}

const char *run_root(const Program &program, const CommonOptions &common) {
  const char *root = common.root;
  if (root == nullptr) {
    const char *env = getenv("VELMOR_ROOT");
    root = env != nullptr && *env != '\0' ? env : program.built_in_root;
  }
  // The run changes into the root: a relative one is taken from the
  // directory the program was started in, for the library's directories too.
  static char absolute[4096];
  char cwd[4096];
  if (root[0] != '/' && getcwd(cwd, sizeof cwd) != nullptr &&
      snprintf(absolute, sizeof absolute, "%s/%s", cwd, root) < static_cast<int>(sizeof absolute))
    root = absolute;
  velmor::set_install_root(root);
  return root;
}

int finish_run(const Program &program, int status, FILE *err) {
  if (status != exit_failure) return status;
  const char *cause = velmor::last_logged_error();
  if (*cause != '\0') {
    fprintf(err, "%s: %s\n", program.name, cause);
  } else {
    fprintf(err, "%s: failed; see logs/current/ under the installation root\n", program.name);
  }
  return status;
}

}  // namespace velmor_tools
