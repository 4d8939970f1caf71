// Start-up steps every program takes.
#include "program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "misc.h"
#include "misc/internal/logged_error.h"

namespace velmor_tools {

namespace {

// Opens /dev/null on every closed standard descriptor. open() takes the
// lowest free number, which is fd itself once the ones below it are open.
bool fill_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (open("/dev/null", O_RDONLY) != fd) return false;
  }
  return true;
}

}  // namespace

bool prepare_process() {
  signal(SIGXFSZ, SIG_IGN);
  return fill_standard_descriptors();
}

bool enter_root(const char *root, FILE *err) {
  velmor::forget_logged_error();  // a run reports its own errors only
  if (chdir(root) == 0) return true;
  fprintf(err, "%s: cannot chdir to %s: %s\n", process_info.name, root, strerror(errno));
  return false;
}

bool make_root_dir(const char *dir) {
  if (mkdir(dir, 0755) == 0) {
    // Exactly 0755, whatever the umask: readers under other accounts need
    // the tables. The name was just made, and O_NOFOLLOW keeps a link
    // swapped in since from being changed instead.
    const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      fchmod(fd, 0755);
      close(fd);
    }
    return true;
  }
  struct stat st;
  if (errno == EEXIST && stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  if (errno == EEXIST) errno = ENOTDIR;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot create %s", dir);
  return false;
}

}  // namespace velmor_tools
