// The new table's temporary file: created where no planted name can redirect
// it, synced and renamed over the table only when complete, removed on any
// failure, so the old table always stays until a whole new one replaces it.
#include <unistd.h>

#include "misc.h"
#include "misc/internal/temp_file.h"
#include "orvik.h"

namespace orvik {

TempTable::TempTable(const char *table_path, const char *dir) : table_path_(table_path), dir_(dir) {
  snprintf(path_, sizeof path_, "%s.%d", table_path, static_cast<int>(getpid()));
  int fd = velmor::create_file_anew(path_);
  if (fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path_);
    return;
  }
  out_ = fdopen(fd, "w");
  if (out_ == nullptr) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path_);
    close(fd);
    unlink(path_);
    return;
  }
  // Fewer, larger writes. (glibc ignores the size unless a buffer is given.)
  setvbuf(out_, buffer_, _IOFBF, sizeof buffer_);
}

TempTable::~TempTable() { discard(); }

void TempTable::discard() {
  if (out_ != nullptr) {
    fclose(out_);
    out_ = nullptr;
    unlink(path_);
  } else if (closed_) {
    closed_ = false;
    unlink(path_);
  }
}

bool TempTable::complete() {
  // A write that failed earlier may have been dropped from the buffer; it
  // still makes the file incomplete.
  const bool write_failed = ferror(out_) != 0;
  if (fflush(out_) != 0 || write_failed) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot close %s", path_);
    discard();
    return false;
  }
  // On disk before it gets the table's name: after a crash the name holds
  // the old table or the whole new one, never an empty file.
  if (fsync(fileno(out_)) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot sync %s", path_);
    discard();
    return false;
  }
  FILE *out = out_;
  out_ = nullptr;
  if (fclose(out) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot close %s", path_);
    unlink(path_);
    return false;
  }
  closed_ = true;
  return true;
}

bool TempTable::put_in_place() {
  closed_ = false;
  if (rename(path_, table_path_) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot rename %s -> %s", path_, table_path_);
    unlink(path_);
    return false;
  }
  if (!velmor::sync_dir(dir_)) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot sync %s", dir_);
    return false;
  }
  return true;
}

}  // namespace orvik
