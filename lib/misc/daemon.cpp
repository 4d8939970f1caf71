// Starting a daemon: one instance per name, guarded by an exclusive lock on
// its pid file, detached from the terminal and the parent's session.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "misc.h"
#include "misc/internal/descriptors.h"
#include "misc/internal/install_root.h"
#include "misc/internal/paths.h"
#include "str.h"

namespace {

// Replaces the pid file's contents with this process's id and logs the start.
void record_pid(int fd) {
  const char *pid = str_num(getpid());
  if (ftruncate(fd, 0) != 0 || pwrite(fd, pid, strlen(pid), 0) < 0) {
    // The pid file only informs the operator; the start goes on regardless.
  }
  log_msg(LOG_MESSAGE, "%s is starting to work", pid);
}

// Start without detaching: record the pid and let the file go.
bool start_attached(int fd, const char *path) {
  record_pid(fd);
  if (close(fd) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot close %s", path);
    return false;
  }
  return true;
}

// Reads the other instance's process id from the pid file.
void read_other_pid(int fd, const char *path, char *pid, size_t size) {
  ssize_t got = pread(fd, pid, size - 1, 0);
  if (got == 0) errno = ENODATA;  // an empty file: say so, not some old error
  if (got <= 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot read %s", path);
    got = 0;
  }
  pid[got] = '\0';
}

// Another instance holds the lock (or the lock cannot be taken): true when
// this one goes on beside it.
bool may_run_beside(int fd, const char *path, bool refuse) {
  if (errno != EWOULDBLOCK) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot lock %s", path);
    return false;
  }
  char other[32];
  read_other_pid(fd, path, other, sizeof other);
  if (refuse) {
    log_msg(LOG_ERROR, "another daemon is running [pid: %s]", other);
    return false;
  }
  log_msg(LOG_MESSAGE, "warning: another daemon is running [pid: %s]", other);
  return true;
}

// Puts /dev/null on the standard descriptors of the detached instance. They
// must outlive exec, unlike every other descriptor opened here: when the
// open itself lands on one of them (it was closed), dup2 onto itself would
// keep close-on-exec, so the flag is cleared instead.
void redirect_std_to_null() {
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", "/dev/null");
    return;
  }
  for (int fd = 0; fd <= 2; ++fd) {
    if (fd == null_fd)
      fcntl(fd, F_SETFD, 0);
    else
      dup2(null_fd, fd);
  }
  if (null_fd > 2) close(null_fd);
}

}  // namespace

extern "C" bool daemon_start(const char *name, bool detach, bool refuse) {
  const char *root = velmor::install_root();
  if (chdir(root) != 0) log_msg(LOG_ERROR | LOG_ERRNO, "cannot chdir to %s", root);

  velmor::PathText pid_path;
  if (!velmor::build_path(pid_path, {"cannot open "}, {velmor::pid_dir(), "/", name})) return false;
  const char *path = pid_path.c_str();
  // O_NOFOLLOW: the pid directory may be writable by others, and a link
  // planted there must not lead the truncation and write to another file.
  // O_CLOEXEC: a program the daemon starts must not carry the lock on.
  int fd = velmor::above_standard_descriptors(
      open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path);
    return false;
  }
  if (!detach) return start_attached(fd, path);

  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && !may_run_beside(fd, path, refuse)) {
    close(fd);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot fork");
    close(fd);
    return false;
  }
  if (child > 0) exit(0);

  setsid();
  redirect_std_to_null();
  record_pid(fd);  // fd stays open, and with it the lock, for the process's life
  return true;
}
