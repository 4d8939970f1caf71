// Reads a whole file into a new, terminated buffer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "misc.h"

extern "C" char *file_read_all(const char *path, int32_t *size_out) {
  struct stat st;
  if (stat(path, &st) != 0 || st.st_size < 0) return nullptr;
  if (st.st_size > INT32_MAX) {
    log_msg(LOG_ERROR, "cannot read %s: %lld bytes is 2 GiB or more", path,
            static_cast<long long>(st.st_size));
    return nullptr;
  }
  auto size = static_cast<int32_t>(st.st_size);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path);
    return nullptr;
  }
  auto *buffer = static_cast<char *>(mem_alloc(static_cast<size_t>(size) + 1, __FILE__, __LINE__));
  if (!buffer) {
    close(fd);
    return nullptr;
  }
  buffer[size] = '\0';
  ssize_t got = read(fd, buffer, static_cast<size_t>(size));
  if (got < size)
    log_msg(LOG_ERROR, "short read %s (%d < %d)", path, static_cast<int>(got),
            static_cast<int>(size));
  if (close(fd) != 0) log_msg(LOG_ERROR | LOG_ERRNO, "cannot close %s", path);
  if (size_out) *size_out = size;
  return buffer;
}
