// Creating and emptying directories.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "misc.h"
#include "misc/internal/paths.h"

namespace {

bool exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool is_directory(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// make_path's whole path exists: done when it is a directory (or a link to
// one), a failure when something else stands there.
bool existing_is_directory(const char *path) {
  if (is_directory(path)) return true;
  errno = ENOTDIR;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot make directory %s", path);
  return false;
}

// Creates one directory of make_path's walk; another process creating it
// meanwhile counts as success.
bool make_one_dir(const char *prefix) {
  log_msg(LOG_MESSAGE, "creating directory %s", prefix);
  if (mkdir(prefix, 0777) == 0) return true;
  if (errno == EEXIST && is_directory(prefix)) return true;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot make directory %s", prefix);
  return false;
}

}  // namespace

extern "C" bool make_path(const char *path) {
  std::string_view whole(path);
  if (!whole.empty() && whole.back() == '/') whole.remove_suffix(1);
  velmor::PathText work_path;
  if (!velmor::build_path(work_path, {"cannot make directory "}, {whole})) return false;
  const char *work = work_path.c_str();
  size_t length = whole.size();
  if (exists(work)) return existing_is_directory(work);

  // Walk the pieces between slashes; prefix holds the path up to the end of
  // the current piece, so each directory is examined before its children.
  char prefix[velmor::path_max + 1];
  size_t end = 0;
  while (end <= length) {
    const char *slash = strchr(work + end, '/');
    size_t piece_end = slash ? static_cast<size_t>(slash - work) : length;
    memcpy(prefix, work, piece_end);
    prefix[piece_end] = '\0';
    if (piece_end > 0 && !exists(prefix) && !make_one_dir(prefix)) return false;
    end = piece_end + 1;
  }
  return true;
}

// Works through a descriptor of the directory rather than changing into it,
// so the working directory (and with it the logger's relative paths) stays
// put while failures are reported. A directory that cannot be entered is
// reported as "cannot chdir to %s", the message operators know for it. A
// symbolic link as the path is refused (O_NOFOLLOW, after trailing slashes
// are gone): emptying the directory it points at is never meant.
extern "C" bool clear_dir(const char *given) {
  velmor::PathText dir_path;
  if (!velmor::build_path(dir_path, {"cannot chdir to "},
                          {velmor::without_trailing_slashes(given)}))
    return false;
  const char *path = dir_path.c_str();
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot chdir to %s", path);
    return false;
  }
  DIR *dir = fdopendir(fd);
  if (!dir) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot opendir %s", path);
    close(fd);
    return false;
  }
  // "." and ".." are skipped by name: not every file system lists them first.
  while (const struct dirent *entry = readdir(dir)) {
    if (velmor::is_dot_entry(entry->d_name)) continue;
    if (unlinkat(fd, entry->d_name, 0) != 0)
      log_msg(LOG_ERROR | LOG_ERRNO, "cannot unlink %s/%s", path, entry->d_name);
  }
  closedir(dir);
  if (rmdir(path) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot rmdir %s", path);
    return false;
  }
  return true;
}
