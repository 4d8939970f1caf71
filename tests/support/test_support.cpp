#include "test_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "misc.h"

namespace testing_support {

TempRoot::TempRoot() {
  char templ[] = "/tmp/velmor-test.XXXXXX";
  if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
  mkdir((path_ + "/conf").c_str(), 0755);
  mkdir((path_ + "/logs").c_str(), 0755);
}

TempRoot::~TempRoot() { remove_tree_at(path_); }

ScopedCwd::ScopedCwd(const std::string &dir) {
  char buf[4096];
  saved_ = getcwd(buf, sizeof buf) ? buf : "/";
  if (chdir(dir.c_str()) != 0) throw std::runtime_error("chdir " + dir + " failed");
}

ScopedCwd::~ScopedCwd() {
  if (chdir(saved_.c_str()) != 0) std::abort();
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool path_exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
  remove(path);
  return 0;
}

void remove_tree_at(const std::string &path) {
  if (!path.empty()) nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

void fresh_root(const std::string &root) {
  remove_tree_at(root);
  for (const char *dir : {"", "/conf", "/logs"}) mkdir((root + dir).c_str(), 0755);
}

std::vector<std::string> split_lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string day_log(const std::string &root, const std::string &file) {
  return read_file(root + "/logs/current/" + file);
}

static std::string drain(int fd) {
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

RunResult run_program(const std::string &program, const std::vector<std::string> &args,
                      const std::string &input, const std::function<void()> &before_exec) {
  // Input goes through a file so that large inputs cannot dead-lock the pipes.
  char in_path[] = "/tmp/velmor-input.XXXXXX";
  int in_fd = mkstemp(in_path);
  if (in_fd < 0) throw std::runtime_error("mkstemp failed");
  unlink(in_path);
  if (write(in_fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    throw std::runtime_error("cannot write input");
  lseek(in_fd, 0, SEEK_SET);
  char out_path[] = "/tmp/velmor-output.XXXXXX";
  char err_path[] = "/tmp/velmor-error.XXXXXX";
  int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  unlink(out_path);
  unlink(err_path);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    if (before_exec) before_exec();
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  lseek(out_fd, 0, SEEK_SET);
  lseek(err_fd, 0, SEEK_SET);
  result.out = drain(out_fd);
  result.err = drain(err_fd);
  close(in_fd);
  close(out_fd);
  close(err_fd);
  return result;
}

void reset_logger() {
  log_msg(LOG_CLOSE, "%s", "");
  time_cache.refreshed = 0;
}

RunResult run_in_root(const std::string &program, const TempRoot &root,
                      std::vector<std::string> args, const std::string &input,
                      const std::function<void()> &before_exec) {
  args.insert(args.begin(), {"-r", root.path()});
  return run_program(program, args, input, before_exec);
}

std::string with_root(std::string text, const TempRoot &root) {
  for (size_t at = text.find("ROOT"); at != std::string::npos; at = text.find("ROOT", at))
    text.replace(at, 4, root.path());
  return text;
}

std::string first_difference(const std::string &ours, const std::string &expected) {
  std::istringstream a(ours), b(expected);
  std::string line_a, line_b;
  for (int line = 1;; ++line) {
    const bool more_a = static_cast<bool>(std::getline(a, line_a));
    const bool more_b = static_cast<bool>(std::getline(b, line_b));
    if (!more_a && !more_b) return "";
    if (more_a != more_b || line_a != line_b)
      return "line " + std::to_string(line) + ": ours '" + (more_a ? line_a : "(end)") +
             "', expected '" + (more_b ? line_b : "(end)") + "'";
  }
}

}  // namespace testing_support
