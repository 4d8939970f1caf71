// The hit counter: hits are counted in memory and added to the program's
// counter file every 1000 hits and on close. The file holds one line,
// "%-10d\n", rewritten in place under an exclusive lock, so that processes
// sharing a program name add their counts up instead of overwriting them.
// A line that cannot be written whole is undone, so the file always holds a
// complete count.
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "misc.h"
#include "misc/internal/descriptors.h"
#include "misc/internal/install_root.h"
#include "misc/internal/paths.h"

namespace {

constexpr int32_t kFlushEvery = 1000;
constexpr long long kWrap = 1000000000;

struct Counter {
  int32_t total = 0;
  int32_t pending = 0;
  int fd = -1;
  bool inherited = false;  // fd is the parent's open file, shared across fork
  bool failed = false;
  bool lock_reported = false;  // a failed lock is reported once
  velmor::PathText path;       // of the open file, for reports
};

Counter counter;

// In a child of fork: the hits pending at the fork are the parent's, which
// it flushes itself, and the open file is the parent's too. flock belongs to
// the open file, so a lock taken through it would exclude neither process;
// the child opens a file of its own at its first flush.
void start_count_in_child() {
  counter.total = 0;
  counter.pending = 0;
  counter.inherited = counter.fd >= 0;
}

// Registered at start-up, so that a fork before the first hit is covered.
[[maybe_unused]] const bool child_handler_registered =
    pthread_atfork(nullptr, nullptr, start_count_in_child) == 0;

void close_counter_file() {
  close(counter.fd);
  counter.fd = -1;
  counter.inherited = false;
}

// Opens the existing file, or creates it; never truncates, since another
// process may have created and filled it a moment ago. A link planted in the
// counter directory is refused, not followed.
bool ensure_open(const char *name) {
  if (counter.inherited) close_counter_file();
  if (counter.fd >= 0 || counter.failed) return counter.fd >= 0;
  if (!velmor::build_path(counter.path, {"cannot open file "},
                          {velmor::counter_dir(), "/", name, "-count"})) {
    counter.failed = true;
    return false;
  }
  counter.fd = velmor::above_standard_descriptors(
      open(counter.path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (counter.fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open file %s", counter.path.c_str());
    counter.failed = true;
  }
  return counter.fd >= 0;
}

// The first line of the file (at most 31 bytes) as it is stored; the
// leading number of that line is the count, 0 without one.
struct StoredLine {
  char bytes[32] = {};
  size_t size = 0;  // bytes read, including those after the first line feed
  long long value() const {
    char line[32];
    size_t length = strcspn(bytes, "\n");  // a count never comes from a later line
    memcpy(line, bytes, length);
    line[length] = '\0';
    return strtoll(line, nullptr, 10);
  }
};

StoredLine read_stored(int fd) {
  StoredLine stored;
  ssize_t got = pread(fd, stored.bytes, sizeof stored.bytes - 1, 0);
  stored.size = got > 0 ? static_cast<size_t>(got) : 0;
  stored.bytes[stored.size] = '\0';
  return stored;
}

// Writes the whole of text at the start of the file; false with errno set
// when a write fails, *written telling how much got through.
bool write_all_at_start(int fd, const char *text, size_t size, size_t *written) {
  *written = 0;
  while (*written < size) {
    ssize_t n = pwrite(fd, text + *written, size - *written, static_cast<off_t>(*written));
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    *written += static_cast<size_t>(n);
  }
  return true;
}

// A line that did not fit (file-size limit, full disk) would leave a mix of
// new and old digits, or a cut file: put the old bytes back so that the
// file keeps the last count it held, and report the failure.
void undo_partial_write(int fd, const StoredLine &old, size_t written) {
  int error = errno;
  size_t restore = written < old.size ? written : old.size;
  if (pwrite(fd, old.bytes, restore, 0) != static_cast<ssize_t>(restore) ||
      (written > old.size && ftruncate(fd, static_cast<off_t>(old.size)) != 0)) {
    // Nothing more can be done here; the failure itself is reported below.
  }
  errno = error;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to %s", counter.path.c_str());
}

// Adds the pending hits to the file: read, add and write back under the lock.
void flush(const char *name) {
  if (!ensure_open(name)) return;
  int fd = counter.fd;
  int locked;
  while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0 && !counter.lock_reported) {
    // Without the lock (no locks left, a file system without them) the hits
    // are still added, but another process may add its own at the same
    // moment and one of the two be lost: say so, once.
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot lock %s", counter.path.c_str());
    counter.lock_reported = true;
  }
  StoredLine old = read_stored(fd);
  long long value = old.value();
  if (value >= kWrap) value -= kWrap;
  value += counter.pending;
  char line[32];
  int size = snprintf(line, sizeof line, "%-10lld\n", value);
  size_t written = 0;
  if (write_all_at_start(fd, line, static_cast<size_t>(size), &written)) {
    // Drop whatever a longer line written by someone else left behind.
    if (ftruncate(fd, size) != 0) {
      // The line itself is written; leftover bytes after it are never read.
    }
  } else {
    undo_partial_write(fd, old, written);
  }
  flock(fd, LOCK_UN);
}

}  // namespace

extern "C" int32_t hit_count(const char *name, bool close) {
  if (!close) {
    counter.total =
        static_cast<int32_t>(static_cast<uint32_t>(counter.total) + 1);  // wraps, never traps
    if (++counter.pending < kFlushEvery) return counter.total;
  }
  flush(name);
  if (close && counter.fd >= 0) close_counter_file();
  counter.pending = 0;
  return counter.total;
}
