// Descriptors the library keeps open are close-on-exec, so a program that a
// daemon starts inherits none of them (and no lock with them).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "misc.h"
#include "misc/internal/install_root.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

// Descriptors above 2 that an exec would pass on, as " <fd>" each (the
// listing's own descriptor left out).
std::string inheritable_descriptors() {
  std::string found;
  DIR *dir = opendir("/proc/self/fd");
  if (!dir) return " (no /proc/self/fd)";
  while (const struct dirent *entry = readdir(dir)) {
    int fd = atoi(entry->d_name);
    if (fd <= 2 || fd == dirfd(dir)) continue;
    if (!(fcntl(fd, F_GETFD) & FD_CLOEXEC)) found += " " + std::to_string(fd);
  }
  closedir(dir);
  return found;
}

// Calls every function of the library that opens a file, and keeps what
// they keep open: the pid file (with its lock), the counter file, the logs.
void use_the_file_functions() {
  for (int i = 0; i < 1000; ++i) hit_count("prog", false);
  mem_free(file_read_all("conf/names", nullptr));
  write_file("moved", "x");
  move_file("moved", "moved-again");
  make_path("made/inside");
  clear_dir("made/inside");
  remove_tree("made");
  log_msg(LOG_ERROR, "%s", "every file function was used");
}

TEST(Descriptors, EveryDescriptorTheLibraryKeepsOpenIsCloseOnExec) {
  TempRoot root;
  ScopedCwd cwd(root.path());
  for (const char *dir : {"velmor", "velmor/pids", "velmor/logs"}) mkdir(dir, 0755);
  write_file("conf/names", "x");
  write_file("velmor/logs/prog-count", "0\n");  // an existing counter file took another open
  velmor::set_install_root(root.path().c_str());
  std::string report = root / "report";

  // The child keeps nothing open but what the library opens; the detached
  // instance then writes what an exec would inherit.
  int rc = services_support::run_in_child([&] {
    closefrom(3);
    if (!daemon_start("test-daemon", true, true)) return 1;
    use_the_file_functions();
    std::string found = inheritable_descriptors();
    write_file(report + ".part", "checked:" + found);
    rename((report + ".part").c_str(), report.c_str());
    _exit(0);
  });
  velmor::set_install_root(nullptr);
  ASSERT_EQ(rc, 0);
  services_support::wait_until([&] { return testing_support::path_exists(report); });
  EXPECT_EQ(read_file(report), "checked:");
}

}  // namespace
