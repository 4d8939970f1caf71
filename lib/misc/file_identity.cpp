// File identities (device, inode, size, modification time to the
// nanosecond), each from one stat.
#include "misc/internal/file_identity.h"

#include <sys/stat.h>

#include "misc.h"

namespace velmor {

namespace {

FileIdentity from_stat(const struct stat &st) {
  FileIdentity identity;
  identity.present = true;
  identity.device = static_cast<uint64_t>(st.st_dev);
  identity.inode = static_cast<uint64_t>(st.st_ino);
  identity.size = static_cast<int64_t>(st.st_size);
  identity.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return identity;
}

}  // namespace

FileIdentity file_identity(const char *path, bool report) {
  struct stat st;
  if (stat(path, &st) != 0) {
    if (report) log_msg(LOG_ERROR | LOG_ERRNO, "cannot stat '%s'", path);
    return {};
  }
  return from_stat(st);
}

FileIdentity fd_identity(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return {};
  return from_stat(st);
}

bool same_identity(const FileIdentity &a, const FileIdentity &b) {
  if (!a.present || !b.present) return a.present == b.present;
  return a.device == b.device && a.inode == b.inode && a.size == b.size && a.mtime_ns == b.mtime_ns;
}

}  // namespace velmor
