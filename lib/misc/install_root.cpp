// The installation root and the directories of the daemon services under it.
#include "misc/internal/install_root.h"

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

// The three paths of root; false (reported) when one is too long.
bool dirs_of(const char *root, Dirs *dirs) {
  const PathReport report{"cannot use installation root "};
  return build_path(dirs->root, report, {root}) &&
         build_path(dirs->pids, report, {root, "/velmor/pids"}) &&
         build_path(dirs->logs, report, {root, "/velmor/logs"});
}

Dirs &current() {
  static Dirs dirs = [] {
    Dirs d;
    dirs_of(VELMOR_ROOT, &d);
    return d;
  }();
  return dirs;
}

}  // namespace

const char *install_root() { return current().root.c_str(); }
const char *pid_dir() { return current().pids.c_str(); }
const char *counter_dir() { return current().logs.c_str(); }

bool set_install_root(const char *root) {
  Dirs dirs;
  if (!dirs_of(root ? root : VELMOR_ROOT, &dirs)) return false;
  current() = dirs;
  return true;
}

}  // namespace velmor
