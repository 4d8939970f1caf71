// Moving files by rename, and by copy and unlink across file systems.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "misc.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using services_support::logged;
using services_support::run_in_child;
using testing_support::path_exists;
using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

struct stat stat_of(const std::string &path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

// Three and a half copy blocks of varied bytes, so a lost or repeated block
// shows.
std::string sample_data() {
  std::string data(0x20000 * 7 / 2, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + i / 977);
  return data;
}

class MoveFile : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::reset_logger(); }
  void TearDown() override { log_msg(LOG_CLOSE, "%s", ""); }
  std::string errors() { return testing_support::day_log(root.path(), "error.log"); }
  TempRoot root;
  ScopedCwd cwd_{root.path()};
};

TEST_F(MoveFile, WithinOneFileSystemRenames) {
  write_file("src", "data");
  ino_t inode = stat_of("src").st_ino;
  EXPECT_EQ(move_file("src", "dst"), 0);
  EXPECT_FALSE(path_exists("src"));
  EXPECT_EQ(read_file("dst"), "data");
  EXPECT_EQ(stat_of("dst").st_ino, inode);
}

TEST_F(MoveFile, RenameFailuresAreLeftToTheCaller) {
  errno = 0;
  EXPECT_EQ(move_file("missing", "dst"), -1);
  EXPECT_EQ(errno, ENOENT);
  write_file("src", "data");
  EXPECT_EQ(move_file("src", "no-dir/dst"), -1);
  EXPECT_EQ(read_file("src"), "data");
  EXPECT_FALSE(path_exists("dst"));
  EXPECT_EQ(errors(), "");
}

// Fixture with a scratch directory on a second file system (/dev/shm), for
// the copying path; skipped where there is none.
class MoveAcross : public MoveFile {
 protected:
  void SetUp() override {
    MoveFile::SetUp();
    char templ[] = "/dev/shm/velmor-move.XXXXXX";
    if (!mkdtemp(templ)) GTEST_SKIP() << "no /dev/shm: cannot test moves across file systems";
    other_ = templ;
    if (stat_of(other_).st_dev == stat_of(root.path()).st_dev)
      GTEST_SKIP() << "/dev/shm and " << root.path()
                   << " are one file system: cannot test moves across file systems";
  }
  void TearDown() override {
    testing_support::remove_tree_at(other_);
    MoveFile::TearDown();
  }
  std::string other(const std::string &name) const { return other_ + "/" + name; }
  std::string other_;
};

TEST_F(MoveAcross, CopiesRemovesSourceAndAppliesTheUmask) {
  std::string data = sample_data();
  write_file(other("src"), data);
  chmod(other("src").c_str(), 0600);
  write_file("dst", "old contents, longer than nothing");
  EXPECT_EQ(move_file(other("src").c_str(), "dst"), 0);
  EXPECT_FALSE(path_exists(other("src")));
  EXPECT_EQ(read_file("dst"), data);

  write_file(other("fresh"), "x");
  mode_t old_mask = umask(022);
  EXPECT_EQ(move_file(other("fresh").c_str(), "fresh"), 0);
  umask(old_mask);
  EXPECT_EQ(stat_of("fresh").st_mode & 0777, 0644u);
  EXPECT_EQ(errors(), "");
}

TEST_F(MoveAcross, DestinationThatCannotBeOpenedKeepsTheSource) {
  write_file(other("src"), "data");
  EXPECT_EQ(move_file(other("src").c_str(), "no-dir/dst"), -1);
  EXPECT_EQ(read_file(other("src")), "data");
  EXPECT_EQ(errors(), "");
}

TEST_F(MoveAcross, ReadFailureIsReportedAndKeepsTheSource) {
  // A directory renames across file systems with EXDEV too, and then
  // opens fine but cannot be read.
  mkdir(other("dir").c_str(), 0755);
  write_file(other("dir/inside"), "x");
  EXPECT_EQ(move_file(other("dir").c_str(), "dst"), -1);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot read from " + other("dir") + ": Is a"));
  EXPECT_EQ(read_file(other("dir/inside")), "x");
}

TEST_F(MoveAcross, WriteFailureIsReportedAndKeepsTheSource) {
  std::string data = sample_data();
  write_file(other("src"), data);
  std::string src = other("src");
  int rc = run_in_child([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100000, 100000};  // the first block already exceeds it
    setrlimit(RLIMIT_FSIZE, &limit);
    return move_file(src.c_str(), "dst") == -1 ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot write to dst: File too large"));
  EXPECT_EQ(read_file(src), data);
}

TEST_F(MoveAcross, SourceThatCannotBeRemovedIsReported) {
  // As an unprivileged user the source directory is read-only: the copy
  // succeeds, the unlink fails, and both files exist.
  write_file(other("src"), "data");
  chmod(other("src").c_str(), 0644);
  chmod(other_.c_str(), 0755);
  log_msg(LOG_ERROR, "opened");
  services_support::open_logs_to_nobody(root.path());
  std::string src = other("src");
  int rc = run_in_child([&] { return move_file(src.c_str(), "dst") == -1 ? 0 : 1; }, true);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot unlink " + src + ": Permission denied"));
  EXPECT_EQ(read_file(src), "data");
  EXPECT_EQ(read_file("dst"), "data");
}

// Fixture with a 64 KiB tmpfs mounted inside the root, a second file system
// that fills up; skipped where mounting is not allowed.
class MoveOntoFullDisk : public MoveFile {
 protected:
  void SetUp() override {
    MoveFile::SetUp();
    mkdir(small_.c_str(), 0755);
    if (mount("tmpfs", small_.c_str(), "tmpfs", 0, "size=64k") != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs here (" << strerror(errno)
                   << "): the full-disk move is not tested";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount2(small_.c_str(), MNT_DETACH);
    MoveFile::TearDown();
  }
  std::string small_ = root / "small";
  bool mounted_ = false;
};

TEST_F(MoveOntoFullDisk, CopyThatRunsOutOfSpaceIsReportedAndKeepsTheSource) {
  std::string data = sample_data();  // 448 KiB into 64 KiB
  write_file("src", data);
  std::string dst = small_ + "/dst";
  EXPECT_EQ(move_file("src", dst.c_str()), -1);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot write to " + dst + ": No space left"));
  EXPECT_EQ(read_file("src"), data);
  std::string copied = read_file(dst);  // what fitted, in order
  EXPECT_LT(copied.size(), data.size());
  EXPECT_EQ(copied, data.substr(0, copied.size()));
}

}  // namespace
