// Whole-file reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "misc.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using services_support::logged;
using services_support::run_in_child;
using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

class FileReadAll : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::reset_logger(); }
  void TearDown() override { log_msg(LOG_CLOSE, "%s", ""); }
  TempRoot root;
  ScopedCwd cwd{root.path()};
};

TEST_F(FileReadAll, ContentsAndSize) {
  write_file("f", std::string("ab\0cd", 5));
  int32_t size = -1;
  char *text = file_read_all("f", &size);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(std::string(text, 6), std::string("ab\0cd\0", 6));
  mem_free(text);
  write_file("empty", "");
  text = file_read_all("empty", &size);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(text[0], '\0');
  mem_free(text);
}

TEST_F(FileReadAll, MissingFileIsQuiet) {
  EXPECT_EQ(file_read_all("missing", nullptr), nullptr);
  EXPECT_EQ(read_file("logs/current/error.log"), "");
}

TEST_F(FileReadAll, UnreadableFileIsReported) {
  write_file("secret", "x");
  chmod("secret", 0600);
  chmod(root.path().c_str(), 0777);
  chmod("logs", 0777);
  pid_t pid = fork();
  if (pid == 0) {  // root reads anything: try it as an unprivileged user
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    testing_support::reset_logger();
    _exit(file_read_all("secret", nullptr) == nullptr ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(read_file("logs/current/error.log").find("cannot open secret: Permission denied"),
            std::string::npos);
}

TEST_F(FileReadAll, RefusesFilesOf2GiBOrMore) {
  int fd = open("big", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(ftruncate(fd, off_t{1} << 31), 0);  // sparse: takes no space
  close(fd);
  int32_t size = 7;
  EXPECT_EQ(file_read_all("big", &size), nullptr);
  EXPECT_EQ(size, 7);
  EXPECT_NE(read_file("logs/current/error.log").find("cannot read big: 2147483648 bytes"),
            std::string::npos);
}

// Only regular files are read: a directory (whose read fails), a FIFO (whose
// open would wait for a writer for ever) and a device are refused.
TEST_F(FileReadAll, RefusesWhatIsNotARegularFile) {
  mkdir("dir", 0755);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  for (const char *path : {"dir", "fifo", "/dev/null"}) {
    SCOPED_TRACE(path);
    int rc = run_in_child([&] {
      alarm(5);  // a blocked open ends the child, not the test run
      int32_t size = 7;
      return file_read_all(path, &size) == nullptr && size == 7 ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(logged(root.path(), "error.log",
                       std::string("| cannot read ") + path + ": not a regular file\n"));
  }
  EXPECT_FALSE(logged(root.path(), "error.log", "short read"));
}

// A file that holds fewer bytes than its size says gives null rather than a
// buffer whose end was never read. Kernel attribute files claim 4096 bytes
// and hold a few, a steady stand-in for a file cut while it is read.
TEST_F(FileReadAll, FileShorterThanItsSizeGivesNull) {
  const std::string path = "/sys/devices/system/cpu/online";
  struct stat st {};
  std::string contents = read_file(path);
  if (stat(path.c_str(), &st) != 0 || st.st_size <= static_cast<off_t>(contents.size()))
    GTEST_SKIP() << path << " is missing or holds its full size: no short file to read";
  int32_t size = 7;
  EXPECT_EQ(file_read_all(path.c_str(), &size), nullptr);
  EXPECT_EQ(size, 7);
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "short read " + path + " (" + std::to_string(contents.size()) + " < " +
                         std::to_string(st.st_size) + ")"));
}

TEST(MemAlloc, FailureIsReportedWithTheCallSite) {
  TempRoot root;
  ScopedCwd cwd(root.path());
  testing_support::reset_logger();
  EXPECT_EQ(mem_alloc(SIZE_MAX / 2, "caller.c", 12), nullptr);
  void *block = mem_alloc(8, "caller.c", 13);
  EXPECT_EQ(mem_realloc(block, SIZE_MAX / 2, "caller.c", 14), nullptr);
  mem_free(block);  // the old block is still valid
  EXPECT_EQ(mem_free(nullptr), nullptr);
  std::string log = read_file("logs/current/error.log");
  EXPECT_NE(
      log.find("| cannot allocate " + std::to_string(SIZE_MAX / 2) + " bytes on caller.c:12\n"),
      std::string::npos);
  EXPECT_NE(
      log.find("| cannot reallocate " + std::to_string(SIZE_MAX / 2) + " bytes on caller.c:14\n"),
      std::string::npos);
  log_msg(LOG_CLOSE, "%s", "");
}

}  // namespace
