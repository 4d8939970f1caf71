// The compiled table orvik writes in every run that replaces a table: it
// answers exactly as the text files it stands beside, it holds a table the
// run left as it is and the names in effect, and it is renamed before them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "compiled_tables.h"
#include "hardening_procs.h"
#include "ip_ranges.h"
#include "ip_ranges/internal/mapped_record.h"
#include "orvik_csv.h"
#include "test_support.h"

using namespace testing_support;

namespace {

constexpr const char *kNames = "0 -- Unknown\n13 au Australia\n45 cn China\n";

// "first","last","first as a number","last as a number","code","name" for IPv6.
std::string line6(const std::string &first, const std::string &last, const std::string &first_n,
                  const std::string &last_n, const std::string &code) {
  return "\"" + first + "\",\"" + last + "\",\"" + first_n + "\",\"" + last_n + "\",\"" + code +
         "\",\"Somewhere\"\n";
}

const std::string kIpv6 =
    line6("2001:200::", "2001:200::ffff", "42540528726795050063891204319802818560",
          "42540528726795050063891204319802884095", "CN") +
    line6("2001:250::", "2001:250::ffff", "42540535065048051205038211803318845440",
          "42540535065048051205038211803318910975", "NZ");

RunResult orvik(const TempRoot &root, const std::vector<std::string> &args,
                const std::string &input) {
  return run_in_root(ORVIK_BIN, root, args, input);
}

// What a record answers for the addresses around every start of both text
// tables, and its codes and titles: the same from a mapped record (which
// must answer from the compiled table) and from a heap record.
void expect_compiled_answers_as_text(const TempRoot &root) {
  ScopedCwd cwd(root.path());
  ip_ranges *heap = ip_ranges_new("countries");
  ip_ranges *mapped = ip_ranges_new_mapped("countries");
  ASSERT_TRUE(ip_ranges_load(heap));
  ip_ranges_load6(heap);
  ip_ranges_lookup(mapped, 0);
  ASSERT_TRUE(velmor::answers_from_compiled(mapped));
  ASSERT_EQ(mapped->count, heap->count);
  for (int32_t i = 0; i < heap->count; i++) {
    for (const uint32_t a : {heap->starts[i] - 1, heap->starts[i], heap->starts[i] + 1})
      EXPECT_EQ(ip_ranges_lookup(mapped, a), ip_ranges_lookup(heap, a)) << a;
  }
  ASSERT_EQ(ip_ranges_count6(mapped), ip_ranges_count6(heap));
  for (int32_t i = 0; i < ip_ranges_count6(heap); i++) {
    uint8_t start[16], id;
    ASSERT_TRUE(ip_ranges_entry6(heap, i, start, &id));
    EXPECT_EQ(ip_ranges_lookup6(mapped, start), id) << i;
  }
  for (int id = 0; id < 256; id++) {
    const char *code = ip_ranges_code(heap, static_cast<uint16_t>(id));
    const char *mapped_code = ip_ranges_code(mapped, static_cast<uint16_t>(id));
    EXPECT_EQ(code == nullptr, mapped_code == nullptr) << id;
    if (code && mapped_code) {
      EXPECT_STREQ(mapped_code, code) << id;
    }
  }
  ip_ranges_free(mapped);
  ip_ranges_free(heap);
}

TEST(OrvikCompiled, EveryRunThatReplacesATableWritesItsCompiledForm) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  const std::string ipv4 = au("1.0.0.0", "1.0.0.255") + cn("1.0.1.0", "1.0.3.255");

  // A check writes nothing, no compiled table either.
  ASSERT_EQ(orvik(root, {"--check"}, ipv4 + kIpv6).status, 0);
  EXPECT_FALSE(path_exists(root / "conf/countries.ipt"));

  // Both families, with a new code: the compiled table holds the new names.
  RunResult run = orvik(root, {"--update-names"}, ipv4 + kIpv6);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(read_file(root / "conf/countries").find(" nz Somewhere\n"), std::string::npos);
  EXPECT_EQ(run_in_root(IPLOOKUP_BIN, root, {"--verify"}).status, 0);
  expect_compiled_answers_as_text(root);
  const std::string table6 = read_file(root / "conf/countries6.ips");

  // IPv4 lines alone: the IPv6 table stays and the compiled table keeps it.
  run = orvik(root, {}, au("2.0.0.0", "2.0.0.255"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(root / "conf/countries6.ips"), table6);
  EXPECT_EQ(read_file(root / "conf/countries.ips"), "0.0.0.0 0\n2.0.0.0 13\n2.0.1.0 0\n");
  expect_compiled_answers_as_text(root);
  EXPECT_EQ(
      list_table_files(root / "conf"),
      (std::vector<std::string>{"countries", "countries.ips", "countries.ipt", "countries6.ips"}));
}

// A table the run leaves as it is may be taken from the compiled file in
// place instead of its text, but only while that file holds the text as it
// is: damaged bytes (the checksum fails) and a text file replaced since
// are read from the text, so the new compiled file answers as the text.
TEST(OrvikCompiled, TableLeftAsItIsComesFromTheTextWheneverTheCompiledFileMayDiffer) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  const std::string ipv4 = au("1.0.0.0", "1.0.0.255") + cn("1.0.1.0", "1.0.3.255");
  ASSERT_EQ(orvik(root, {}, ipv4 + kIpv6).status, 0);

  // An IPv6 id changed in the compiled file: its layout still passes.
  std::string bytes = read_file(root / "conf/countries.ipt");
  const velmor::compiled::Header h = header_of(bytes);
  const auto &ids6 = h.sections[velmor::compiled::ids6];
  ASSERT_GT(ids6.size, 1u);
  bytes[ids6.offset + 1] = static_cast<char>(bytes[ids6.offset + 1] == 13 ? 45 : 13);
  write_file(root / "conf/countries.ipt", bytes);
  RunResult run = orvik(root, {}, au("2.0.0.0", "2.0.0.255"));
  ASSERT_EQ(run.status, 0) << run.err;
  expect_compiled_answers_as_text(root);

  // The IPv6 text replaced by hand since: the compiled file is stale.
  write_file(root / "conf/countries6.ips", ":: 0\n2001:db8:: 45\n2001:db9:: 0\n");
  run = orvik(root, {}, au("3.0.0.0", "3.0.0.255"));
  ASSERT_EQ(run.status, 0) << run.err;
  expect_compiled_answers_as_text(root);
  EXPECT_EQ(run_in_root(IPLOOKUP_BIN, root, {"--verify"}).status, 0);

  // Replaced again within the tick the compiled file was written in: the
  // text shows the very time the compiled file recorded, and its own (the
  // other sources are older, so the compiled file is not stale).
  struct stat st;
  ASSERT_EQ(stat((root / "conf/countries6.ips").c_str(), &st), 0);
  write_file(root / "conf/countries6.ips", ":: 0\n2001:db8:: 13\n2001:dba:: 0\n");
  for (const char *file : {"conf/countries6.ips", "conf/countries.ipt"})
    set_mtime(root / file, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  for (const char *file : {"conf/countries.ips", "conf/countries"})
    set_mtime(root / file, st.st_mtim.tv_sec - 1);
  run = orvik(root, {}, au("4.0.0.0", "4.0.0.255"));
  ASSERT_EQ(run.status, 0) << run.err;
  expect_compiled_answers_as_text(root);
}

// A table the run leaves as it is must go into the compiled table too; one
// that cannot be read (a hand-made file whose starts descend) fails the run
// before anything is renamed.
TEST(OrvikCompiled, UnreadableTableLeftAsItIsFailsBeforeAnyRename) {
  TempRoot root;
  write_file(root / "conf/countries", kNames);
  write_file(root / "conf/countries.ips", "0.0.0.0 0\n9.0.0.0 13\n");
  write_file(root / "conf/countries6.ips", ":: 0\n2001:db8:: 13\n2001:db7:: 45\n");
  const RunResult run = orvik(root, {}, au("1.0.0.0", "1.0.0.255"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "orvik: cannot write conf/countries.ipt: IPv6 entry 3 starts below the one "
            "before it\n");
  EXPECT_EQ(read_file(root / "conf/countries.ips"), "0.0.0.0 0\n9.0.0.0 13\n");
  EXPECT_EQ(list_table_files(root / "conf"),
            (std::vector<std::string>{"countries", "countries.ips", "countries6.ips"}));
}

}  // namespace
