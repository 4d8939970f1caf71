// Creating, emptying and removing directories.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "misc.h"
#include "services_support.h"
#include "test_support.h"

namespace {

using services_support::logged;
using services_support::run_in_child;
using testing_support::path_exists;
using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::split_lines;
using testing_support::TempRoot;
using testing_support::write_file;

bool is_dir(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string cwd() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
}

class Dirs : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::reset_logger(); }
  void TearDown() override { log_msg(LOG_CLOSE, "%s", ""); }
  std::string errors() { return testing_support::day_log(root.path(), "error.log"); }
  std::string messages() { return testing_support::day_log(root.path(), "message.log"); }
  TempRoot root;
  ScopedCwd cwd_{root.path()};
};

TEST(FdSize, OpenFileAndBadDescriptor) {
  TempRoot root;
  write_file(root / "f", "12345");
  int fd = open((root / "f").c_str(), O_RDONLY);
  EXPECT_EQ(fd_size(fd), 5);
  close(fd);
  EXPECT_EQ(fd_size(-1), -1);
  EXPECT_EQ(fd_size(fd), -1);
}

TEST_F(Dirs, MakePathCreatesEachMissingDirectoryInOrder) {
  mkdir("a", 0755);
  std::string path = "a/b/c/";
  EXPECT_TRUE(make_path(path.c_str()));
  EXPECT_EQ(path, "a/b/c/");
  EXPECT_TRUE(is_dir("a/b/c"));
  std::vector<std::string> lines = split_lines(messages());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("| creating directory a/b"), std::string::npos);
  EXPECT_NE(lines[1].find("| creating directory a/b/c"), std::string::npos);

  std::string absolute = root / "x//y";
  EXPECT_TRUE(make_path(absolute.c_str()));
  EXPECT_TRUE(is_dir(root / "x/y"));
  EXPECT_EQ(errors(), "");
}

TEST_F(Dirs, MakePathOnExistingOrEmptyPathIsQuiet) {
  mkdir("a", 0755);
  symlink("a", "link-to-dir");
  for (const char *path : {"a", "a/", "link-to-dir", "", "/"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(make_path(path));
  }
  EXPECT_EQ(messages(), "");
  EXPECT_EQ(errors(), "");
}

TEST_F(Dirs, MakePathFailures) {
  write_file("file", "");
  EXPECT_FALSE(make_path("file/x/y"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot make directory file/x: Not a directory"));
  // A file where the directory itself should be: the directory does not
  // exist afterwards, so the call fails.
  for (const char *path : {"file", "file/"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(make_path(path));
  }
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot make directory file: Not a directory"));
  EXPECT_EQ(read_file("file"), "");

  // Too long to handle: refused as a whole rather than cut to another path.
  std::string long_path = "long/" + std::string(260, 'p');
  EXPECT_FALSE(make_path(long_path.c_str()));
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "cannot make directory " + long_path + ": File name too long"));
  EXPECT_FALSE(path_exists("long"));

  // A directory the process may not write in; directories made before stay.
  mkdir("locked", 0755);
  log_msg(LOG_ERROR, "opened");  // creates the day directory for the child
  services_support::open_logs_to_nobody(root.path());
  int rc = run_in_child([] { return make_path("locked/x") ? 1 : 0; }, true);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(
      logged(root.path(), "error.log", "cannot make directory locked/x: Permission denied"));
  EXPECT_FALSE(path_exists("locked/x"));
}

TEST_F(Dirs, ClearDirRemovesFilesAndTheDirectory) {
  mkdir("d", 0755);
  for (const char *name : {"d/one", "d/.hidden", "d/..twice"}) write_file(name, "x");
  symlink("/etc/passwd", "d/link");
  EXPECT_TRUE(clear_dir("d"));
  EXPECT_FALSE(path_exists("d"));
  EXPECT_TRUE(path_exists("/etc/passwd"));
  EXPECT_EQ(cwd(), root.path());
  EXPECT_EQ(errors(), "");
}

TEST_F(Dirs, ClearDirLeavesSubdirectoriesAndFails) {
  mkdir("d", 0755);
  mkdir("d/sub", 0755);
  write_file("d/sub/keep", "x");
  write_file("d/plain", "x");
  EXPECT_FALSE(clear_dir("d"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot unlink d/sub: "));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot rmdir d: Directory not empty"));
  EXPECT_FALSE(path_exists("d/plain"));
  EXPECT_TRUE(path_exists("d/sub/keep"));
  EXPECT_EQ(cwd(), root.path());
}

TEST_F(Dirs, ClearDirOnMissingPathOrFile) {
  write_file("file", "x");
  EXPECT_FALSE(clear_dir("missing"));
  EXPECT_FALSE(clear_dir("file"));
  std::string long_path(300, 'q');
  EXPECT_FALSE(clear_dir(long_path.c_str()));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot chdir to missing: No such file"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot chdir to file: Not a directory"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot chdir to " + long_path + ": File name"));
  EXPECT_EQ(read_file("file"), "x");
  EXPECT_EQ(cwd(), root.path());
}

// A symbolic link given as the path is refused, like remove_tree does, and
// the directory it points at keeps its files; a trailing slash, which would
// make the open follow the link, changes nothing.
TEST_F(Dirs, ClearDirRefusesALinkAsThePath) {
  mkdir("outside", 0755);
  write_file("outside/keep", "x");
  symlink("outside", "d");
  for (const char *path : {"d", "d/", "d//"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(clear_dir(path));
  }
  EXPECT_EQ(read_file("outside/keep"), "x");
  EXPECT_TRUE(path_exists("d"));
  EXPECT_TRUE(logged(root.path(), "error.log", "| cannot chdir to d: Not a directory\n"));
}

TEST_F(Dirs, RemoveTreeRemovesLinksButNotTheirTargets) {
  mkdir("outside", 0755);
  write_file("outside/keep", "x");
  for (const char *dir : {"t", "t/a", "t/a/b", "t/empty"}) mkdir(dir, 0755);
  for (const char *file : {"t/f", "t/a/g", "t/a/b/.h"}) write_file(file, "x");
  symlink("../outside", "t/a/dirlink");
  symlink((root / "outside/keep").c_str(), "t/a/b/filelink");
  symlink("missing", "t/dangling");
  mkfifo("t/fifo", 0644);

  EXPECT_TRUE(remove_tree("t/"));
  EXPECT_FALSE(path_exists("t"));
  EXPECT_EQ(read_file("outside/keep"), "x");
  EXPECT_EQ(errors(), "");
}

TEST_F(Dirs, RemoveTreeRefusesALinkAtTheTop) {
  mkdir("outside", 0755);
  write_file("outside/keep", "x");
  symlink("outside", "top");
  EXPECT_FALSE(remove_tree("top"));
  EXPECT_FALSE(remove_tree("top/"));
  EXPECT_EQ(read_file("outside/keep"), "x");
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot opendir top: "));
}

TEST_F(Dirs, RemoveTreeGoesOnPastEntriesItCannotRemove) {
  for (const char *dir : {"t", "t/locked", "t/open"}) mkdir(dir, 0777);
  write_file("t/locked/stays", "x");
  write_file("t/open/goes", "x");
  write_file("t/goes", "x");
  chmod("t", 0777);
  chmod("t/open", 0777);
  log_msg(LOG_ERROR, "opened");
  services_support::open_logs_to_nobody(root.path());
  int rc = run_in_child([] { return remove_tree("t") ? 1 : 0; }, true);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot unlink t/locked/stays: Permission denied"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot rmdir t/locked: Directory not empty"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot rmdir t: Directory not empty"));
  EXPECT_TRUE(path_exists("t/locked/stays"));
  EXPECT_FALSE(path_exists("t/open"));
  EXPECT_FALSE(path_exists("t/goes"));

  EXPECT_FALSE(remove_tree("missing"));
  EXPECT_TRUE(logged(root.path(), "error.log", "cannot opendir missing: No such file"));
}

TEST_F(Dirs, RemoveTreeRefusesChildPathsBeyondTheLimit) {
  // Cut to 255 bytes, the path of the long entry would name its sibling.
  std::string dir = "t/" + std::string(200, 'a');
  std::string long_name = std::string(100, 'b');
  std::string cut_name = std::string(255 - dir.size() - 1, 'b');
  mkdir("t", 0755);
  mkdir(dir.c_str(), 0755);
  write_file(dir + "/" + long_name, "long");
  write_file(dir + "/" + cut_name, "cut");
  EXPECT_FALSE(remove_tree("t"));
  EXPECT_TRUE(logged(root.path(), "error.log",
                     "cannot stat " + dir + "/" + long_name + ": File name too long"));
  EXPECT_EQ(read_file(dir + "/" + long_name), "long");
  EXPECT_FALSE(path_exists(dir + "/" + cut_name));
}

}  // namespace
