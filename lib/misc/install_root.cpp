// The installation root and the directories of the daemon services under it.
#include "misc/internal/install_root.h"

#include <unistd.h>

#include <cstdlib>

#include "misc/internal/paths.h"

#ifndef VELMOR_ROOT
#define VELMOR_ROOT "/usr/local"
#endif

namespace velmor {
namespace {

struct Dirs {
  PathText root;
  PathText pids;
  PathText logs;
};

// The three paths of root; false (reported) when one is too long. A
// relative root is taken from the working directory of the moment, so that
// the paths stay right after daemon_start has changed into the root.
bool dirs_of(const char *root, Dirs *dirs) {
  const PathReport report{"cannot use installation root "};
  char cwd[path_max + 1];
  const char *base = "";
  const char *separator = "";
  if (root[0] != '/' && getcwd(cwd, sizeof cwd) != nullptr) {
    base = cwd;
    separator = "/";
  }
  return build_path(dirs->root, report, {base, separator, root}) &&
         build_path(dirs->pids, report, {base, separator, root, "/velmor/pids"}) &&
         build_path(dirs->logs, report, {base, separator, root, "/velmor/logs"});
}

// The default root: $VELMOR_ROOT when set and not empty (and not too long),
// else the one the build chose.
Dirs default_dirs() {
  Dirs dirs;
  const char *env = getenv("VELMOR_ROOT");
  if (env == nullptr || *env == '\0' || !dirs_of(env, &dirs)) dirs_of(VELMOR_ROOT, &dirs);
  return dirs;
}

Dirs &current() {
  static Dirs dirs = default_dirs();
  return dirs;
}

}  // namespace

const char *install_root() { return current().root.c_str(); }
const char *pid_dir() { return current().pids.c_str(); }
const char *counter_dir() { return current().logs.c_str(); }

bool set_install_root(const char *root) {
  if (root == nullptr) {
    current() = default_dirs();
    return true;
  }
  Dirs dirs;
  if (!dirs_of(root, &dirs)) return false;
  current() = dirs;
  return true;
}

}  // namespace velmor
