// Moving files by rename, and by copy and unlink across file systems.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "hardening_procs.h"
#include "misc.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using services_support::logged;
using services_support::run_in_child;
using testing_support::list_dir;
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

TEST_F(MoveAcross, DestinationThatCannotBeWrittenKeepsTheSource) {
  write_file(other("src"), "data");
  mkdir("dir", 0755);
  write_file("dir/inside", "x");
  for (const char *destination : {"no-dir/dst", "dir"}) {  // no directory; a directory in the way
    SCOPED_TRACE(destination);
    EXPECT_EQ(move_file(other("src").c_str(), destination), -1);
    EXPECT_EQ(read_file(other("src")), "data");
  }
  EXPECT_EQ(list_dir(root.path()), (std::vector<std::string>{"conf", "dir", "logs"}));
  EXPECT_EQ(list_dir("dir"), std::vector<std::string>{"inside"});
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
  EXPECT_EQ(list_dir(root.path()), (std::vector<std::string>{"conf", "logs"}));
}

// A copy that fails leaves the destination as it was: the data goes to a
// new file beside it, which replaces it only once complete.
TEST_F(MoveAcross, WriteFailureIsReportedAndKeepsTheSourceAndTheDestination) {
  std::string data = sample_data();
  write_file(other("src"), data);
  write_file("dst", "old contents");
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
  EXPECT_EQ(read_file("dst"), "old contents");
  EXPECT_EQ(list_dir(root.path()), (std::vector<std::string>{"conf", "dst", "logs"}));
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

TEST_F(MoveOntoFullDisk, CopyThatRunsOutOfSpaceIsReportedAndKeepsBothFiles) {
  std::string data = sample_data();  // 448 KiB into 64 KiB
  write_file("src", data);
  std::string dst = small_ + "/dst";
  write_file(dst, "old contents");
  EXPECT_EQ(move_file("src", dst.c_str()), -1);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot write to " + dst + ": No space left"));
  EXPECT_EQ(read_file("src"), data);
  EXPECT_EQ(read_file(dst), "old contents");
  EXPECT_EQ(list_dir(small_), std::vector<std::string>{"dst"});
}

// Fixture for a destination that is the source itself, or another name of
// it: "a" in the root, "b" a bind mount of "a" (the same directory on
// another mount, so a rename between them fails with EXDEV), and the second
// file system of MoveAcross.
class MoveOntoTheSameFile : public MoveAcross {
 protected:
  void SetUp() override {
    MoveAcross::SetUp();
    if (IsSkipped()) return;
    mkdir(a_.c_str(), 0755);
    mkdir(b_.c_str(), 0755);
    if (mount(a_.c_str(), b_.c_str(), nullptr, MS_BIND, nullptr) != 0)
      GTEST_SKIP() << "cannot bind-mount a directory here (" << strerror(errno)
                   << "): moves onto the same file are not tested";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount2(b_.c_str(), MNT_DETACH);
    MoveAcross::TearDown();
  }
  // The regular files in "a" and on the other file system, with contents.
  std::vector<std::pair<std::string, std::string>> files() const {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string &dir : {a_, other_}) {
      for (const std::string &name : list_dir(dir)) {
        std::string path = dir + "/" + name;
        if (S_ISREG(stat_of(path).st_mode)) found.emplace_back(path, read_file(path));
      }
    }
    return found;
  }
  std::string a_ = root / "a", b_ = root / "b";
  bool mounted_ = false;
};

// Whatever names the source, the data survives: the same directory entry
// stays as it is, another name (hard link) keeps the data and the source
// name goes, and a symbolic link at the destination is replaced, never
// written through.
TEST_F(MoveOntoTheSameFile, KeepsTheData) {
  struct Case {
    const char *what;
    std::function<void()> prepare;
    std::string source, destination;
    std::vector<std::pair<std::string, std::string>> files_after;  // regular files only
  };
  std::string f = a_ + "/f", g = a_ + "/g", link = other("link"), victim = other("victim");
  auto hard_link = [&] { ASSERT_EQ(::link(f.c_str(), g.c_str()), 0); };
  const Case cases[] = {
      {"the same path", [] {}, f, f, {{f, "data"}}},
      {"the same entry spelt otherwise", [] {}, f, a_ + "/./f", {{f, "data"}}},
      {"the same entry through a bind mount", [] {}, f, b_ + "/f", {{f, "data"}}},
      {"a hard link", hard_link, f, g, {{g, "data"}}},
      {"a hard link through a bind mount", hard_link, f, b_ + "/g", {{g, "data"}}},
      {"a link to the source on another file system",
       [&] { ASSERT_EQ(symlink(f.c_str(), link.c_str()), 0); },
       f,
       link,
       {{link, "data"}}},
      {"a link to another file on another file system",
       [&] {
         write_file(victim, "keep");
         ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
       },
       f,
       link,
       {{link, "data"}, {victim, "keep"}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string &dir : {a_, other_})
      for (const std::string &name : list_dir(dir)) unlink((dir + "/" + name).c_str());
    write_file(f, "data");
    c.prepare();
    EXPECT_EQ(move_file(c.source.c_str(), c.destination.c_str()), 0);
    EXPECT_EQ(files(), c.files_after);
  }
  EXPECT_EQ(errors(), "");
}

}  // namespace
