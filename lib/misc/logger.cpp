// The logger: one line per message (built by build_log_line, so a message
// can never make two), appended with a single write to the level's file
// inside "logs/<local date>", falling back to descriptor 2.
// Neither the day directory nor a level file is ever reached through a
// symbolic link: "logs" may be writable by other accounts, and the programs
// run as root.
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "misc.h"
#include "misc/internal/descriptors.h"
#include "misc/internal/log_line.h"
#include "misc/internal/logged_error.h"
#include "misc/internal/paths.h"
#include "str.h"

namespace {

constexpr size_t line_size = velmor::log_line_max;
constexpr int slot_count = 8;
constexpr int errno_report = LOG_ERROR | LOG_ERRNO;

char log_line[line_size];
// The message part of the latest LOG_ERROR line (logged_error.h).
char last_error[line_size];
// Descriptor of each level's file; -1 while not open, 2 after a fall-back.
int log_fds[slot_count] = {-1, -1, -1, -1, -1, -1, -1, -1};

void close_all() {
  for (int i = 0; i < slot_count; i++) {
    if (log_fds[i] >= 0 && log_fds[i] != 2) close(log_fds[i]);
    log_fds[i] = -1;
  }
}

// Points "logs/current" at the new day directory: a link under a temporary
// name, renamed over the old one so that readers never see it missing.
// symlink() never follows or replaces an existing name, so a name planted at
// the temporary one only makes this step fail; it is left to its owner.
void link_current(const char *date) {
  velmor::PathText temp_path;
  if (!velmor::build_path(temp_path, {"cannot link ", " -> logs/current"},
                          {"logs/current.", str_num(time_cache.now), str_num(getpid())}))
    return;
  const char *temp = temp_path.c_str();
  if (symlink(date, temp) != 0) {
    log_msg(errno_report, "cannot link %s -> %s", temp, date);
  } else if (rename(temp, "logs/current") != 0) {
    log_msg(errno_report, "cannot rename %s - %s", temp, "logs/current");
    unlink(temp);
  }
}

// Only a real directory is opened: a symbolic link standing at its name,
// even one to a directory, fails with ENOTDIR. O_PATH asks for no read
// permission, only what creating files inside it needs.
int open_real_dir(const char *dir) {
  return open(dir, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Opens the day directory, creating it when it is missing and pointing
// "logs/current" at a new one. -1 after a report.
int open_day_dir(const char *dir, const char *date) {
  int fd = open_real_dir(dir);
  if (fd < 0 && errno == ENOENT) {
    if (mkdir(dir, 0777) == 0) {
      link_current(date);
    } else if (errno != EEXIST) {  // another process was first, or a non-directory (below)
      log_msg(errno_report, "cannot create directory %s", dir);
      return -1;
    }
    fd = open_real_dir(dir);
  }
  if (fd < 0) log_msg(errno_report, "cannot create directory %s", dir);
  return fd;
}

// Opens the level's file inside the day directory; a symbolic link at its
// name is refused (ELOOP), so nothing it points to is created or appended to.
// Only a regular file is kept: a FIFO planted there would block the open or
// the writes (O_NONBLOCK keeps the open itself from waiting for a reader).
void open_level_file(int slot, int dir_fd, const char *dir) {
  const char *file = process_info.log_files[slot] ? process_info.log_files[slot] : "";
  velmor::PathText path;
  if (!velmor::build_path(path, {"cannot open log file ", " for appending"}, {dir, "/", file}))
    return;
  int fd = openat(dir_fd, file, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                  0644);
  if (fd < 0) {
    log_msg(errno_report, "cannot open log file %s for appending", path.c_str());
    return;
  }
  // Off 0 to 2, where a program started without them would write its
  // output into the log, or a daemon's redirection would replace it.
  fd = velmor::above_standard_descriptors(fd);
  struct stat st;
  if (fd < 0) {
    log_msg(errno_report, "cannot open log file %s for appending", path.c_str());
    return;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    log_msg(LOG_ERROR, "cannot open log file %s for appending: not a regular file", path.c_str());
    return;
  }
  log_fds[slot] = fd;
}

void open_slot(int slot) {
  char date[16];
  strftime(date, sizeof date, "%Y-%m-%d", &time_cache.local);
  // Until the slot has a file its lines go to descriptor 2, also the reports
  // of a path that cannot be built or a day directory that cannot be used.
  log_fds[slot] = 2;
  velmor::PathText dir;
  if (!velmor::build_path(dir, {"cannot create directory "}, {"logs/", date})) return;
  int dir_fd = open_day_dir(dir.c_str(), date);
  if (dir_fd < 0) return;
  open_level_file(slot, dir_fd, dir.c_str());
  close(dir_fd);
}

// What snprintf left in buffer: nothing after an error, what fit when cut.
template <size_t size>
std::string_view formatted(const char (&buffer)[size], int length) {
  if (length < 0) return {};
  return {buffer, std::min(static_cast<size_t>(length), size - 1)};
}

// Formats the parts of the line and builds it in log_line; returns its
// length, and where the message begins in *message_at. The parts' buffers
// are static: log_msg is not called in between.
int build_line(int level, int saved_errno, const char *format, va_list args, size_t *message_at) {
  static char prefix[line_size], message[line_size], error_text[256];
  const struct tm &t = time_cache.local;
  velmor::LogLineParts parts;
  parts.prefix =
      formatted(prefix, snprintf(prefix, sizeof prefix, "%02d:%02d:%02d|%s| ", t.tm_hour, t.tm_min,
                                 t.tm_sec, process_info.name ? process_info.name : "undef"));
  int message_length = vsnprintf(message, sizeof message, format, args);
  parts.message = formatted(message, message_length);
  parts.message_whole = message_length < static_cast<int>(sizeof message);
  if (level & LOG_ERRNO) {
    parts.error_text = formatted(
        error_text, snprintf(error_text, sizeof error_text, ": %s", strerror(saved_errno)));
  }
  return static_cast<int>(velmor::build_log_line(log_line, parts, message_at));
}

// A write that stores only part of the line sets no error number; name the
// likely cause (the file-size limit or a full disk) rather than report
// whatever error an earlier call left behind.
int short_write_cause(int fd) {
  struct rlimit limit;
  struct stat st;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      fstat(fd, &st) == 0 && static_cast<rlim_t>(st.st_size) >= limit.rlim_cur)
    return EFBIG;
  return ENOSPC;
}

void write_line(int slot, int length) {
  int fd = log_fds[slot];
  ssize_t written = write(fd, log_line, length);
  if (written == length) return;
  log_fds[slot] = 2;
  // A failed write on the standard error is not reported: the report would
  // go to the same place and fail again, without end.
  if (fd == 2) return;
  int cause = written >= 0 ? short_write_cause(fd) : errno;
  close(fd);
  // The line that did not fit goes where the slot's next lines go, before
  // the report below reuses the line buffer.
  if (write(2, log_line, length) != length) {
    // Nothing is left to try: the standard error is the last resort.
  }
  errno = cause;
  log_msg(errno_report, "cannot write to %s", process_info.log_files[slot]);
}

// One message at a time, from any thread: the line buffer, the descriptors
// and the time cache are the logger's shared state. Recursive, because a
// failure inside log_msg is reported by log_msg. A fork while another thread
// logs would leave the child a lock no thread of it can release: the lock is
// taken around fork and made anew in the child.
pthread_mutex_t log_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

void take_lock_before_fork() { pthread_mutex_lock(&log_lock); }
void release_lock_after_fork() { pthread_mutex_unlock(&log_lock); }
void renew_lock_in_child() {
  pthread_mutexattr_t recursive;
  pthread_mutexattr_init(&recursive);
  pthread_mutexattr_settype(&recursive, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&log_lock, &recursive);
  pthread_mutexattr_destroy(&recursive);
}

struct ForkGuard {
  ForkGuard() {
    pthread_atfork(take_lock_before_fork, release_lock_after_fork, renew_lock_in_child);
  }
};
const ForkGuard fork_guard;

struct LogLock {
  LogLock() { pthread_mutex_lock(&log_lock); }
  ~LogLock() { pthread_mutex_unlock(&log_lock); }
  LogLock(const LogLock &) = delete;
  LogLock &operator=(const LogLock &) = delete;
};

// Keeps the message of the line just built: from message_at to the line
// feed.
void remember_error(int length, size_t message_at) {
  const size_t end = static_cast<size_t>(length) - 1;
  const size_t start = std::min(message_at, end);
  memcpy(last_error, log_line + start, end - start);
  last_error[end - start] = '\0';
}

}  // namespace

namespace velmor {

const char *last_logged_error() { return last_error; }

void forget_logged_error() { last_error[0] = '\0'; }

}  // namespace velmor

extern "C" int log_msg(int level, const char *format, ...) {
  int saved_errno = errno;
  LogLock lock;
  int slot = level & 7;
  time_cache_update();
  if (slot == LOG_CLOSE || time_cache.day != process_info.log_day) {
    close_all();
    process_info.log_day = time_cache.day;
    if (slot == LOG_CLOSE) {
      errno = saved_errno;
      return 0;
    }
  }
  if (log_fds[slot] < 0) open_slot(slot);
  va_list args;
  va_start(args, format);
  size_t message_at = 0;
  int length = build_line(level, saved_errno, format, args, &message_at);
  va_end(args);
  if (slot == LOG_ERROR) remember_error(length, message_at);
  write_line(slot, length);
  errno = saved_errno;
  return 0;
}
