// Helpers for the tests of the directory, daemon and counter services:
// running code in a child process (optionally as an unprivileged user) and
// looking for a message in the day's logs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace services_support {

constexpr int kNobody = 65534;

// Runs body in a forked child and returns its exit code (body's result), or
// -1 when the child did not exit normally. Useful where the code under test
// changes process-wide state or must run without root's privileges.
inline int run_in_child(const std::function<int()> &body, bool as_nobody = false) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (as_nobody && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(120);
    testing_support::reset_logger();
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a forked child, so that it starts from this process's state
// and leaves no trace in it (the hit counter's totals, for one); a failed
// expectation in the child fails the test.
inline void expect_in_child(const std::function<void()> &body) {
  EXPECT_EQ(run_in_child([&] {
              body();
              return ::testing::Test::HasFailure() ? 1 : 0;
            }),
            0);
}

// Lets an unprivileged child write its logs under root: opens up root, its
// "logs" directory and everything already in it.
inline void open_logs_to_nobody(const std::string &root) {
  namespace fs = std::filesystem;
  fs::permissions(root, fs::perms::all);
  fs::permissions(root + "/logs", fs::perms::all);
  for (const auto &entry : fs::recursive_directory_iterator(root + "/logs")) {
    if (entry.is_symlink()) continue;
    fs::permissions(entry.path(), entry.is_directory()
                                      ? fs::perms::all
                                      : fs::perms::owner_read | fs::perms::owner_write |
                                            fs::perms::group_read | fs::perms::group_write |
                                            fs::perms::others_read | fs::perms::others_write);
  }
}

// True when the day's log file (relative to root) holds a line that
// contains text.
inline bool logged(const std::string &root, const std::string &file, const std::string &text) {
  return testing_support::day_log(root, file).find(text) != std::string::npos;
}

// Polls done every 10 ms for up to 5 s, for what a detached process does in
// its own time; whether it came true.
inline bool wait_until(const std::function<bool()> &done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    usleep(10000);
  }
  return false;
}

}  // namespace services_support
