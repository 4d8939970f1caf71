// Start-up steps every program takes.
#include "program.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "misc.h"

namespace velmor_tools {

bool enter_root(const char *root, FILE *err) {
  if (chdir(root) == 0) return true;
  fprintf(err, "%s: cannot chdir to %s: %s\n", process_info.name, root, strerror(errno));
  return false;
}

}  // namespace velmor_tools
