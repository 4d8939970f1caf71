// Python 3's json and ipaddress modules as independent judges of
// iplookup's output, through tests/models/iplookup_oracle.py.
#pragma once

#include <string>
#include <vector>

#include "python_models.h"
#include "test_support.h"

namespace iplookup_oracle {

// Runs the oracle with args (see the script); status 0 when every check
// passed, else out lists the problems.
inline testing_support::RunResult check(std::vector<std::string> args) {
  args.insert(args.begin(), testing_support::python_model("iplookup_oracle.py"));
  return testing_support::run_python(args);
}

// Hex of a byte text, as the oracle takes code and title ("-": null).
inline std::string hex(const std::string &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
  return text;
}

}  // namespace iplookup_oracle
