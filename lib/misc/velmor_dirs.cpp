#include "velmor_dirs.h"

#include "str.h"

#ifndef VELMOR_ROOT
#define VELMOR_ROOT "/usr/local"
#endif

namespace velmor {
namespace {

struct Dirs {
  char root[256] = VELMOR_ROOT;
  char pids[256] = VELMOR_ROOT "/velmor/pids";
  char logs[256] = VELMOR_ROOT "/velmor/logs";
};

Dirs dirs;

}  // namespace

const char *install_root() { return dirs.root; }
const char *pid_dir() { return dirs.pids; }
const char *counter_dir() { return dirs.logs; }

void set_root_for_tests(const char *root) {
  if (!root) root = VELMOR_ROOT;
  str_concat(dirs.root, sizeof dirs.root, root, nullptr);
  str_concat(dirs.pids, sizeof dirs.pids, root, "/velmor/pids", nullptr);
  str_concat(dirs.logs, sizeof dirs.logs, root, "/velmor/logs", nullptr);
}

}  // namespace velmor
