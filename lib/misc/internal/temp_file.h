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

// Creates path as a new, empty file for writing (close-on-exec, mode 0666
// less the umask) when its name is fixed (orvik's "<table>.<pid>"). A name
// that already exists (a link planted by another account, or a file a
// crashed run left behind) is removed, never opened: unlink takes the link
// itself, not what it points to, and O_EXCL|O_NOFOLLOW refuses whatever
// appears there in between. The descriptor, or -1 with errno set.
int create_file_anew(const char *path);

// Syncs the directory dir, so that a name just renamed into it is on the
// disk. File systems that cannot sync a directory (EINVAL) count as synced:
// their renames are as durable as they get. False with errno set otherwise.
bool sync_dir(const char *dir);

}  // namespace velmor
