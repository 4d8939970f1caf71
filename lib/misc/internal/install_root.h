// Internal: the installation root and the fixed directories under it. The
// root is the one the program set for its run; else the environment
// variable VELMOR_ROOT when it is set and not empty; else the build's
// default ("/usr/local" unless configured otherwise). Pid files live in
// "<root>/velmor/pids" and hit counters in "<root>/velmor/logs".
#pragma once

namespace velmor {

// The installation root that daemon_start changes into.
const char *install_root();

// "<root>/velmor/pids" and "<root>/velmor/logs".
const char *pid_dir();
const char *counter_dir();

// Makes root the installation root for the rest of the process; a null root
// restores the default (VELMOR_ROOT from the environment, else the
// build's). False (with errno ENAMETOOLONG, reported) when the directories
// under it would be too long for a path; the root is then left as it was.
bool set_install_root(const char *root);

}  // namespace velmor
