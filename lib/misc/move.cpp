// Moving a file into place: by rename within one file system; across file
// systems by a copy into a new file beside the destination, synced and
// renamed over it only once complete, and then the unlink of the source.
// The destination is never opened itself, so a failed copy leaves it as it
// was and a symbolic link there is replaced, never written through.
//
// Source and destination can name one file: the same entry spelt otherwise
// or reached through a bind mount, or two hard links. rename() then does
// nothing and a copy would destroy the data, so the data stays where it is.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "misc.h"
#include "misc/internal/paths.h"
#include "misc/internal/temp_file.h"

namespace {

constexpr size_t kCopyBlock = 0x20000;  // 128 KiB per read

bool same_inode(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Examines the directory of path; false when it cannot. A directory too
// long to build is not reported: the move does not fail for it, the caller
// only assumes the worst and leaves both names alone.
bool stat_dir_of(std::string_view path, struct stat *st) {
  std::string_view dir = velmor::split_last(path).dir;
  if (dir.size() > velmor::path_max) return false;
  velmor::PathText dir_path;
  velmor::build_path(dir_path, {"cannot stat "}, {dir});  // fits, so never refused
  return stat(dir_path.c_str(), st) == 0;
}

// True when a and b are one directory entry: the same name in the same
// directory, however the directory is reached. When that cannot be told, it
// counts as true, which makes the caller keep both.
bool same_entry(const char *a, const char *b) {
  std::string_view path_a = velmor::without_trailing_slashes(a);
  std::string_view path_b = velmor::without_trailing_slashes(b);
  if (velmor::split_last(path_a).name != velmor::split_last(path_b).name) return false;
  struct stat dir_a, dir_b;
  if (!stat_dir_of(path_a, &dir_a) || !stat_dir_of(path_b, &dir_b)) return true;
  return same_inode(dir_a, dir_b);
}

// Source and destination are one file (st). One directory entry: the move
// is already done. Two names of the file (hard links): the source name goes,
// as a rename would have taken it, and the data stays under the
// destination. A file with one name is always one entry, whatever the
// spelling (on a case-insensitive file system too).
int settle_same_file(const char *source, const char *destination, const struct stat &st) {
  if (st.st_nlink < 2 || same_entry(source, destination)) return 0;
  if (unlink(source) == 0) return 0;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot unlink %s", source);
  return -1;
}

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

// Copies in to out, syncs out and closes it. A failed sync or close means
// the data may not have reached the disk; both count as write failures.
bool copy_and_close(int in, int out, const char *source, const char *destination) {
  char *buffer = static_cast<char *>(mem_alloc(kCopyBlock, __FILE__, __LINE__));
  bool copied = buffer && copy_blocks(in, out, buffer, source, destination);
  mem_free(buffer);
  if (copied && fsync(out) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to %s", destination);
    copied = false;
  }
  if (close(out) != 0 && copied) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to %s", destination);
    copied = false;
  }
  return copied;
}

// Syncs the directory of path, so that a name just renamed into it is on
// the disk before the source, on another file system, goes.
bool sync_dir_of(const char *path) {
  velmor::PathText dir;
  if (!velmor::build_path(dir, {"cannot sync "}, {velmor::split_last(path).dir})) return false;
  if (velmor::sync_dir(dir.c_str())) return true;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot sync %s", dir.c_str());
  return false;
}

// Removes a temporary file that was not renamed into place, keeping errno
// for the caller.
void discard(const velmor::TempFile &temp) {
  int error = errno;
  if (unlink(temp.path.c_str()) != 0)
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot unlink %s", temp.path.c_str());
  errno = error;
}

int copy_then_unlink(const char *source, const char *destination) {
  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return -1;
  velmor::TempFile temp;
  if (!velmor::create_temp_beside(destination, temp)) {
    int error = errno;
    close(in);
    errno = error;
    return -1;
  }
  bool copied = copy_and_close(in, temp.fd, source, destination);
  close(in);
  if (!copied || rename(temp.path.c_str(), destination) != 0) {
    discard(temp);
    return -1;
  }
  if (!sync_dir_of(destination)) return -1;  // both files exist; the source stays
  if (unlink(source) != 0) {
    // Both files exist now; say so, since the caller sees only -1.
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot unlink %s", source);
    return -1;
  }
  return 0;
}

int move_across(const char *source, const char *destination) {
  struct stat src, dst;
  if (lstat(source, &src) == 0 && lstat(destination, &dst) == 0 && same_inode(src, dst))
    return settle_same_file(source, destination, src);
  return copy_then_unlink(source, destination);
}

// rename() returned 0: it does so, doing nothing, when source and
// destination are already one file; the source then still exists.
int after_rename(const char *source, const char *destination) {
  struct stat src, dst;
  if (lstat(source, &src) != 0 || lstat(destination, &dst) != 0 || !same_inode(src, dst)) return 0;
  return settle_same_file(source, destination, src);
}

}  // namespace

extern "C" int move_file(const char *source, const char *destination) {
  if (rename(source, destination) == 0) return after_rename(source, destination);
  if (errno != EXDEV) return -1;
  return move_across(source, destination);
}
