// The logger under faults met in production: a file-size limit or a full
// file system reached in the middle of a log, a "logs" directory the process
// may not write, and "logs/current" replaced or repointed while processes log.
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "misc.h"
#include "test_support.h"

namespace {

using namespace testing_support;

constexpr uid_t nobody = 65534;

std::string current_target(const std::string &root) {
  char target[64] = {};
  if (readlink((root + "/logs/current").c_str(), target, sizeof target - 1) < 0) return "";
  return target;
}

class LogFaults : public ::testing::Test {
 protected:
  std::string day_file(const char *file) {
    return read_file(root / ("logs/" + local_date() + "/" + file));
  }
  TempRoot root;
  ScopedCwd cwd{root.path()};
};

// ---- file-size limit ----

// Every line is "hh:mm:ss|fsz| line NNN\n": 23 bytes.
constexpr int line_bytes = 23;

// Logs four lines at level, then limits files to the size so far plus one
// line and 10 bytes: line 4 fits, line 5 does not, line 6 comes after.
int log_into_size_limit(int level) {
  restart_logger("fsz");
  if (!stderr_to_file("stderr.txt")) return 2;
  signal(SIGXFSZ, SIG_IGN);
  for (int i = 1; i <= 3; i++) log_msg(level, "line %03d", i);
  struct stat st;
  std::string path = "logs/" + local_date() + "/" + process_info.log_files[level & 7];
  if (stat(path.c_str(), &st) != 0 || st.st_size != 3 * line_bytes) return 3;
  struct rlimit limit = {static_cast<rlim_t>(4 * line_bytes + 10), RLIM_INFINITY};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 4;
  for (int i = 4; i <= 6; i++) log_msg(level, "line %03d", i);
  return 0;
}

TEST_F(LogFaults, FileSizeLimitKeepsStoredLinesAndFallsBackToStandardError) {
  struct Case {
    int level;
    const char *file;
    bool report_on_stderr;  // the error log itself is the one that is full
  } cases[] = {{LOG_MESSAGE, "message.log", false}, {LOG_ERROR, "error.log", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    remove_tree_at(root / "logs");
    mkdir((root / "logs").c_str(), 0755);
    ASSERT_EQ(wait_child(fork_child([&c] { return log_into_size_limit(c.level); })), 0);
    std::string log = day_file(c.file), err = read_file(root / "stderr.txt");
    std::string stored;
    for (int i = 1; i <= 4; i++) {
      char line[32];
      snprintf(line, sizeof line, "|fsz| line %03d\n", i);
      stored += log.substr(stored.size(), 8) + line;  // any time, then the line
    }
    // The lines written before the limit stay whole; at most a cut piece of
    // the line that did not fit follows them, never a line feed.
    EXPECT_EQ(log.substr(0, stored.size()), stored);
    EXPECT_EQ(log.find('\n', stored.size()), std::string::npos) << log;
    // The line that did not fit and every later one reach the standard error.
    EXPECT_NE(err.find("|fsz| line 005\n"), std::string::npos) << err;
    EXPECT_NE(err.find("|fsz| line 006\n"), std::string::npos) << err;
    std::string report = std::string("cannot write to ") + c.file + ": " + strerror(EFBIG) + "\n";
    EXPECT_NE((c.report_on_stderr ? err : day_file("error.log")).find(report), std::string::npos)
        << err;
  }
}

// ---- full file system ----

// Logs one line (the file gets its first page), fills the file system, then
// logs 199 more: those that fit into the page are stored, the rest cannot be.
int log_onto_full_disk() {
  restart_logger("fsz");
  if (!stderr_to_file("stderr.txt")) return 2;
  log_msg(LOG_MESSAGE, "line %03d", 1);
  std::ofstream filler("logs/filler", std::ios::binary);
  std::string block(4096, 'x');
  while (filler.write(block.data(), block.size()) && filler.flush()) {
  }
  for (int i = 2; i <= 200; i++) log_msg(LOG_MESSAGE, "line %03d", i);
  return 0;
}

TEST_F(LogFaults, FullFileSystemKeepsStoredLinesAndFallsBackToStandardError) {
  std::string logs = root / "logs";
  if (mount("tmpfs", logs.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << strerror(errno)
                 << "): the full file system is not tested";
  int rc = wait_child(fork_child(log_onto_full_disk));
  std::string log = day_file("message.log"), errors = day_file("error.log");
  std::string err = read_file(root / "stderr.txt");
  umount2(logs.c_str(), MNT_DETACH);
  ASSERT_EQ(rc, 0);
  // The stored lines are whole and in order; at most a cut piece of the next
  // follows. That line and every later one reach the standard error.
  std::vector<std::string> lines = split_lines(log);
  int stored = 0;
  for (const std::string &line : lines) {
    char text[32];
    snprintf(text, sizeof text, "|fsz| line %03d", stored + 1);
    if (line.size() != line_bytes - 1 || line.substr(8) != text) break;
    stored++;
  }
  EXPECT_GE(stored, 100) << "a page of the file holds about 178 lines";
  EXPECT_LT(stored, 200);
  EXPECT_EQ(log.find('\n', static_cast<size_t>(stored) * line_bytes), std::string::npos) << log;
  for (int i = stored + 1; i <= 200; i++) {
    char text[32];
    snprintf(text, sizeof text, "|fsz| line %03d\n", i);
    EXPECT_NE(err.find(text), std::string::npos) << text;
  }
  std::string report = std::string("cannot write to message.log: ") + strerror(ENOSPC) + "\n";
  EXPECT_NE((err + errors).find(report), std::string::npos) << err;
}

// ---- no permission to write the logs ----

int log_as_nobody() {
  restart_logger("nobody");
  if (!stderr_to_file("stderr.txt")) return 2;
  if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return 3;
  log_msg(LOG_MESSAGE, "said anyway");
  return 0;
}

TEST_F(LogFaults, UnwritableLogsFallBackToStandardError) {
  struct Case {
    bool day_exists;
    std::string report;
  } cases[] = {
      {false, "cannot create directory logs/" + local_date()},
      {true, "cannot open log file logs/" + local_date() + "/message.log for appending"},
  };
  chmod(root.path().c_str(), 0755);  // only "logs" itself keeps nobody out
  for (const Case &c : cases) {
    SCOPED_TRACE(c.report);
    remove_tree_at(root / "logs");
    mkdir((root / "logs").c_str(), 0755);
    if (c.day_exists) mkdir((root / ("logs/" + local_date())).c_str(), 0755);
    ASSERT_EQ(wait_child(fork_child(log_as_nobody)), 0);
    std::string err = read_file(root / "stderr.txt");
    EXPECT_NE(err.find(c.report + ": " + strerror(EACCES) + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find("|nobody| said anyway\n"), std::string::npos) << err;
    EXPECT_FALSE(path_exists(root / "logs/current"));
  }
}

// ---- "logs/current" ----

TEST_F(LogFaults, CurrentReplacedWhileAnotherProcessLogs) {
  constexpr int lines = 3000;
  // The child logs its second half only once the link has been swapped: a
  // fast child could otherwise finish before the first swap.
  StartBarrier barrier, swapped;
  pid_t child = fork_child([&barrier, &swapped] {
    restart_logger("busy");
    barrier.wait();
    for (int i = 0; i < lines; i++) {
      if (i == lines / 2) swapped.wait();
      log_msg(LOG_MESSAGE, "line %d", i);
    }
    return 0;
  });
  barrier.release();
  // The link is swapped between a stray target and the day for as long as
  // the child logs.
  int swaps = 0, status = -1;
  for (; waitpid(child, &status, WNOHANG) == 0; swaps++) {
    symlink(swaps % 2 ? local_date().c_str() : "elsewhere", "logs/swap");
    rename("logs/swap", "logs/current");
    if (swaps == 0) swapped.release();
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(swaps, 0);
  auto written = split_lines(day_file("message.log"));
  ASSERT_EQ(written.size(), static_cast<size_t>(lines));
  for (int i = 0; i < lines; i++)
    ASSERT_EQ(written[i].substr(8), "|busy| line " + std::to_string(i)) << i;
  EXPECT_EQ(day_file("error.log"), "");
}

TEST_F(LogFaults, CurrentNeverMissingWhileRepointed) {
  constexpr int new_days = 200;
  std::string today = local_date();
  // The child makes the day directory new again and again (moving the old
  // one away), so each message repoints "logs/current".
  symlink("before", "logs/current");
  pid_t child = fork_child([today] {
    restart_logger("repoint");
    for (int i = 0; i < new_days; i++) {
      log_msg(LOG_CLOSE, "%s", "");
      rename(("logs/" + today).c_str(), ("logs/old-" + std::to_string(i)).c_str());
      log_msg(LOG_MESSAGE, "day %d", i);
    }
    return 0;
  });
  int reads = 0, missing = 0, status = -1;
  while (waitpid(child, &status, WNOHANG) == 0) {
    reads++;
    if (current_target(root.path()).empty()) missing++;
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(missing, 0) << "of " << reads << " reads";
  EXPECT_EQ(current_target(root.path()), today);
  EXPECT_NE(day_file("message.log").find("|repoint| day 199\n"), std::string::npos);
}

TEST_F(LogFaults, CurrentThatIsADirectoryIsReportedAndLeftAlone) {
  mkdir("logs/current", 0755);
  restart_logger("dir");
  log_msg(LOG_MESSAGE, "logged all the same");
  log_msg(LOG_CLOSE, "%s", "");
  std::string errors = day_file("error.log");
  EXPECT_NE(errors.find("cannot rename logs/current."), std::string::npos) << errors;
  EXPECT_NE(errors.find(" - logs/current: " + std::string(strerror(EISDIR)) + "\n"),
            std::string::npos)
      << errors;
  EXPECT_NE(day_file("message.log").find("|dir| logged all the same\n"), std::string::npos);
  // The temporary link is gone; only the day and the directory remain.
  EXPECT_EQ(list_dir(root / "logs"), (std::vector<std::string>{local_date(), "current"}));
}

}  // namespace
