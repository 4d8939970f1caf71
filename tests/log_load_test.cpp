// Many processes appending to the same day's log at once: every line must
// arrive exactly once and whole, never cut or mixed with another process's.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "misc.h"
#include "test_support.h"

namespace {

using namespace testing_support;

constexpr int process_count = 8;
constexpr int lines_per_process = 20000;

// Lines differ in length (up to ~420 bytes) so that a torn or interleaved
// write cannot go unnoticed; the filler letter names the writer as well.
int filler_length(int writer, int seq) { return (seq * 37 + writer * 11) % 400; }

int write_lines(StartBarrier &barrier, int writer) {
  restart_logger("load");
  std::string filler(400, static_cast<char>('a' + writer));
  barrier.wait();
  for (int seq = 0; seq < lines_per_process; seq++)
    log_msg(LOG_MESSAGE, "w%d s%d %.*s", writer, seq, filler_length(writer, seq), filler.c_str());
  return 0;
}

// Checks one line; on success marks its (writer, sequence) pair as seen.
bool accept_line(const std::string &line, std::vector<std::vector<char>> &seen) {
  const std::string tag = "|load| ";
  if (line.size() < 8 + tag.size() || line[2] != ':' || line[5] != ':' ||
      line.compare(8, tag.size(), tag) != 0)
    return false;
  int writer = -1, seq = -1, consumed = 0;
  const char *body = line.c_str() + 8 + tag.size();
  if (sscanf(body, "w%d s%d %n", &writer, &seq, &consumed) != 2 || consumed == 0) return false;
  if (writer < 0 || writer >= process_count || seq < 0 || seq >= lines_per_process) return false;
  std::string rest(body + consumed);
  if (rest != std::string(filler_length(writer, seq), static_cast<char>('a' + writer)))
    return false;
  if (seen[writer][seq]) return false;  // a duplicate
  seen[writer][seq] = 1;
  return true;
}

// The message logs of every day directory, in case midnight passes.
std::vector<std::string> day_dirs(const std::string &logs) {
  std::vector<std::string> dirs;
  DIR *dir = opendir(logs.c_str());
  if (!dir) return dirs;
  while (struct dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != ".." && name.rfind("current", 0) != 0) dirs.push_back(name);
  }
  closedir(dir);
  return dirs;
}

TEST(LogLoad, EightProcessesLoseAndTearNothing) {
  TempRoot root;
  ScopedCwd cwd(root.path());
  StartBarrier barrier;
  std::vector<pid_t> children;
  for (int writer = 0; writer < process_count; writer++)
    children.push_back(fork_child([&barrier, writer] { return write_lines(barrier, writer); }));
  barrier.release();
  for (pid_t child : children) EXPECT_EQ(wait_child(child), 0);

  std::vector<std::vector<char>> seen(process_count, std::vector<char>(lines_per_process, 0));
  size_t total = 0, bad = 0;
  std::string first_bad;
  for (const auto &day : day_dirs(root / "logs")) {
    for (const auto &line : split_lines(read_file(root / ("logs/" + day + "/message.log")))) {
      total++;
      if (!accept_line(line, seen) && bad++ == 0) first_bad = line.substr(0, 120);
    }
    // Eight processes racing to create the day directory: the losers go on
    // silently, so nothing is reported.
    EXPECT_EQ(read_file(root / ("logs/" + day + "/error.log")), "");
  }
  EXPECT_EQ(bad, 0u) << "first bad line: " << first_bad;
  EXPECT_EQ(total, static_cast<size_t>(process_count) * lines_per_process);
  for (int writer = 0; writer < process_count; writer++)
    for (int seq = 0; seq < lines_per_process; seq++)
      ASSERT_TRUE(seen[writer][seq]) << "missing w" << writer << " s" << seq;
  char target[64] = {};
  ASSERT_GT(readlink((root / "logs/current").c_str(), target, sizeof target - 1), 0);
  EXPECT_TRUE(path_exists(root / ("logs/" + std::string(target) + "/message.log"))) << target;
}

}  // namespace
