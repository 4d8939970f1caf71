// Logging across local midnight under a controlled clock: the test binary
// re-runs itself with libfaketime preloaded, the clock set three seconds
// before midnight in a zone three hours east of UTC, and the child logs
// until it is past midnight.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "misc.h"
#include "test_support.h"

extern char **environ;

namespace {

using namespace testing_support;

const char *const faketime_lib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
const char *const zone = "XYZ-3";  // local time is UTC + 3 h
const char *const old_day = "2026-12-10";
const char *const new_day = "2026-12-11";
constexpr int ticks_after_midnight = 5;
constexpr int child_env_fields = 3;

// ---- child side: runs before main() when the test re-runs itself ----

// Logs "tick N" every interval_us until ticks_after_midnight lines carry the
// new day. Exit 3: the fake clock is not in effect; 4: midnight never came.
int log_across_midnight(const char *root, const char *name, long interval_us) {
  if (chdir(root) != 0) return 2;
  process_info.name = name;
  time_t start = time(nullptr);
  int16_t first_day = 0;
  for (int tick = 0, after = 0; after < ticks_after_midnight; tick++) {
    log_msg(LOG_MESSAGE, "tick %d", tick);
    if (tick == 0) {
      first_day = time_cache.day;
      if (time_cache.local.tm_hour != 23 || time_cache.local.tm_min != 59) return 3;
    }
    if (time_cache.day != first_day) after++;
    if (time(nullptr) - start > 8) return 4;
    usleep(static_cast<useconds_t>(interval_us));
  }
  return 0;
}

// VELMOR_MIDNIGHT_CHILD="<root>|<name>|<interval in microseconds>"
int run_child_if_asked() {
  const char *setting = getenv("VELMOR_MIDNIGHT_CHILD");
  if (!setting) return 0;
  char root[512], name[32];
  long interval_us = 0;
  if (sscanf(setting, "%511[^|]|%31[^|]|%ld", root, name, &interval_us) != child_env_fields)
    _exit(2);
  _exit(log_across_midnight(root, name, interval_us));
}

const int child_mode = run_child_if_asked();

// ---- parent side ----

// Seconds to add to the real clock so that it reads 23:59:57 local time on
// 2026-12-10 now; every child started with it crosses midnight together.
long clock_offset() {
  struct tm utc = {};
  utc.tm_year = 2026 - 1900, utc.tm_mon = 11, utc.tm_mday = 10;
  utc.tm_hour = 20, utc.tm_min = 59, utc.tm_sec = 57;
  return static_cast<long>(timegm(&utc) - time(nullptr));
}

pid_t start_child(const std::string &root, const std::string &name, long interval_us, long offset) {
  std::vector<std::string> env;
  for (char **e = environ; *e; e++) {
    std::string entry = *e;
    if (entry.rfind("TZ=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0) env.push_back(entry);
  }
  const char *asan = getenv("ASAN_OPTIONS");
  // A preloaded library comes before the sanitizer runtime; tell it that is fine.
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
  env.push_back(std::string("LD_PRELOAD=") + faketime_lib);
  // A signed offset in seconds: "+N" ahead of the real clock, "-N" behind.
  env.push_back(std::string("FAKETIME=") + (offset < 0 ? "" : "+") + std::to_string(offset));
  env.push_back("FAKETIME_NO_CACHE=1");
  env.push_back("DONT_FAKE_MONOTONIC=1");
  env.push_back(std::string("TZ=") + zone);
  env.push_back("VELMOR_MIDNIGHT_CHILD=" + root + "|" + name + "|" + std::to_string(interval_us));
  return fork_child([&env] {
    std::vector<char *> envp;
    for (auto &entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char self[] = "/proc/self/exe";
    char *argv[] = {self, nullptr};
    execve(self, argv, envp.data());
    return 127;
  });
}

// Tick numbers of name's lines in one day's message log; each line must
// carry a time of the hour that belongs to that side of midnight.
std::vector<int> ticks_of(const std::string &log, const std::string &name, const char *hour) {
  std::vector<int> ticks;
  std::string tag = "|" + name + "| tick ";
  for (const auto &line : split_lines(log)) {
    if (line.find(tag) != 8) continue;
    EXPECT_EQ(line.substr(0, 3), std::string(hour) + ":") << line;
    ticks.push_back(atoi(line.c_str() + 8 + tag.size()));
  }
  return ticks;
}

class Midnight : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(faketime_lib, R_OK) != 0)
      GTEST_SKIP() << faketime_lib << " is missing: install the Debian package faketime";
  }
  std::string day_file(const char *day, const char *file) {
    return read_file(root / (std::string("logs/") + day + "/" + file));
  }
  // Every tick of the process is in exactly one day, in order, with the
  // split at midnight: some before, at least ticks_after_midnight after.
  void expect_split_at_midnight(const std::string &name) {
    auto before = ticks_of(day_file(old_day, "message.log"), name, "23");
    auto after = ticks_of(day_file(new_day, "message.log"), name, "00");
    ASSERT_FALSE(before.empty()) << name;
    ASSERT_GE(after.size(), static_cast<size_t>(ticks_after_midnight)) << name;
    before.insert(before.end(), after.begin(), after.end());
    for (size_t i = 0; i < before.size(); i++) ASSERT_EQ(before[i], static_cast<int>(i)) << name;
  }
  void expect_current_is_new_day() {
    char target[64] = {};
    ASSERT_GT(readlink((root / "logs/current").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, new_day);
    struct stat st;
    EXPECT_EQ(stat((root / "logs/current/message.log").c_str(), &st), 0);
  }

  TempRoot root;
};

TEST_F(Midnight, MovesToTheNewDayDirectoryAndRepointsCurrent) {
  pid_t child = start_child(root.path(), "mid", 100000, clock_offset());
  ASSERT_EQ(wait_child(child), 0) << "3: fake clock not in effect, 4: midnight never came";
  expect_split_at_midnight("mid");
  expect_current_is_new_day();
  EXPECT_EQ(day_file(old_day, "error.log") + day_file(new_day, "error.log"), "");
}

TEST_F(Midnight, TwoProcessesCrossingTogetherLeaveOneDirectoryAndAValidLink) {
  long offset = clock_offset();
  // Logging every millisecond, both reach the new day within a few
  // milliseconds of each other and race to create its directory.
  pid_t first = start_child(root.path(), "one", 1000, offset);
  pid_t second = start_child(root.path(), "two", 1000, offset);
  ASSERT_EQ(wait_child(first), 0);
  ASSERT_EQ(wait_child(second), 0);
  expect_split_at_midnight("one");
  expect_split_at_midnight("two");
  expect_current_is_new_day();
  // Nothing but the two days and the link: no temporary link left behind.
  EXPECT_EQ(list_dir(root / "logs"), (std::vector<std::string>{old_day, new_day, "current"}));
  // The loser of the race to create the directory reports nothing.
  EXPECT_EQ(day_file(old_day, "error.log") + day_file(new_day, "error.log"), "");
}

}  // namespace
