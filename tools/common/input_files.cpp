// Opening the input operands one after the other.
#include "input_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "misc.h"

namespace velmor_tools {

namespace {

constexpr const char *kStandardInput = "standard input";

bool is_standard_input(const char *name) { return strcmp(name, "-") == 0; }

}  // namespace

InputFiles::InputFiles(int count, char *const *names, FILE *standard_input)
    : count_(count), names_(names), standard_input_(standard_input) {
  if (count_ > 0) {
    start_dir_ = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (start_dir_ < 0) start_dir_error_ = errno;
  }
}

InputFiles::~InputFiles() {
  close_current();
  if (start_dir_ >= 0) close(start_dir_);
}

void InputFiles::close_current() {
  if (current_ != nullptr && current_ != standard_input_) fclose(current_);
  current_ = nullptr;
}

FILE *InputFiles::next() {
  close_current();
  if (failed_) return nullptr;
  if (count_ == 0) {
    // No operands: standard input, once.
    if (next_++ > 0) return nullptr;
    name_ = kStandardInput;
    return current_ = standard_input_;
  }
  if (next_ >= count_) return nullptr;
  const char *name = names_[next_++];
  if (is_standard_input(name)) {
    name_ = kStandardInput;
    return current_ = standard_input_;
  }
  name_ = name;
  int fd = -1;
  if (name[0] == '/') {
    fd = open(name, O_RDONLY | O_CLOEXEC);
  } else if (start_dir_ >= 0) {
    fd = openat(start_dir_, name, O_RDONLY | O_CLOEXEC);
  } else {
    errno = start_dir_error_;  // the start directory is out of reach
  }
  if (fd >= 0) current_ = fdopen(fd, "r");
  if (current_ == nullptr) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", name);
    if (fd >= 0) close(fd);
    failed_ = true;
  }
  return current_;
}

void InputFiles::report_read_error() const {
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot read %s", name_);
}

}  // namespace velmor_tools
