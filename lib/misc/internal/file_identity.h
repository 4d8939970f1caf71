// Internal: the identity of a named file, to tell whether it is still the
// file a load saw. A replacement renamed into place has another inode; one
// rewritten in place has another size or modification time; two
// replacements within one second differ in the nanoseconds. Whole-second
// times missed those.
#pragma once

#include <cstdint>

namespace velmor {

struct FileIdentity {
  bool present = false;  // false when the file could not be examined
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtime_ns = 0;  // modification time in nanoseconds since the epoch
};

// The identity of path from one stat (links followed). A file that cannot
// be examined gives an identity that is not present; with report it is
// logged as file_mtime logs it ("cannot stat '<path>'", LOG_ERROR|LOG_ERRNO).
FileIdentity file_identity(const char *path, bool report);

// The identity of an open file (fstat); not present when fstat fails.
FileIdentity fd_identity(int fd);

// True when both name the same file in the same state, or both are absent.
bool same_identity(const FileIdentity &a, const FileIdentity &b);

// The whole seconds of the modification time, 0 when absent: what the
// public mtime fields hold.
inline int64_t whole_seconds(const FileIdentity &identity) {
  if (!identity.present) return 0;
  int64_t seconds = identity.mtime_ns / 1'000'000'000;
  return identity.mtime_ns % 1'000'000'000 < 0 ? seconds - 1 : seconds;
}

}  // namespace velmor
