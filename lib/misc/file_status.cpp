// Size, modification time and existence of a named file, each from one stat,
// and the size of an open file.
#include <sys/stat.h>

#include "misc.h"

int64_t file_size(const char *path) {
  struct stat st;
  if (stat(path, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t file_mtime(const char *path) {
  struct stat st;
  if (stat(path, &st) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot stat '%s'", path);
    return 0;
  }
  return static_cast<int64_t>(st.st_mtime);
}

int file_exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 ? 1 : 0;
}

int64_t fd_size(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}
