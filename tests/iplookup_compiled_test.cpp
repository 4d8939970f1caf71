// iplookup --compile and --verify, and the answers of every mode from a
// compiled table: the same output as from the text tables.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "compiled_tables.h"
#include "hardening_procs.h"
#include "test_support.h"

using namespace testing_support;

namespace {

RunResult iplookup(const TempRoot &root, const std::vector<std::string> &args,
                   const std::string &input = "") {
  return run_in_root(IPLOOKUP_BIN, root, args, input);
}

void lay_out_tables(const TempRoot &root) {
  write_file(root / "conf/countries", "0 -- Unknown\n1 ru Russian Federation\n7 nl Netherlands\n");
  write_file(root / "conf/countries.ips",
             "0.0.0.0 0\n5.3.0.0 1\n5.4.0.0 0\n10.0.0.0 7\n11.0.0.0 0\n");
  write_file(root / "conf/countries6.ips", ":: 0\n2001:db8:: 7\n2001:db9:: 1\n2001:dba:: 0\n");
}

TEST(IplookupCompiled, EveryModeAnswersFromTheCompiledTableAsFromTheText) {
  TempRoot root;
  lay_out_tables(root);
  const std::vector<std::vector<std::string>> runs = {
      {"5.3.1.2", "10.9.9.9", "2001:db8::1", "::ffff:5.3.0.1", "2001:db9:ffff::"},
      {"--json", "8.8.8.8", "2001:db9::"},
      {"--export", "nl"},
      {"-6", "--export", "ru"},
      {"--summary"},
  };
  std::vector<RunResult> from_text;
  for (const auto &args : runs) from_text.push_back(iplookup(root, args));
  const RunResult compiled = iplookup(root, {"--compile"});
  EXPECT_EQ(compiled.status, 0);
  EXPECT_EQ(compiled.out + compiled.err, "");
  ASSERT_TRUE(path_exists(root / "conf/countries.ipt"));
  // The text tables are changed in place but kept older: the compiled
  // table answers, so the output shows where the answers came from.
  write_file(root / "conf/countries.ips", "0.0.0.0 9\n");
  set_mtime(root / "conf/countries.ips", 1'000'000'000);
  for (size_t i = 0; i < runs.size(); i++) {
    const RunResult run = iplookup(root, runs[i]);
    EXPECT_EQ(run.status, from_text[i].status) << runs[i][0];
    EXPECT_EQ(run.out, from_text[i].out) << runs[i][0];
    EXPECT_EQ(run.err, from_text[i].err) << runs[i][0];
  }
  const RunResult verbose = iplookup(root, {"-v", "5.3.1.2", "2001:db8::1"});
  EXPECT_EQ(verbose.err, with_root("iplookup: loaded ROOT/conf/countries.ipt: 5 IPv4 entries\n"
                                   "iplookup: loaded ROOT/conf/countries.ipt: 4 IPv6 entries\n",
                                   root));
  // A text table newer than the compiled file: the text answers again.
  write_file(root / "conf/countries.ips", "0.0.0.0 7\n");
  EXPECT_EQ(iplookup(root, {"5.3.1.2"}).out, "5.3.1.2 7 nl Netherlands\n");
  EXPECT_EQ(day_log(root.path(), "error.log"), "");
}

TEST(IplookupCompiled, VerifyNamesWhatIsWrongInOneLine) {
  struct Case {
    const char *what;
    void (*damage)(const TempRoot &root);
    const char *line;  // "" for a file without fault
  };
  const Case cases[] = {
      {"whole", [](const TempRoot &) {}, ""},
      {"missing", [](const TempRoot &root) { remove_tree_at(root / "conf/countries.ipt"); },
       "cannot open it: No such file or directory"},
      {"cut",
       [](const TempRoot &root) {
         const std::string path = root / "conf/countries.ipt";
         write_file(path, read_file(path).substr(0, 400));
       },
       "the header says 2736 bytes, the file has 400"},
      {"a title changed",
       [](const TempRoot &root) {
         const std::string path = root / "conf/countries.ipt";
         std::string bytes = read_file(path);
         bytes[bytes.rfind("Netherlands")] = 'n';
         write_file(path, bytes);
       },
       "the checksum does not match the contents"},
  };
  for (const Case &c : cases) {
    TempRoot root;
    lay_out_tables(root);
    ASSERT_EQ(iplookup(root, {"--compile"}).status, 0);
    c.damage(root);
    const RunResult run = iplookup(root, {"--verify"});
    EXPECT_EQ(run.status, *c.line ? 1 : 0) << c.what;
    EXPECT_EQ(run.out, "") << c.what;
    const std::string expected =
        *c.line ? with_root("iplookup: ROOT/conf/countries.ipt: ", root) + c.line + "\n" : "";
    EXPECT_EQ(run.err, expected) << c.what;
  }
}

TEST(IplookupCompiled, CompileFailsWithOneLineAndWritesNothing) {
  TempRoot root;
  write_file(root / "conf/countries", "1 ru Russia\n");
  RunResult run = iplookup(root, {"--compile"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "iplookup: cannot compile table countries: neither conf/countries.ips nor "
            "conf/countries6.ips exists\n");
  write_file(root / "conf/countries.ips", "10.0.0.0 1\n9.0.0.0 0\n");
  run = iplookup(root, {"-t", "countries", "--compile"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "iplookup: cannot write conf/countries.ipt: IPv4 entry 2 starts below the one before "
            "it\n");
  EXPECT_FALSE(path_exists(root / "conf/countries.ipt"));
}

// --compile takes the table's write lock: it waits for a run that holds it.
TEST(IplookupCompiled, CompileWaitsForTheTablesLock) {
  TempRoot root;
  lay_out_tables(root);
  const int fd = open((root / "conf/countries.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  const pid_t holder = fork_child([fd] {
    usleep(300000);
    flock(fd, LOCK_UN);
    return 0;
  });
  close(fd);  // the child's descriptor holds the lock now
  const RunResult run = iplookup(root, {"--compile"});
  EXPECT_EQ(wait_child(holder), 0);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(path_exists(root / "conf/countries.ipt"));
  EXPECT_NE(day_log(root.path(), "message.log").find("waiting for conf/countries.lock"),
            std::string::npos);
}

}  // namespace
