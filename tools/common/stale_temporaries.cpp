// Finding and removing the temporaries of runs that are no longer running.
#include "stale_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "misc.h"

namespace velmor_tools {

namespace {

constexpr const char *kConfDir = "conf";

// The files of a table, after "conf/<table>": names, IPv4 table, IPv6
// table, compiled table.
constexpr const char *kTableFileSuffixes[] = {"", ".ips", "6.ips", ".ipt"};

// The pid of "<file>.<pid>" for one of the table's files, or 0.
pid_t temporary_pid(std::string_view name, const char *table) {
  for (const char *suffix : kTableFileSuffixes) {
    const std::string file = std::string(table) + suffix + ".";
    if (name.size() <= file.size() || name.substr(0, file.size()) != file) continue;
    const std::string_view digits = name.substr(file.size());
    if (digits.size() > 9 || digits[0] == '0') continue;  // pids fit in 9 digits
    const bool all_digits = digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!all_digits) continue;
    pid_t pid = 0;
    for (const char c : digits) pid = pid * 10 + (c - '0');
    return pid;
  }
  return 0;
}

// kill(pid, 0) fails with ESRCH only when no process has that pid; EPERM
// means one runs under another account.
bool is_running(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

void remove_stale_temporaries(const char *table) {
  const int dir_fd = open(kConfDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return;  // no conf/: nothing to clean; the run reports its own failures
  DIR *dir = fdopendir(dir_fd);
  if (dir == nullptr) {
    close(dir_fd);
    return;
  }
  while (const dirent *entry = readdir(dir)) {
    const pid_t pid = temporary_pid(entry->d_name, table);
    if (pid == 0 || (pid != getpid() && is_running(pid))) continue;
    // unlinkat removes a link itself, not its target; a directory under
    // such a name is no file of ours and stays.
    if (unlinkat(dir_fd, entry->d_name, 0) == 0) {
      log_msg(LOG_MESSAGE, "removed %s/%s, left by a run that is no longer running", kConfDir,
              entry->d_name);
    } else if (errno != ENOENT && errno != EISDIR) {
      log_msg(LOG_ERROR | LOG_ERRNO, "cannot remove %s/%s", kConfDir, entry->d_name);
    }
  }
  closedir(dir);
}

}  // namespace velmor_tools
