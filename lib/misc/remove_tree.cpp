// Removing a directory tree. The walk works on descriptors of the
// directories it has opened (openat, unlinkat) and opens every directory
// with O_NOFOLLOW, so a symbolic link is removed as a link and never leads
// the walk out of the tree, even when an entry is swapped for a link while
// the walk runs.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "misc.h"
#include "misc/internal/paths.h"

namespace {

DIR *open_dir_nofollow(int parent_fd, const char *name) {
  int fd = openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DIR *dir = fdopendir(fd);
  if (!dir) {
    int saved = errno;
    close(fd);
    errno = saved;
  }
  return dir;
}

bool remove_entry(int dir_fd, const char *dir_path, const char *name);

// Removes every entry of the open directory; false when any of them stays.
bool empty_dir(DIR *dir, const char *path) {
  bool ok = true;
  while (const struct dirent *entry = readdir(dir)) {
    if (velmor::is_dot_entry(entry->d_name)) continue;
    if (!remove_entry(dirfd(dir), path, entry->d_name)) ok = false;
  }
  return ok;
}

// Removes the subtree at name inside the directory dir_fd; path is the
// directory's own path, used in messages.
bool remove_subtree(int parent_fd, const char *path, const char *name) {
  DIR *dir = open_dir_nofollow(parent_fd, name);
  if (!dir) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot opendir %s", path);
    return false;
  }
  bool ok = empty_dir(dir, path);
  closedir(dir);
  if (unlinkat(parent_fd, name, AT_REMOVEDIR) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot rmdir %s", path);
    return false;
  }
  return ok;
}

bool remove_entry(int dir_fd, const char *dir_path, const char *name) {
  velmor::PathText child_path;
  if (!velmor::build_path(child_path, {"cannot stat "}, {dir_path, "/", name})) return false;
  const char *child = child_path.c_str();
  struct stat st;
  if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot stat %s", child);
    return false;
  }
  if (S_ISDIR(st.st_mode)) return remove_subtree(dir_fd, child, name);
  if (unlinkat(dir_fd, name, 0) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot unlink %s", child);
    return false;
  }
  return true;
}

}  // namespace

extern "C" bool remove_tree(const char *path) {
  velmor::PathText top;
  if (!velmor::build_path(top, {"cannot opendir "}, {velmor::without_trailing_slashes(path)}))
    return false;
  return remove_subtree(AT_FDCWD, top.c_str(), top.c_str());
}
