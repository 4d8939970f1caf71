// Helpers shared by the tests: scratch installation roots, whole-file reads
// and writes, and running a program with given standard input.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A scratch directory with "conf/" and "logs/" inside, removed with all its
// contents when the object goes away.
class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot &) = delete;
  TempRoot &operator=(const TempRoot &) = delete;
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string &dir);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd &) = delete;
  ScopedCwd &operator=(const ScopedCwd &) = delete;

 private:
  std::string saved_;
};

std::string read_file(const std::string &path);  // "" when missing
void write_file(const std::string &path, const std::string &text);
bool path_exists(const std::string &path);
void remove_tree_at(const std::string &path);
std::vector<std::string> split_lines(const std::string &text);

// Empties root and recreates it with "conf/" and "logs/" inside.
void fresh_root(const std::string &root);

// Contents of <root>/logs/current/<file>, "" when missing.
std::string day_log(const std::string &root, const std::string &file);

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs program with args, feeding input on its standard input. before_exec,
// when given, runs in the child after its standard descriptors are in place
// (to close one, set a limit, ...).
RunResult run_program(const std::string &program, const std::vector<std::string> &args,
                      const std::string &input, const std::function<void()> &before_exec = nullptr);

// run_program with "-r ROOT" before args: a program run in a scratch root.
RunResult run_in_root(const std::string &program, const TempRoot &root,
                      std::vector<std::string> args, const std::string &input = "",
                      const std::function<void()> &before_exec = nullptr);

// "" when the texts are equal, else the first line where they differ, for
// outputs too long to print whole.
std::string first_difference(const std::string &ours, const std::string &expected);

// text with every "ROOT" replaced by root's path, for the messages and
// outputs that name files in the root.
std::string with_root(std::string text, const TempRoot &root);

// Resets the logger so that the next message reopens its files (relative to
// the current directory) and re-reads the clock.
void reset_logger();

}  // namespace testing_support
