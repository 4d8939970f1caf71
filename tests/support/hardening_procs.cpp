#include "hardening_procs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>

#include "misc.h"
#include "test_support.h"

namespace testing_support {

StartBarrier::StartBarrier() {
  if (pipe(fds_) != 0) throw std::runtime_error("pipe failed");
}

StartBarrier::~StartBarrier() {
  for (int fd : fds_)
    if (fd >= 0) close(fd);
}

void StartBarrier::wait() {
  close(fds_[1]);
  fds_[1] = -1;
  char byte;
  while (read(fds_[0], &byte, 1) < 0 && errno == EINTR) {
  }
}

void StartBarrier::release() {
  close(fds_[1]);
  fds_[1] = -1;
}

pid_t fork_child(const std::function<int()> &body) {
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) _exit(body());
  return pid;
}

int wait_child(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string local_date() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char text[16];
  strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

void restart_logger(const char *name) {
  process_info.name = name;
  reset_logger();
  process_info.log_day = -1;
}

bool stderr_to_file(const std::string &path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  dup2(fd, 2);
  close(fd);
  return true;
}

std::vector<std::string> list_dir(const std::string &path) {
  std::vector<std::string> names;
  if (DIR *dir = opendir(path.c_str())) {
    while (struct dirent *entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> list_table_files(const std::string &conf) {
  std::vector<std::string> names = list_dir(conf);
  const auto is_lock = [](const std::string &name) {
    return name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
  };
  names.erase(std::remove_if(names.begin(), names.end(), is_lock), names.end());
  return names;
}

}  // namespace testing_support
