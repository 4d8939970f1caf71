// Helpers for the boundary table tests: a scratch root to work in, table
// files with chosen modification times, and a plain reference bisection.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ip_ranges.h"
#include "misc.h"
#include "test_support.h"

namespace testing_support {

// A scratch root that is the working directory for the object's lifetime,
// with the logger reset so that its messages land in root/logs.
class RangesRoot {
 public:
  RangesRoot() : cwd_(root_.path()) { reset_logger(); }
  ~RangesRoot() { reset_logger(); }
  const TempRoot &root() const { return root_; }
  std::string error_log() const { return day_log(root_.path(), "error.log"); }

 private:
  TempRoot root_;
  ScopedCwd cwd_;
};

// Writes text to path and sets its access and modification time to mtime
// seconds and nanoseconds.
inline void write_file_at(const std::string &path, const std::string &text, int64_t mtime,
                          long nanoseconds = 0) {
  write_file(path, text);
  const struct timespec times[2] = {{static_cast<time_t>(mtime), nanoseconds},
                                    {static_cast<time_t>(mtime), nanoseconds}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// A record whose pointers stay valid for the test, released at its end.
struct ScopedRanges {
  explicit ScopedRanges(const char *name) : table(ip_ranges_new(name)) {}
  ~ScopedRanges() { ip_ranges_free(table); }
  ScopedRanges(const ScopedRanges &) = delete;
  ScopedRanges &operator=(const ScopedRanges &) = delete;
  ip_ranges *operator->() const { return table; }
  ip_ranges *table;
};

// The lookup written out plainly: bisection with an early exit.
inline uint8_t reference_lookup(const std::vector<uint32_t> &starts,
                                const std::vector<uint8_t> &ids, uint32_t a) {
  size_t count = starts.size(), lo = 0, hi = count;
  if (count == 0) return 0;
  for (;;) {
    size_t mid = (lo + hi) / 2;
    if (starts[mid] == a) return ids[mid];
    if (starts[mid] > a) {
      hi = mid;
    } else {
      lo = mid + 1;
      if (lo == count || starts[lo] > a) return ids[mid];
    }
    if (lo >= hi) return 0;
  }
}

}  // namespace testing_support
