// Moving a file into place, by rename within one file system and by copy
// and unlink across file systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "misc.h"

namespace {

constexpr size_t kCopyBlock = 0x20000;  // 128 KiB per read

// Writes all of data; a short write goes on with the rest, so that a failure
// is reported with the error that caused it.
bool write_all(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Copies the rest of in to out; reports the first failure.
bool copy_blocks(int in, int out, char *buffer, const char *source, const char *destination) {
  for (;;) {
    ssize_t got = read(in, buffer, kCopyBlock);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) return true;
    if (got < 0) {
      log_msg(LOG_ERROR | LOG_ERRNO, "cannot read from %s", source);
      return false;
    }
    if (!write_all(out, buffer, static_cast<size_t>(got))) {
      log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to %s", destination);
      return false;
    }
  }
}

int copy_then_unlink(const char *source, const char *destination) {
  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return -1;
  int out = open(destination, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    close(in);
    return -1;
  }
  char *buffer = static_cast<char *>(mem_alloc(kCopyBlock, __FILE__, __LINE__));
  bool copied = buffer && copy_blocks(in, out, buffer, source, destination);
  mem_free(buffer);
  close(in);
  // A failed close can mean that written data never reached the disk; the
  // source must then stay.
  if (close(out) != 0 && copied) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to %s", destination);
    copied = false;
  }
  if (!copied) return -1;
  if (unlink(source) != 0) {
    // Both files exist now; say so, since the caller sees only -1.
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot unlink %s", source);
    return -1;
  }
  return 0;
}

}  // namespace

extern "C" int move_file(const char *source, const char *destination) {
  if (rename(source, destination) == 0) return 0;
  if (errno != EXDEV) return -1;
  return copy_then_unlink(source, destination);
}
