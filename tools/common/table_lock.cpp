// Taking a table's write lock: open the lock file where no planted name can
// redirect it, then flock it, waiting a bounded time for another run.
#include "table_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "misc.h"
#include "misc/internal/descriptors.h"

namespace velmor_tools {

namespace {

// O_NOFOLLOW: a link planted under the name is refused, never followed.
// O_NONBLOCK: a FIFO planted there is opened without waiting for a writer
// (and then refused as no regular file). The lock file holds no data.
constexpr int kOpenFlags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr long kPollNanoseconds = 20L * 1000 * 1000;

double seconds_since(const timespec &start) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec - start.tv_sec) +
         static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

// A descriptor of the regular file at path, or -1 after a logged failure.
int open_lock_file(const std::string &path) {
  int fd = velmor::above_standard_descriptors(open(path.c_str(), kOpenFlags, 0644));
  if (fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path.c_str());
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot stat '%s'", path.c_str());
  } else if (!S_ISREG(st.st_mode)) {
    log_msg(LOG_ERROR, "cannot lock %s: not a regular file", path.c_str());
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

}  // namespace

std::string TableLock::path(const char *table) { return std::string("conf/") + table + ".lock"; }

TableLock::~TableLock() {
  if (fd_ >= 0) close(fd_);  // closing the only descriptor drops the lock
}

bool TableLock::acquire(const char *table, unsigned wait_seconds) {
  const std::string lock_path = path(table);
  fd_ = open_lock_file(lock_path);
  if (fd_ < 0) return false;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  bool locked = false;
  if (errno == EWOULDBLOCK || errno == EINTR) {
    locked = wait_for(lock_path, wait_seconds);
  } else {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot lock %s", lock_path.c_str());
  }
  if (!locked) {
    close(fd_);
    fd_ = -1;
  }
  return locked;
}

// Polls rather than blocks: a blocking flock cannot be bounded without a
// signal handler, and the waits are rare and short (another run's length).
bool TableLock::wait_for(const std::string &lock_path, unsigned wait_seconds) {
  log_msg(LOG_MESSAGE, "waiting for %s: another run is writing the table", lock_path.c_str());
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    const double waited = seconds_since(start);
    if (waited >= wait_seconds) {
      log_msg(LOG_ERROR, "cannot lock %s: another run held it for %u seconds", lock_path.c_str(),
              wait_seconds);
      return false;
    }
    const timespec pause{0, kPollNanoseconds};
    nanosleep(&pause, nullptr);
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      log_msg(LOG_MESSAGE, "locked %s after waiting %.1f seconds", lock_path.c_str(),
              seconds_since(start));
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      log_msg(LOG_ERROR | LOG_ERRNO, "cannot lock %s", lock_path.c_str());
      return false;
    }
  }
}

}  // namespace velmor_tools
