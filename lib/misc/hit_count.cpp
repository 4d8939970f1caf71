// The hit counter: hits are counted in memory and added to the program's
// counter file every 1000 hits and on close. The file holds one line,
// "%-10d\n", rewritten in place under an exclusive lock, so that processes
// sharing a program name add their counts up instead of overwriting them.
#include "hit_count.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "misc.h"
#include "str.h"
#include "velmor_dirs.h"

namespace {

constexpr int32_t kFlushEvery = 1000;
constexpr long long kWrap = 1000000000;

struct Counter {
  int32_t total = 0;
  int32_t pending = 0;
  FILE *file = nullptr;
  bool failed = false;
};

Counter counter;

// Opens the existing file, or creates it; never truncates, since another
// process may have created and filled it a moment ago.
FILE *open_counter_file(const char *path) {
  if (FILE *file = fopen(path, "r+")) return file;
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  FILE *file = fdopen(fd, "r+");
  if (!file) close(fd);
  return file;
}

bool ensure_open(const char *name) {
  if (counter.file || counter.failed) return counter.file != nullptr;
  char path[256];
  if (str_concat(path, sizeof path, velmor::counter_dir(), "/", name, "-count", nullptr) == 0) {
    // Too long for the buffer: a cut path would name another program's file.
    errno = ENAMETOOLONG;
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open file %s/%s-count", velmor::counter_dir(), name);
    counter.failed = true;
    return false;
  }
  counter.file = open_counter_file(path);
  if (!counter.file) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open file %s", path);
    counter.failed = true;
  }
  return counter.file != nullptr;
}

// The stored count: the leading number of the first line, 0 without one.
long long read_stored(FILE *file) {
  char line[32];
  rewind(file);
  if (!fgets(line, sizeof line, file)) return 0;
  return strtoll(line, nullptr, 10);
}

// Adds the pending hits to the file: read, add and write back under the lock.
void flush(const char *name) {
  if (!ensure_open(name)) return;
  int fd = fileno(counter.file);
  flock(fd, LOCK_EX);
  long long value = read_stored(counter.file);
  if (value >= kWrap) value -= kWrap;
  value += counter.pending;
  rewind(counter.file);
  fprintf(counter.file, "%-10lld\n", value);
  fflush(counter.file);
  // Drop whatever a longer line written by someone else left behind.
  if (ftruncate(fd, ftell(counter.file)) != 0) {
    // The line itself is written; leftover bytes after it are never read.
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
  if (close && counter.file) {
    fclose(counter.file);
    counter.file = nullptr;
  }
  counter.pending = 0;
  return counter.total;
}

namespace velmor {

void hit_count_reset_for_tests() {
  if (counter.file) fclose(counter.file);
  counter = Counter{};
}

}  // namespace velmor
