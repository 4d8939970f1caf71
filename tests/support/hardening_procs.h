// Helpers for the tests that run several logging processes at once: forked
// children released together by a pipe, their exit status, and the local
// date the logger names its day directory after.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Children block in wait() until the parent calls release(): closing the
// write end wakes every reader at once.
class StartBarrier {
 public:
  StartBarrier();
  ~StartBarrier();
  StartBarrier(const StartBarrier &) = delete;
  StartBarrier &operator=(const StartBarrier &) = delete;
  void wait();     // in a child
  void release();  // in the parent, after forking every child

 private:
  int fds_[2] = {-1, -1};
};

// Forks a child that runs body and leaves with its result as exit status,
// without returning into the test framework.
pid_t fork_child(const std::function<int()> &body);

// Exit status of the child, or -1 when it did not exit normally.
int wait_child(pid_t pid);

// Local date of now as the logger writes it ("%Y-%m-%d").
std::string local_date();

// Restarts the logger in this process with the given program name: closes
// its files and forgets the day, so the next message reopens everything.
void restart_logger(const char *name);

// Sends descriptor 2 to path (created or truncated) for the rest of the
// process; for children that check what fell back to the standard error.
bool stderr_to_file(const std::string &path);

// Names in a directory except "." and "..", sorted.
std::vector<std::string> list_dir(const std::string &path);

// The names in a conf/ directory but the tables' lock files ("<table>.lock",
// which every writing run leaves there by design), sorted: what a run must
// leave behind besides its lock.
std::vector<std::string> list_table_files(const std::string &conf);

// list_table_files without the compiled tables ("<table>.ipt", which every
// successful orvik run writes beside the text files): the text files alone,
// for tests of the text tables and of temporaries left behind.
std::vector<std::string> list_text_table_files(const std::string &conf);

}  // namespace testing_support
