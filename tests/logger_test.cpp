// The logger: line format and limits, day directories and "logs/current",
// fall-back to the standard error, errno kept for the caller.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>

#include "hardening_procs.h"
#include "misc.h"
#include "misc/internal/day_count.h"
#include "test_support.h"

namespace {

using testing_support::read_file;
const auto today = testing_support::local_date;
using testing_support::ScopedCwd;
using testing_support::TempRoot;

// Sends descriptor 2 to a file for the lifetime of the object.
class StderrCapture {
 public:
  explicit StderrCapture(const char *target = nullptr) {
    saved_ = dup(2);
    char templ[] = "/tmp/velmor-stderr.XXXXXX";
    int fd = target ? open(target, O_WRONLY) : mkstemp(templ);
    if (!target) path_ = templ;
    dup2(fd, 2);
    close(fd);
  }
  ~StderrCapture() {
    restore();
    if (!path_.empty()) unlink(path_.c_str());
  }
  std::string text() { return path_.empty() ? "" : read_file(path_); }
  void restore() {
    if (saved_ >= 0) dup2(saved_, 2), close(saved_), saved_ = -1;
  }

 private:
  int saved_ = -1;
  std::string path_;
};

class Logger : public ::testing::Test {
 protected:
  void SetUp() override {
    process_info.name = "undef";
    testing_support::reset_logger();
  }
  void TearDown() override {
    log_msg(LOG_CLOSE, "%s", "");
    process_info.name = "undef";
  }
  std::string log(const char *file) { return read_file(root / ("logs/" + today() + "/" + file)); }

  TempRoot root;
  ScopedCwd cwd{root.path()};
};

TEST_F(Logger, LineFormatDayDirectoryAndCurrentLink) {
  log_msg(LOG_MESSAGE, "before %s", "naming");
  process_info.name = "tamsel";
  log_msg(LOG_MESSAGE, "number %d", 42);
  log_msg(LOG_ERROR, "ends in a line feed\n");
  std::regex line(
      "\\d\\d:\\d\\d:\\d\\d\\|undef\\| before naming\n"
      "\\d\\d:\\d\\d:\\d\\d\\|tamsel\\| number 42\n");
  EXPECT_TRUE(std::regex_match(log("message.log"), line)) << log("message.log");
  // The message's own line feed is dropped: one line, no empty one after it.
  EXPECT_TRUE(std::regex_match(
      log("error.log"), std::regex("\\d\\d:\\d\\d:\\d\\d\\|tamsel\\| ends in a line feed\n")));
  char target[64] = {};
  ASSERT_GT(readlink("logs/current", target, sizeof target - 1), 0);
  EXPECT_EQ(target, today());
  struct stat st;
  EXPECT_EQ(stat(("logs/" + today()).c_str(), &st), 0);
}

TEST_F(Logger, ExistingDayDirectoryLeavesCurrentAlone) {
  mkdir(("logs/" + today()).c_str(), 0755);
  ASSERT_EQ(symlink("elsewhere", "logs/current"), 0);
  log_msg(LOG_MESSAGE, "hello");
  char target[64] = {};
  ASSERT_GT(readlink("logs/current", target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "elsewhere");
  EXPECT_NE(log("message.log").find("| hello\n"), std::string::npos);
}

TEST_F(Logger, LineLengthLimitAndErrnoText) {
  process_info.name = "n";           // prefix "hh:mm:ss|n| " is 12 bytes
  std::string fill(1023 - 12, 'a');  // prefix + message = 1023: written whole
  log_msg(LOG_DEBUG, "%s", fill.c_str());
  std::string longer(2000, 'b');  // cut to 1023 bytes plus the line feed
  log_msg(LOG_DEBUG, "%s", longer.c_str());
  errno = ENOENT;
  std::string almost(1023 - 12 - 5, 'c');  // room for 5 bytes of ": text"
  log_msg(LOG_DEBUG | LOG_ERRNO, "%s", almost.c_str());
  log_msg(LOG_DEBUG | LOG_ERRNO, "%s", fill.c_str());  // full: no error text at all
  auto lines = testing_support::split_lines(log("debug.log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 1023u);
  EXPECT_EQ(lines[0].substr(12), fill);
  EXPECT_EQ(lines[1].size(), 1023u);
  EXPECT_EQ(lines[2].size(), 1023u);
  EXPECT_EQ(lines[2].substr(12 + almost.size()),
            std::string(": ") + std::string(strerror(ENOENT)).substr(0, 3));
  EXPECT_EQ(lines[3].substr(12), fill);
  errno = EACCES;
  log_msg(LOG_ACTION | LOG_ERRNO, "cannot open %s", "x");
  EXPECT_NE(log("action.log").find("| cannot open x: " + std::string(strerror(EACCES)) + "\n"),
            std::string::npos);
}

// A message cannot forge a line or send control bytes to the file (and an
// operator's terminal): they are written as \xHH; the error text follows the
// message without its trailing line feeds.
TEST_F(Logger, OneMessageIsOneLineWithControlBytesEscaped) {
  process_info.name = "n";
  log_msg(LOG_ACTION, "user %s", "x\n03:00:00|orvik| table replaced by admin");
  log_msg(LOG_ACTION, "cr%cesc%c[2J del%c nul%c tab\t high\xC3\xA9", '\r', 0x1b, 0x7f, 0);
  errno = ENOENT;
  log_msg(LOG_ACTION | LOG_ERRNO, "cannot open %s\n\n", "x");
  auto lines = testing_support::split_lines(log("action.log"));
  ASSERT_EQ(lines.size(), 3u) << log("action.log");
  EXPECT_EQ(lines[0].substr(8), "|n| user x\\x0a03:00:00|orvik| table replaced by admin");
  EXPECT_EQ(lines[1].substr(8), "|n| cr\\x0desc\\x1b[2J del\\x7f nul\\x00 tab\t high\xC3\xA9");
  EXPECT_EQ(lines[2].substr(8), "|n| cannot open x: " + std::string(strerror(ENOENT)));
}

TEST_F(Logger, KeepsTheCallersErrnoEvenWhenItFails) {
  rmdir("logs");
  StderrCapture capture;
  errno = EDOM;
  log_msg(LOG_MESSAGE, "x");
  EXPECT_EQ(errno, EDOM);
  errno = ERANGE;
  log_msg(LOG_ERROR | LOG_ERRNO, "y");
  EXPECT_EQ(errno, ERANGE);
}

TEST_F(Logger, MissingLogsDirectoryFallsBackToStandardError) {
  rmdir("logs");
  StderrCapture capture;
  log_msg(LOG_MESSAGE, "still said");
  capture.restore();
  std::string err = capture.text();
  std::string dir = "logs/" + today();
  EXPECT_NE(err.find("cannot create directory " + dir + ": " + strerror(ENOENT) + "\n"),
            std::string::npos)
      << err;
  // Without a day directory no file inside it is tried, or reported.
  EXPECT_EQ(err.find("cannot open log file"), std::string::npos) << err;
  EXPECT_NE(err.find("| still said\n"), std::string::npos);
}

TEST_F(Logger, LevelWithoutFileGoesToStandardError) {
  StderrCapture capture;
  log_msg(5, "level five");
  capture.restore();
  EXPECT_NE(capture.text().find("| level five\n"), std::string::npos);
  std::string path = "logs/" + today() + "/";
  EXPECT_NE(log("error.log").find("cannot open log file " + path + " for appending: "),
            std::string::npos)
      << log("error.log");
}

// The day directory is a full tmpfs of one page: the level file can be
// created, but no line fits.
TEST_F(Logger, FailedWriteFallsBackAndIsReported) {
  const std::string day = "logs/" + today();
  mkdir(day.c_str(), 0755);
  if (mount("tmpfs", day.c_str(), "tmpfs", 0, "size=4k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
  struct Unmount {
    std::string dir;
    ~Unmount() { umount2(dir.c_str(), MNT_DETACH); }
  } unmount{day};
  int filler = open((day + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
  const std::string page(4096, 'x');
  while (write(filler, page.data(), page.size()) > 0) {
  }
  close(filler);
  testing_support::write_file(root / (day + "/message.log"), "");
  StderrCapture capture;
  log_msg(LOG_MESSAGE, "lost to a full disk");
  log_msg(LOG_MESSAGE, "second");
  capture.restore();
  EXPECT_NE(capture.text().find("cannot write to message.log: " + std::string(strerror(ENOSPC))),
            std::string::npos)
      << capture.text();
  EXPECT_NE(capture.text().find("| second\n"), std::string::npos);  // slot now on descriptor 2
}

// A program that links the library and starts with descriptors 0 to 2
// closed: the log file must not take one of them, or the program's output
// would go into it.
TEST_F(Logger, LogFilesNeverTakeAStandardDescriptor) {
  pid_t pid = testing_support::fork_child([] {
    testing_support::restart_logger("closed");
    for (int fd = 0; fd <= 2; ++fd) close(fd);
    log_msg(LOG_MESSAGE, "first");
    for (int fd = 0; fd <= 2; ++fd) {
      if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return 1;
    }
    return 0;
  });
  EXPECT_EQ(testing_support::wait_child(pid), 0);
  EXPECT_NE(log("message.log").find("|closed| first\n"), std::string::npos);
}

// With no log directory every line falls back to descriptor 2, which fails
// too: each call must return (a report of the failed write would fail and
// be reported again without end) and leave errno as it was. The child is
// stopped by an alarm if it does loop.
TEST_F(Logger, FailingStandardErrorDoesNotLoopForever) {
  rmdir("logs");
  pid_t pid = testing_support::fork_child([] {
    alarm(10);
    StderrCapture full("/dev/full");
    errno = EDOM;
    int result = log_msg(LOG_ERROR, "nowhere to go") + log_msg(LOG_MESSAGE, "again");
    return result == 0 && errno == EDOM ? 0 : 1;
  });
  EXPECT_EQ(testing_support::wait_child(pid), 0);
}

TEST_F(Logger, CloseReopensInTheDayDirectory) {
  log_msg(LOG_MESSAGE, "one");
  log_msg(LOG_CLOSE, "not written");
  rename(("logs/" + today()).c_str(), "logs/old");
  log_msg(LOG_MESSAGE, "two");
  EXPECT_EQ(log("message.log").find("one"), std::string::npos);
  EXPECT_NE(log("message.log").find("| two\n"), std::string::npos);
  EXPECT_EQ(read_file(root / "logs/old/message.log").find("not written"), std::string::npos);
}

TEST_F(Logger, DayChangeClosesTheFiles) {
  log_msg(LOG_MESSAGE, "one");
  rename(("logs/" + today()).c_str(), "logs/old");
  process_info.log_day = time_cache.day - 1;  // as if the previous message was yesterday
  log_msg(LOG_MESSAGE, "two");
  EXPECT_NE(log("message.log").find("| two\n"), std::string::npos);
}

TEST(DayNumber, CountsDaysSince2000AndChangesEveryMidnight) {
  EXPECT_EQ(velmor::days_since_2000(2000, 0), 0);
  EXPECT_EQ(velmor::days_since_2000(2009, 364), 3652);
  for (int y = 2000; y < 2010; y++)
    EXPECT_EQ(velmor::days_since_2000(y, 0), year_start_days[y - 2000]);
  EXPECT_EQ(velmor::days_since_2000(1999, 364), -1);
  // Each date from 2000 to 2089 is one more than the day before.
  struct tm day = {};
  day.tm_year = 100, day.tm_mday = 1, day.tm_hour = 12;
  time_t t = timegm(&day);
  for (int32_t expect = 0; expect < 32767; expect++, t += 86400) {
    struct tm utc;
    gmtime_r(&t, &utc);
    ASSERT_EQ(velmor::days_since_2000(utc.tm_year + 1900, utc.tm_yday), expect);
  }
}

TEST(TimeCache, RefreshesOncePerSecond) {
  time_cache.refreshed = 0;
  int64_t now = time_cache_update();
  EXPECT_EQ(time_cache.refreshed, now);
  EXPECT_GT(time_cache.day, 9000);  // any date after 2024
  std::regex gmt("[A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d GMT");
  EXPECT_TRUE(std::regex_match(time_cache.gmt_text, gmt)) << time_cache.gmt_text;

  // Within the same second the derived fields are not computed again; a
  // marker planted in them survives the update.
  time_cache.local.tm_hour = 99;
  if (time_cache_update() == now) {
    EXPECT_EQ(time_cache.local.tm_hour, 99);
  }
  // A cache last refreshed in another second is computed afresh.
  time_cache.refreshed = now - 1;
  time_cache.local.tm_hour = 99;
  time_cache_update();
  EXPECT_LT(time_cache.local.tm_hour, 24);
}

}  // namespace
