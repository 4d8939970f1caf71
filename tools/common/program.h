// What the programs share at start-up.
#pragma once

#include <cstdio>

namespace velmor_tools {

// Changes the working directory to the installation root, where every
// relative path of the run (conf/, logs/) lies. On failure prints one line
// on err ("<program>: cannot chdir to <root>: <reason>") and
// gives false: the program then ends with status 1 rather than read another
// names file or log elsewhere. The failure is not logged, since the log
// directory is under the root that could not be entered.
bool enter_root(const char *root, FILE *err = stderr);

}  // namespace velmor_tools
