// Whole-file reads.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "misc.h"
#include "test_support.h"

namespace {

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
