// The input operands of a run: files read in order, "-" standing for
// standard input, and standard input alone when there are none.
#pragma once

#include <cstdio>

namespace velmor_tools {

class InputFiles {
 public:
  // Takes the operands; must be made before the run changes into the root,
  // since relative names are taken from the directory the program was
  // started in.
  InputFiles(int count, char *const *names, FILE *standard_input);
  ~InputFiles();
  InputFiles(const InputFiles &) = delete;
  InputFiles &operator=(const InputFiles &) = delete;

  // The next input, open for reading; null at the end or when it cannot be
  // opened (logged as "cannot open <name>"; failed() then tells).
  FILE *next();
  bool failed() const { return failed_; }

  // "standard input" or the file's name, for messages.
  const char *name() const { return name_; }

  // Logs "cannot read <name>" with the current errno at LOG_ERROR|LOG_ERRNO.
  void report_read_error() const;

 private:
  void close_current();

  int count_;
  char *const *names_;
  FILE *standard_input_;
  int start_dir_ = -1;       // the directory relative names are taken from
  int start_dir_error_ = 0;  // why it could not be opened
  int next_ = 0;
  FILE *current_ = nullptr;
  const char *name_ = "standard input";
  bool failed_ = false;
};

}  // namespace velmor_tools
