// Start-up steps every program takes.
#include "program.h"

#include <fcntl.h>
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

}  // namespace velmor_tools
