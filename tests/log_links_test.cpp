// The logger against links planted by another account that may write
// "logs": a day directory or a level file that is a symbolic link is refused
// and reported, its lines go to the standard error, and nothing is written
// where the link points. Each case logs from a child, so the logger of the
// test process is left alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "hardening_procs.h"
#include "misc.h"
#include "test_support.h"

namespace {

using namespace testing_support;

// Logs text at level from a child whose standard error goes to "stderr.txt"
// in the working directory.
int log_in_child(int level, const char *text) {
  return wait_child(fork_child([level, text] {
    restart_logger("plant");
    if (!stderr_to_file("stderr.txt")) return 2;
    log_msg(level, "%s", text);
    return 0;
  }));
}

class PlantedLinks : public ::testing::Test {
 protected:
  void SetUp() override { write_file(victim_file, "untouched\n"); }
  std::string err() { return read_file(root / "stderr.txt"); }
  std::string day_file(const char *file) { return read_file(root / (day + "/" + file)); }

  TempRoot root;
  ScopedCwd cwd{root.path()};
  const std::string day = "logs/" + local_date();
  const std::string victim_dir = root / "victim";
  const std::string victim_file = root / "victim.txt";
};

TEST_F(PlantedLinks, DayDirectoryThatIsNotARealDirectoryIsRefused) {
  struct Case {
    const char *what;
    bool is_link;  // else a regular file stands at the day directory's name
  } cases[] = {{"link to a directory", true}, {"regular file", false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    unlink(day.c_str());
    remove_tree_at(victim_dir);
    mkdir(victim_dir.c_str(), 0755);
    if (c.is_link) {
      ASSERT_EQ(symlink(victim_dir.c_str(), day.c_str()), 0);
    } else {
      write_file(root / day, "a file\n");
    }
    ASSERT_EQ(log_in_child(LOG_MESSAGE, "kept out"), 0);
    EXPECT_EQ(list_dir(victim_dir), std::vector<std::string>{});
    if (!c.is_link) {
      EXPECT_EQ(read_file(root / day), "a file\n");
    }
    std::string report = "cannot create directory " + day + ": " + strerror(ENOTDIR) + "\n";
    EXPECT_NE(err().find(report), std::string::npos) << err();
    EXPECT_NE(err().find("|plant| kept out\n"), std::string::npos) << err();
    EXPECT_FALSE(path_exists(root / "logs/current"));
  }
}

TEST_F(PlantedLinks, LevelFileThatIsALinkIsRefused) {
  struct Case {
    const char *file;
    const char *target;
    bool report_on_stderr;  // the error log itself is the planted one
  } cases[] = {
      {"message.log", "victim.txt", false},
      {"error.log", "victim.txt", true},
      {"message.log", "absent.txt", false},  // a dangling link must create nothing
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.file) + " -> " + c.target);
    remove_tree_at(root / day);
    mkdir(day.c_str(), 0755);
    ASSERT_EQ(symlink((root / c.target).c_str(), (day + "/" + c.file).c_str()), 0);
    ASSERT_EQ(log_in_child(c.report_on_stderr ? LOG_ERROR : LOG_MESSAGE, "kept out"), 0);
    EXPECT_EQ(read_file(victim_file), "untouched\n");
    EXPECT_FALSE(path_exists(root / "absent.txt"));
    std::string report =
        "cannot open log file " + day + "/" + c.file + " for appending: " + strerror(ELOOP) + "\n";
    EXPECT_NE((c.report_on_stderr ? err() : day_file("error.log")).find(report), std::string::npos)
        << err();
    EXPECT_NE(err().find("|plant| kept out\n"), std::string::npos) << err();
  }
}

// A FIFO planted as a level file would block the logging program for good
// (the open waits for a reader, the writes for room). It is refused and
// the level falls back to the standard error; an alarm stops a child that
// hangs.
TEST_F(PlantedLinks, LevelFileThatIsAFifoIsRefused) {
  mkdir(day.c_str(), 0755);
  const std::string fifo = day + "/message.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  struct Case {
    bool reader;  // a process holds the FIFO open for reading
    std::string reason;
  } cases[] = {{false, strerror(ENXIO)}, {true, "not a regular file"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.reason);
    unlink((root / (day + "/error.log")).c_str());
    int reader = c.reader ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    int rc = wait_child(fork_child([] {
      alarm(10);
      restart_logger("plant");
      if (!stderr_to_file("stderr.txt")) return 2;
      log_msg(LOG_MESSAGE, "%s", "not into a pipe");
      return 0;
    }));
    if (reader >= 0) close(reader);
    ASSERT_EQ(rc, 0);
    EXPECT_NE(err().find("|plant| not into a pipe\n"), std::string::npos) << err();
    EXPECT_NE(day_file("error.log")
                  .find("cannot open log file " + fifo + " for appending: " + c.reason + "\n"),
              std::string::npos)
        << day_file("error.log");
  }
}

// "logs/current" is repointed through a link made under the temporary name
// "logs/current.<seconds><pid>". One planted there already makes that step
// fail: the planted name stays as it was (the logger removes only what it
// made) and the day's logging goes on.
TEST_F(PlantedLinks, PlantedTemporaryNameOfCurrentIsLeftAlone) {
  int rc = wait_child(fork_child([] {
    restart_logger("plant");
    time_t now = time(nullptr);
    for (time_t t = now; t <= now + 2; t++) {
      std::string name = "logs/current." + std::to_string(t) + std::to_string(getpid());
      if (symlink("../victim.txt", name.c_str()) != 0) return 2;
    }
    log_msg(LOG_MESSAGE, "logged all the same");
    return 0;
  }));
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(read_file(victim_file), "untouched\n");
  EXPECT_FALSE(path_exists(root / "logs/current"));
  std::vector<std::string> names = list_dir(root / "logs");
  ASSERT_EQ(names.size(), 4u);  // the day and the three planted names
  for (const std::string &name : names) {
    if (name == local_date()) continue;
    char target[64] = {};
    EXPECT_GT(readlink((root / ("logs/" + name)).c_str(), target, sizeof target - 1), 0) << name;
    EXPECT_STREQ(target, "../victim.txt") << name;
  }
  EXPECT_NE(day_file("message.log").find("|plant| logged all the same\n"), std::string::npos);
  std::string errors = day_file("error.log");
  EXPECT_NE(errors.find("cannot link logs/current."), std::string::npos) << errors;
  EXPECT_NE(errors.find(" -> " + local_date() + ": " + strerror(EEXIST) + "\n"), std::string::npos)
      << errors;
}

}  // namespace
