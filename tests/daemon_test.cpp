// Daemon start: pid file, single-instance lock, detaching. Every start runs
// in a child process; detached instances are killed when the test ends.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "misc.h"
#include "misc/internal/install_root.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using services_support::logged;
using services_support::run_in_child;
using services_support::wait_until;
using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

constexpr int kRefused = 3;  // exit code of a child whose start gave false

std::string link_target(const std::string &path) {
  char buf[256];
  ssize_t n = readlink(path.c_str(), buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

class DaemonStart : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::reset_logger();
    mkdir((root / "velmor").c_str(), 0755);
    mkdir((root / "velmor/pids").c_str(), 0755);
    velmor::set_install_root(root.path().c_str());
  }
  void TearDown() override {
    for (pid_t pid : detached_) kill(pid, SIGKILL);
    velmor::set_install_root(nullptr);
    log_msg(LOG_CLOSE, "%s", "");
  }

  // Calls daemon_start in a child; a detached instance then waits to be
  // killed. Returns the child's exit code: 0 when it went on (for a
  // detached start, the parent's exit), kRefused when the start gave false.
  int start(bool detach, bool refuse, bool as_nobody = false) {
    return run_in_child(
        [=] {
          if (!daemon_start("test-daemon", detach, refuse)) return kRefused;
          if (!detach) return 0;
          for (;;) pause();
        },
        as_nobody);
  }

  // Waits for the pid file to name a live process other than previous, and
  // remembers it for killing.
  pid_t wait_for_instance(pid_t previous) {
    pid_t pid = 0;
    wait_until([&] {
      pid = static_cast<pid_t>(atol(read_file(pid_file()).c_str()));
      return pid > 0 && pid != previous && kill(pid, 0) == 0;
    });
    if (pid > 0 && pid != previous) detached_.push_back(pid);
    return pid;
  }

  bool log_shows(const std::string &file, const std::string &text) {
    return wait_until([&] { return logged(root.path(), file, text); });
  }

  std::string pid_file() const { return root / "velmor/pids/test-daemon"; }

  TempRoot root;
  ScopedCwd cwd_{root.path()};
  std::vector<pid_t> detached_;
};

TEST_F(DaemonStart, DetachedInstanceRecordsItsPidAndHoldsTheLock) {
  ASSERT_EQ(start(true, true), 0);
  pid_t pid = wait_for_instance(0);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(read_file(pid_file()), std::to_string(pid));
  EXPECT_TRUE(log_shows("message.log", std::to_string(pid) + " is starting to work"));

  int fd = open(pid_file().c_str(), O_RDONLY);
  EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(errno, EWOULDBLOCK);
  close(fd);

  EXPECT_EQ(getsid(pid), pid);
  for (int std_fd = 0; std_fd <= 2; ++std_fd)
    EXPECT_EQ(link_target("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(std_fd)),
              "/dev/null");
  char cwd[512];
  ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/cwd").c_str(), cwd, sizeof cwd - 1);
  EXPECT_EQ(std::string(cwd, n > 0 ? static_cast<size_t>(n) : 0), root.path());
}

TEST_F(DaemonStart, SecondInstanceWithRefuseIsTurnedAway) {
  ASSERT_EQ(start(true, true), 0);
  pid_t first = wait_for_instance(0);
  ASSERT_GT(first, 0);
  EXPECT_EQ(start(true, true), kRefused);
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "| another daemon is running [pid: " + std::to_string(first) + "]"));
  EXPECT_EQ(read_file(pid_file()), std::to_string(first));
}

TEST_F(DaemonStart, SecondInstanceWithoutRefuseWarnsAndRunsBeside) {
  ASSERT_EQ(start(true, true), 0);
  pid_t first = wait_for_instance(0);
  ASSERT_GT(first, 0);
  EXPECT_EQ(start(true, false), 0);
  pid_t second = wait_for_instance(first);
  ASSERT_GT(second, 0);
  EXPECT_TRUE(logged(root.path(), "message.log",
                     "| warning: another daemon is running [pid: " + std::to_string(first) + "]"));
  EXPECT_TRUE(log_shows("message.log", std::to_string(second) + " is starting to work"));
  EXPECT_EQ(kill(first, 0), 0);
}

TEST_F(DaemonStart, AttachedStartRecordsItsPidBesideALockHolder) {
  write_file(pid_file(), "99999999");
  int holder = open(pid_file().c_str(), O_RDWR);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(start(false, true), 0);
  std::string pid = read_file(pid_file());
  EXPECT_NE(pid, "99999999");
  EXPECT_GT(atol(pid.c_str()), 0);
  EXPECT_TRUE(logged(root.path(), "message.log", "| " + pid + " is starting to work"));
  EXPECT_EQ(testing_support::day_log(root.path(), "error.log"), "");
  close(holder);
}

TEST_F(DaemonStart, LockHeldOverAnEmptyPidFile) {
  int holder = open(pid_file().c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(start(true, true), kRefused);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot read " + pid_file() + ": No data"));
  EXPECT_TRUE(logged(root.path(), "error.log", "another daemon is running [pid: ]"));
  close(holder);
}

TEST_F(DaemonStart, PidFileThatCannotBeOpened) {
  write_file(pid_file(), "1");
  chmod(pid_file().c_str(), 0644);
  log_msg(LOG_ERROR, "opened");
  services_support::open_logs_to_nobody(root.path());
  EXPECT_EQ(start(true, true, true), kRefused);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot open " + pid_file() + ": Permission"));
  EXPECT_EQ(read_file(pid_file()), "1");

  std::string missing = root / "missing";
  velmor::set_install_root(missing.c_str());
  EXPECT_EQ(start(false, false), kRefused);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot chdir to " + missing + ": No such file"));
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "cannot open " + missing + "/velmor/pids/test-daemon: No such file"));

  velmor::set_install_root(root.path().c_str());
  std::string long_name(300, 'n');
  EXPECT_EQ(run_in_child([&] { return daemon_start(long_name.c_str(), false, false) ? 0 : 1; }), 1);
  EXPECT_TRUE(logged(root.path(), "error.log", long_name + ": File name too long"));
}

// A relative root (VELMOR_ROOT=r, or set by a program) is taken from the
// working directory when it is set: daemon_start changes into the root
// first, and the pid file's path must still be right from there.
TEST_F(DaemonStart, RelativeRootStaysRightAfterTheChangeIntoIt) {
  EXPECT_EQ(run_in_child([&] {
              if (!velmor::set_install_root(".")) return 3;
              return daemon_start("test-daemon", false, false) ? 0 : kRefused;
            }),
            0);
  EXPECT_GT(atol(read_file(pid_file()).c_str()), 0);
  EXPECT_EQ(testing_support::day_log(root.path(), "error.log"), "");
}

// A link planted where the pid file goes is refused, never written through:
// the start fails and the file it points at keeps its contents.
TEST_F(DaemonStart, PlantedLinkAtThePidFileIsRefused) {
  write_file(root / "victim", "keep");
  ASSERT_EQ(symlink((root / "victim").c_str(), pid_file().c_str()), 0);
  for (bool detach : {true, false}) {
    SCOPED_TRACE(detach ? "detached" : "attached");
    EXPECT_EQ(start(detach, true), kRefused);
    EXPECT_EQ(read_file(root / "victim"), "keep");
    pid_t went_on = static_cast<pid_t>(atol(read_file(root / "victim").c_str()));
    if (went_on > 0) detached_.push_back(went_on);  // killed at the end should the test fail
  }
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "cannot open " + pid_file() + ": Too many levels of symbolic links"));
}

// An instance that starts a long-running program and then dies leaves no
// lock behind in that program: a new start succeeds.
TEST_F(DaemonStart, ProgramStartedByADeadInstanceHoldsNoLock) {
  std::string program_pid = root / "program-pid";
  ASSERT_EQ(run_in_child([&] {
              if (!daemon_start("test-daemon", true, true)) return kRefused;
              pid_t program = fork();
              if (program == 0) {
                execlp("sleep", "sleep", "60", static_cast<char *>(nullptr));
                _exit(127);
              }
              write_file(program_pid, std::to_string(program));
              _exit(0);
            }),
            0);
  ASSERT_TRUE(wait_until([&] { return !read_file(program_pid).empty(); }));
  detached_.push_back(static_cast<pid_t>(atol(read_file(program_pid).c_str())));
  auto dead = static_cast<pid_t>(atol(read_file(pid_file()).c_str()));
  wait_until([&] {  // until the instance is gone, or for 5 s when its lock lives on
    int fd = open(pid_file().c_str(), O_RDONLY | O_CLOEXEC);
    bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
  });
  EXPECT_EQ(start(true, true), 0);
  EXPECT_GT(wait_for_instance(dead), 0);  // a dead process can linger as a zombie
  EXPECT_FALSE(logged(root.path(), "error.log", "another daemon is running"));
}

// Flags of descriptor fd of process pid, from /proc/<pid>/fdinfo (octal).
long descriptor_flags(pid_t pid, int fd) {
  std::string info = read_file("/proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd));
  size_t at = info.find("flags:");
  return at == std::string::npos ? -1 : strtol(info.c_str() + at + 6, nullptr, 8);
}

// Started with descriptors 0 to 2 closed, the instance still holds its lock
// (the pid file must not take a standard descriptor that the redirection to
// /dev/null then closes), and /dev/null on 0 to 2 passes on to programs it
// starts.
TEST_F(DaemonStart, StartWithTheStandardDescriptorsClosed) {
  ASSERT_EQ(run_in_child([] {
              for (int fd = 0; fd <= 2; ++fd) close(fd);
              if (!daemon_start("test-daemon", true, true)) return kRefused;
              alarm(60);  // ends the instance should the test not find it
              for (;;) pause();
            }),
            0);
  pid_t pid = wait_for_instance(0);
  ASSERT_GT(pid, 0);
  int fd = open(pid_file().c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
  for (int std_fd = 0; std_fd <= 2; ++std_fd) {
    SCOPED_TRACE(std_fd);
    EXPECT_EQ(link_target("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(std_fd)),
              "/dev/null");
    long flags = descriptor_flags(pid, std_fd);
    EXPECT_TRUE(flags >= 0 && !(flags & O_CLOEXEC)) << std::oct << flags;
  }
}

}  // namespace
