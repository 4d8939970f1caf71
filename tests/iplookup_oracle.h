// Python 3's json and ipaddress modules as independent judges of
// iplookup's output, through iplookup_oracle.py next to this file.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace iplookup_oracle {

inline const std::string &script_path() {
  static const std::string path = [] {
    const std::string header = __FILE__;
    return header.substr(0, header.rfind('/') + 1) + "iplookup_oracle.py";
  }();
  return path;
}

// Runs python3 with args: the system's when there is one (it starts
// fastest), else the first on PATH.
inline testing_support::RunResult run_python(std::vector<std::string> args) {
  if (access("/usr/bin/python3", X_OK) == 0)
    return testing_support::run_program("/usr/bin/python3", args, "");
  args.insert(args.begin(), "python3");
  return testing_support::run_program("/usr/bin/env", args, "");
}

// Whether python3 with the two modules can be run.
inline bool available() {
  static const bool found = run_python({"-c", "import ipaddress, json"}).status == 0;
  return found;
}

// Runs the oracle with args (see the script); status 0 when every check
// passed, else out lists the problems.
inline testing_support::RunResult check(std::vector<std::string> args) {
  args.insert(args.begin(), script_path());
  return run_python(args);
}

}  // namespace iplookup_oracle

#define SKIP_WITHOUT_PYTHON()                                                          \
  if (!iplookup_oracle::available())                                                   \
  GTEST_SKIP() << "python3 (with its json and ipaddress modules) is not on PATH; the " \
                  "independent checks of the output need it"
