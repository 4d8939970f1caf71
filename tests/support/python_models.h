// Python 3's ipaddress, json and csv modules as independent models of the
// programs' output: the scripts under tests/models/, and how to run them.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace testing_support {

// Path of a script in tests/models/.
inline std::string python_model(const std::string &script) {
  return std::string(TEST_MODELS_DIR) + "/" + script;
}

// The python3 to run: the system's when there is one, else the first on PATH.
inline std::string python3_path() {
  static const std::string path = [] {
    if (access("/usr/bin/python3", X_OK) == 0) return std::string("/usr/bin/python3");
    const RunResult which = run_program("/bin/sh", {"-c", "command -v python3"}, "");
    return which.status == 0 ? which.out.substr(0, which.out.find('\n')) : std::string();
  }();
  return path;
}

// Whether python3 (with the standard modules the models use) can be run.
inline bool python_available() {
  static const bool found =
      !python3_path().empty() &&
      run_program(python3_path(), {"-c", "import csv, ipaddress, json"}, "").status == 0;
  return found;
}

// Runs python3 with args, feeding input.
inline RunResult run_python(const std::vector<std::string> &args, const std::string &input = "") {
  return run_program(python3_path(), args, input);
}

}  // namespace testing_support

#define SKIP_WITHOUT_PYTHON()                                                 \
  if (!testing_support::python_available())                                   \
  GTEST_SKIP() << "python3 is not installed; it is the independent model of " \
                  "the output here (Debian: python3)"
