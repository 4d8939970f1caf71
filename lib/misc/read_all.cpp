// Reads a whole regular file into a new, terminated buffer. The caller gets
// every byte of the file or nothing: a read that fails or ends early frees
// the buffer instead of handing back bytes that were never read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "misc.h"

namespace {

// O_NONBLOCK lets the open of a FIFO return at once instead of waiting for
// a writer; the descriptor's type is checked next, and regular files ignore
// the flag. A file that cannot be examined at all (missing) is not
// reported: callers treat it as absent.
int open_without_waiting(const char *path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) return fd;
  int error = errno;
  struct stat st;
  if (stat(path, &st) == 0) {
    errno = error;
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path);
  }
  errno = error;
  return -1;
}

// Size of the open file; -1 (reported) unless it is a regular file under
// 2 GiB, the most a 32-bit size holds.
int32_t readable_size(int fd, const char *path) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot read %s", path);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    log_msg(LOG_ERROR, "cannot read %s: not a regular file", path);
    return -1;
  }
  if (st.st_size > INT32_MAX) {
    log_msg(LOG_ERROR, "cannot read %s: %lld bytes is 2 GiB or more", path,
            static_cast<long long>(st.st_size));
    return -1;
  }
  return static_cast<int32_t>(st.st_size);
}

// Fills buffer with size bytes, going on after partial and interrupted
// reads; false (reported) when a read fails or the file ends first (it was
// cut while being read).
bool read_exactly(int fd, const char *path, char *buffer, int32_t size) {
  int32_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, buffer + done, static_cast<size_t>(size - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      log_msg(LOG_ERROR | LOG_ERRNO, "cannot read %s", path);
      return false;
    }
    if (got == 0) {
      log_msg(LOG_ERROR, "short read %s (%d < %d)", path, static_cast<int>(done),
              static_cast<int>(size));
      return false;
    }
    done += static_cast<int32_t>(got);
  }
  return true;
}

// The whole file in a new buffer with a terminator; null (reported) on any
// failure.
char *read_open_file(int fd, const char *path, int32_t *size_out) {
  int32_t size = readable_size(fd, path);
  if (size < 0) return nullptr;
  auto *buffer = static_cast<char *>(mem_alloc(static_cast<size_t>(size) + 1, __FILE__, __LINE__));
  if (!buffer) return nullptr;
  if (!read_exactly(fd, path, buffer, size)) {
    mem_free(buffer);
    return nullptr;
  }
  buffer[size] = '\0';
  *size_out = size;
  return buffer;
}

}  // namespace

extern "C" char *file_read_all(const char *path, int32_t *size_out) {
  int fd = open_without_waiting(path);
  if (fd < 0) return nullptr;
  int32_t size = 0;
  char *buffer = read_open_file(fd, path, &size);
  if (close(fd) != 0) log_msg(LOG_ERROR | LOG_ERRNO, "cannot close %s", path);
  if (buffer && size_out) *size_out = size;
  return buffer;
}
