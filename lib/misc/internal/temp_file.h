// Internal: a new file beside a path, to be filled, synced and renamed over
// the path once complete, so that the path never names a partial file.
#pragma once

#include "misc/internal/paths.h"

namespace velmor {

struct TempFile {
  PathText path;
  int fd = -1;  // open for writing, close-on-exec
};

// Creates a new, empty file in the directory of target, named after target
// with a random suffix ("<target>.x7Qa2k"), mode 0666 less the umask. It is
// created with O_EXCL and O_NOFOLLOW, so an existing name, or a link planted
// where it would go, is never opened; another suffix is tried instead. False
// with errno set when no file could be made (a name over path_max is reported
// as "cannot write to <name>: File name too long"; other failures are left
// to the caller).
bool create_temp_beside(const char *target, TempFile &temp);

}  // namespace velmor
