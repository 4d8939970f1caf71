// The write lock of a table: runs that write a table's files (its names
// file, its boundary tables, its compiled file) exclude each other for the
// whole run, so that the names one run numbered never meet the table
// another run wrote.
//
// The lock is flock(2) on "conf/<table>.lock" under the working directory.
// The kernel drops it when the holder's descriptor closes, so a run that is
// killed never leaves it held; the file itself is never removed (removing
// it would let a third run lock a new file while the second still holds the
// old one).
#pragma once

#include <string>

namespace velmor_tools {

// How long a run waits for another run's lock by default.
constexpr unsigned default_lock_wait_seconds = 600;

class TableLock {
 public:
  TableLock() = default;
  ~TableLock();  // releases the lock
  TableLock(const TableLock &) = delete;
  TableLock &operator=(const TableLock &) = delete;

  // Takes the lock of table, waiting up to wait_seconds while another run
  // holds it (one message in the log when it has to wait, another when it
  // got it). False after a logged failure: the lock file cannot be opened
  // or is not a regular file (a planted link or FIFO is never followed or
  // waited on), or the wait ran past its bound.
  bool acquire(const char *table, unsigned wait_seconds);

  // The lock file of table, relative to the installation root.
  static std::string path(const char *table);

 private:
  bool wait_for(const std::string &path, unsigned wait_seconds);

  int fd_ = -1;
};

}  // namespace velmor_tools
