// What the programs share at start-up.
#pragma once

#include <cstdio>

namespace velmor_tools {

// Makes the process safe to run before it opens anything:
// - descriptors 0, 1 and 2 are open: each that is closed gets /dev/null,
//   opened read-only, so that reading gives end of input and writing fails
//   (a program started with ">&-" reports that it cannot write instead of
//   writing its output into the first file it opens, such as a log file);
// - SIGXFSZ is ignored, so a write over the file-size limit fails with
//   EFBIG and takes the program's documented failure path (the logger's
//   fall-back to descriptor 2, the removal of a temporary file) instead of
//   killing the process.
// Gives false when a descriptor cannot be made valid (nothing else can be
// trusted then).
bool prepare_process();

// Changes the working directory to the installation root, where every
// relative path of the run (conf/, logs/) lies. On failure prints one line
// on err ("<program>: cannot chdir to <root>: <reason>") and gives false:
// the program then ends with status 1 rather than read another names file
// or log elsewhere. The failure is not logged, since the log directory is
// under the root that could not be entered.
bool enter_root(const char *root, FILE *err = stderr);

// Creates the directory dir (relative to the root, e.g. "conf" or "logs")
// with mode 0755 when it is missing, so that a run in a new root just
// works. An existing name is left as it is: mkdir never follows a link at
// the last component, so nothing is created through a planted one. True
// when dir is there afterwards (as a directory or a link to one); false
// after a logged failure.
bool make_root_dir(const char *dir);

}  // namespace velmor_tools
