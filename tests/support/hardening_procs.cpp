#include "hardening_procs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <initializer_list>
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

namespace {

bool ends_with(const std::string &name, const std::string &end) {
  return name.size() > end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> list_dir_but(const std::string &dir,
                                      std::initializer_list<const char *> ends) {
  std::vector<std::string> names = list_dir(dir);
  const auto left_out = [ends](const std::string &name) {
    for (const char *end : ends)
      if (ends_with(name, end)) return true;
    return false;
  };
  names.erase(std::remove_if(names.begin(), names.end(), left_out), names.end());
  return names;
}

}  // namespace

std::vector<std::string> list_table_files(const std::string &conf) {
  return list_dir_but(conf, {".lock"});
}

std::vector<std::string> list_text_table_files(const std::string &conf) {
  return list_dir_but(conf, {".lock", ".ipt"});
}

}  // namespace testing_support
