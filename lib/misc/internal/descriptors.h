// Internal: keeping the library's own descriptors off 0, 1 and 2.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velmor {

// Moves fd above the standard descriptors (close-on-exec). A process started
// with 0 to 2 closed gets its first files on those numbers: its output
// would then go into a log file, or a daemon's redirection to /dev/null
// would close its pid file and drop the lock. -1 (errno kept) when the move
// fails; fd is closed then.
inline int above_standard_descriptors(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  int error = errno;
  close(fd);
  errno = error;
  return moved;
}

}  // namespace velmor
