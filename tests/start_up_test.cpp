// Start-up of the three programs in a root they cannot enter: one line on
// standard error, status 1, nothing read or written elsewhere. (tamsel used
// to go on in the directory it was started in, reading another names file
// and logging there.)
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "hardening_procs.h"
#include "iplookup.h"
#include "orvik.h"
#include "tamsel.h"
#include "test_support.h"

namespace {

using testing_support::read_file;
using testing_support::ScopedCwd;
using testing_support::TempRoot;
using testing_support::write_file;

TEST(StartUp, RootThatCannotBeEnteredEndsTheRunWithOneLine) {
  TempRoot start;  // the directory the program is started in, with logs/ and conf/
  write_file(start / "conf/countries", "7 ru Russia\n");
  write_file(start / "plain-file", "");
  const std::string missing = start / "missing";
  const std::string not_dir = start / "plain-file";
  struct Case {
    const char *program;
    std::function<int(const char *root)> run;
  };
  const Case cases[] = {
      {"tamsel", [](const char *root) { return tamsel_run(root, stdin, stdout); }},
      {"orvik", [](const char *root) { return orvik_run(root, stdin); }},
      {"iplookup",
       [](const char *root) {
         char address[] = "10.0.0.1";
         char *args[] = {address};
         return iplookup_run(root, 1, args, stdin, stdout, stderr);
       }},
  };
  for (const Case &c : cases) {
    for (const std::string &root : {missing, not_dir}) {
      SCOPED_TRACE(std::string(c.program) + " in " + root);
      const std::string err = start / "err", out = start / "out";
      pid_t pid = testing_support::fork_child([&] {
        ScopedCwd cwd(start.path());
        testing_support::restart_logger("undef");
        if (!freopen(out.c_str(), "w", stdout) || !testing_support::stderr_to_file(err)) return 99;
        return c.run(root.c_str());
      });
      EXPECT_EQ(testing_support::wait_child(pid), 1);
      const char *reason = root == missing ? "No such file or directory" : "Not a directory";
      EXPECT_EQ(read_file(err),
                std::string(c.program) + ": cannot chdir to " + root + ": " + reason + "\n");
      EXPECT_EQ(read_file(out), "");
      EXPECT_EQ(testing_support::list_dir(start / "logs"), std::vector<std::string>{});
    }
  }
}

}  // namespace
