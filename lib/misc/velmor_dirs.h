// Internal: where the daemon services keep their files. The installation
// root is fixed at build time (VELMOR_ROOT, "/usr/local" by default); pid
// files live in "<root>/velmor/pids" and hit counters in "<root>/velmor/logs".
#pragma once

namespace velmor {

// The installation root that daemon_start changes into.
const char *install_root();

// "<root>/velmor/pids" and "<root>/velmor/logs".
const char *pid_dir();
const char *counter_dir();

// Points the three paths above at another root, so that tests never touch the
// real installation; a null root restores the build-time one. The root must
// be shorter than 200 bytes.
void set_root_for_tests(const char *root);

}  // namespace velmor
