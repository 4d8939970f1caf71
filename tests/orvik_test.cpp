// orvik's line reading, and its file handling under faults (each fault run in
// a child process: a user without write rights, a file-size limit, a table
// path that cannot be renamed over).
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "fast_reading.h"
#include "input_lines.h"
#include "orvik.h"
#include "orvik_csv.h"
#include "python_models.h"
#include "range_line.h"
#include "str.h"
#include "test_support.h"

namespace {

using testing_support::csv_line;
using testing_support::day_log;
using testing_support::path_exists;
using testing_support::read_file;
using testing_support::TempRoot;
using testing_support::write_file;

TEST(OrvikReadLine, Fields) {
  orvik::LineFields f;
  orvik::read_line("\"1.0.0.0\",\"1.0.0.255\",\"16777216\",\"16777471\",\"Au\",\"Australia\"", &f);
  EXPECT_TRUE(f.complete);
  EXPECT_EQ(f.start, 16777216u);
  EXPECT_EQ(f.end, 16777471u);
  EXPECT_STREQ(f.code, "au");
  EXPECT_STREQ(f.name, "\"Australia\"");

  // A quote inside the code field cuts it; a name is cut at 30 characters.
  const std::string long_name = "a,b,\"1\",\"2\",\"R\"U\",\"" + std::string(40, 'n') + "\"";
  orvik::read_line(long_name.c_str(), &f);
  EXPECT_STREQ(f.code, "r");
  EXPECT_EQ(std::string(f.name), "\"" + std::string(29, 'n'));

  // Fewer than five non-empty fields read as a line without numbers.
  for (const char *line : {"", "\"a\",,\"b\",\"5\",", "a,b,\"1\",\"2\"", ",,,,,,"}) {
    orvik::read_line(line, &f);
    EXPECT_FALSE(f.complete) << line;
    EXPECT_EQ(f.start, 0u) << line;
  }
}

// The fast readings take the lines in the published shapes and read them
// exactly as the careful reader; every other shape they leave.
TEST(OrvikFastReading, ReadsAsTheCarefulReaderOrLeavesTheLine) {
  constexpr auto six = orvik::InputFormat::six_field;
  constexpr auto range = orvik::InputFormat::range_code;
  constexpr auto ip2l = orvik::InputFormat::ip2location;
  struct Case {
    orvik::InputFormat format;
    const char *line;
    bool taken;
    bool first = false;
  } const cases[] = {
      {six, "\"1.0.0.0\",\"1.0.0.255\",\"16777216\",\"16777471\",\"AU\",\"Australia\"", true},
      {six, "\"1.0.0.0\",\"1.0.0.255\",\"16777216\",\"16777471\",\"AU\"", true},
      {six, "\"1.0.0.0\",\"1.0.0.255\",\"16777216\",\"16777471\",\"AU\",", true},
      {six, "\"a\",\"b\",\"4294967295\",\"0016777471\",\"Au\",\"Korea, Republic of\"", true},
      {six, "\"a\",\"b\",\"1\",\"2\",\"AU\",\"A name far longer than thirty characters\"", true},
      {six,
       "\"2001:200::\", \"2001:200::ffff\", \"42540528726795050063891204319802818560\", "
       "\"42540528726795050063891204319802884095\", \"JP\", \"Japan, the\"",
       true},
      {six, "\"2001:200::\",\"x\",\"1\",\"2\",\"jp\"", true},
      {six, "\"1.0.0.0\",\"1.0.0.255\",\"16777216\",\"16777471\",\"AU\"", true, true},
      // Left to the careful reader:
      {six, "\"a\",\"b\",\"4294967296\",\"1\",\"AU\",\"n\"", false},  // beyond 32 bits
      {six, "\"a\",,\"b\",\"1\",\"2\",\"AU\"", false},                // an empty field
      {six, "\"a\",\"b\",\" 1\",\"2\",\"AU\",\"n\"", false},          // a blank in a number
      {six, "\"a\",\"b\",\"1\",\"2\",\"A-U\",\"n\"", false},          // not letters
      {six, "\"a\",\"b\",\"1\",\"2\",\"AU\",,\"n\"", false},  // the name after an empty field
      {six, "\"2001::\",\"b\",\"1\",\"2\",\"JP\",\"a \"\"b\"\"\"", false},  // quotes in the name
      {six, "\"2001::\",\"b\",\"1\",\"2\",\"JP\",\"n\",\"more\"", false},   // seven fields
      {six, "\"2001::\",\"b,c\",\"1\",\"2\",\"JP\"", false},                // a comma in a field
      {six, "\"2001::\",\"b\",\"340282366920938463463374607431768211455\",\"2\",\"JP\"", false},

      {range, "1.0.0.0,1.0.0.255,AU", true},
      {range, "1.0.0.0\t1.0.0.255\tau", true},
      {range, "1.0.0.0,1.0.0.255,AU,ignored \"text\"", true},
      {range, "255.255.255.0,255.255.255.255,Zz", true},
      {range, "16777216,16777471,AU", true},
      {range, "0016777216,4294967295,AU", true},
      {range, "281470698520576,281470698520831,AU", true},  // IPv4-mapped numbers
      {range, "42540528726795050063891204319802818560,42540528726795050063891204319802884095,JP",
       true},
      {range, "2001:200::,2001:200::ffff,JP", true},
      {range, "::,::1,JP", true},
      {range, "1:2:3:4:5:6:7:8,1:2:3:4:5:6:7::,JP", true},
      {range, "::ffff:102:304,::ffff:102:3ff,AU", true},  // IPv4-mapped text stays IPv6
      // Left to the careful reader:
      {range, "1.0.0.0,1.0.0.255,AU", false, true},  // a first line: a header may stand there
      {range, "1.0.0.0, 1.0.0.255,AU", false},       // a blank
      {range, "\"1.0.0.0\",1.0.0.255,AU", false},    // quotes
      {range, "1.0.0.0,1.0.0.255,", false},          // no code
      {range, "1.0.0.0,1.0.0.255,A1", false},        // not letters
      {range, "1.0.0.0,1.0.0.255,AU ", false},       // a blank after the code
      {range, "1.0.0.00,1.0.0.255,AU", false},       // a leading zero
      {range, "1.0.0.256,1.0.0.255,AU", false},      // beyond 255
      {range, "1.0.0.0,16777471,AU", false},         // a quad and a number
      {range, "1.0.0.0\t1.0.0.255,AU", false},       // two separators
      {range, "::ffff:1.0.0.0,::ffff:1.0.0.255,AU", false},            // an embedded quad
      {range, "1::2::3,::4,JP", false},                                // two gaps
      {range, "1:2:3:4:5:6:7:8:9,::,JP", false},                       // nine groups
      {range, "12345::,::,JP", false},                                 // five digits
      {range, "1:,::,JP", false},                                      // a single ':' at the end
      {range, "123456789012345678901234567890123456789,1,JP", false},  // beyond 38 digits

      {ip2l, "\"16777216\",\"16777471\",\"AU\",\"Australia\"", true},
      {ip2l, "\"0\",\"16777215\",\"-\",\"-\"", true},  // a gap
      {ip2l, "\"281470698520576\",\"281470698520831\",\"AU\",\"Australia\"", true},
      {ip2l, "\"42540528726795050063891204319802818560\",\"1\",\"JP\",\"Korea, Republic of\"",
       true},
      // Left to the careful reader:
      {ip2l, "\"16777216\",\"16777471\",\"AU\",\"Australia\"", false, true},  // a first line
      {ip2l, "\"16777216\",\"16777471\",\"AU\"", false},                      // no name
      {ip2l, "\"16777216\",\"16777471\",\"AU\",\"Aus\"\"tralia\"", false},    // a quote inside
      {ip2l, "\"16777216\",\"16777471\",\"AU\",\"Australia\",", false},       // more after it
      {ip2l, "\"16777216\",\"16777471\",\"A-\",\"n\"", false},                // not letters
      {ip2l, "\"16777216\",16777471,\"AU\",\"n\"", false},                    // unquoted
      {ip2l, "\"340282366920938463463374607431768211455\",\"1\",\"JP\",\"n\"", false},  // 39 digits
  };
  for (const Case &c : cases) {
    orvik::RunOptions options;
    options.format = c.format;
    const auto careful = orvik::make_reader(options);
    const auto fast = orvik::make_fast_reading(options);
    orvik::RangeLine quick, sure;
    ASSERT_EQ(fast->read(c.line, strlen(c.line), c.first, &quick), c.taken) << c.line;
    if (!c.taken) continue;
    careful->read(c.line, c.first, &sure);
    EXPECT_EQ(quick.family, sure.family) << c.line;
    EXPECT_TRUE(quick.range.start == sure.range.start && quick.range.end == sure.range.end)
        << c.line;
    EXPECT_STREQ(quick.range.code, sure.range.code) << c.line;
    EXPECT_EQ(quick.range.name == nullptr, sure.range.name == nullptr) << c.line;
    if (quick.range.name != nullptr && sure.range.name != nullptr) {
      EXPECT_STREQ(quick.range.name, sure.range.name) << c.line;
    }
    EXPECT_EQ(quick.range.complete, sure.range.complete) << c.line;
    EXPECT_EQ(quick.range.malformed, sure.range.malformed) << c.line;
    EXPECT_EQ(quick.passed, sure.passed) << c.line;
  }
}

// The pieces a run reads, with their line ends cut as FamilyTables cuts
// them: one list from feed, piece by piece, one from feed_blocks cut by
// cut_block. Both must be the pieces fgets would give, whatever the lines.
TEST(OrvikInputLines, BlocksCutIntoThePiecesFeedGives) {
  TempRoot root;
  const std::string long_line(3000, 'x'), exact(1023, 'y'), huge(300000, 'z');
  std::string big;  // past one read of 256 KB, with lines across its end
  for (int i = 0; i < 9000; i++) big += "1.0.0." + std::to_string(i % 250) + ",2.0.0.0,AU\r\n";
  const std::vector<std::string> texts = {
      "a\nb\n",
      "no line feed at the end",
      "\n\n\r\n\r",
      long_line + "\n" + exact + "\n",
      exact + "\r\n" + exact,
      "nul\0inside\n",
      big + long_line,
      huge + "\nend\n" + huge,
      "",
  };
  std::vector<std::string> names;
  for (size_t i = 0; i < texts.size(); i++) {
    names.push_back(root / ("input" + std::to_string(i)));
    write_file(names.back(), texts[i]);
  }
  std::vector<char *> operands;
  for (std::string &name : names) operands.push_back(name.data());
  using Pieces = std::vector<std::pair<std::string, bool>>;

  Pieces fed, cut;
  velmor_tools::InputFiles first_inputs(static_cast<int>(operands.size()), operands.data(), stdin);
  orvik::StreamedInput streamed(first_inputs);
  ASSERT_TRUE(streamed.feed([&fed](char *piece, size_t length, bool first) {
    if (length > 0 && piece[length - 1] == '\n') --length;
    if (length > 0 && piece[length - 1] == '\r') --length;
    fed.emplace_back(std::string(piece, length), first);
  }));
  velmor_tools::InputFiles second_inputs(static_cast<int>(operands.size()), operands.data(), stdin);
  orvik::StreamedInput blocks(second_inputs);
  ASSERT_TRUE(blocks.feeds_blocks());
  ASSERT_TRUE(blocks.feed_blocks([&cut](const char *text, size_t size, bool input_start) {
    std::string block(text, size), spill;
    spill.reserve(size + size / 1023 + 2);
    orvik::cut_block(block.data(), size, input_start, &spill,
                     [&cut](const char *piece, size_t length, bool first) {
                       cut.emplace_back(std::string(piece, length), first);
                     });
  }));
  ASSERT_EQ(cut.size(), fed.size());
  for (size_t i = 0; i < fed.size(); i++) {
    EXPECT_EQ(cut[i].first, fed[i].first) << "piece " << i;
    EXPECT_EQ(cut[i].second, fed[i].second) << "piece " << i;
  }
}

TEST(OrvikCsvField, QuotedFieldsKeepTheirCommasAndQuotes) {
  struct Case {
    const char *line;
    int index;
    bool found;
    const char *value;
  } const cases[] = {
      {R"("1","2","3","4","KR","Korea, Republic of")", 6, true, "Korea, Republic of"},
      {R"("1","2","3","4","CI","Cote D""Ivoire")", 6, true, "Cote D\"Ivoire"},
      {R"("1","2","3","4","X","""Quoted"" name")", 6, true, "\"Quoted\" name"},
      {R"("1","2","3","4","KR","Korea, Republic)", 6, true, "Korea, Republic"},  // no closing quote
      {R"("1","2","3","4","AU","Australia",extra)", 6, true, "Australia"},
      {R"("1","2","3","4","AU","Austral"ia,x)", 6, true, "Australia"},  // text after the quote
      {R"(1,2,3,4,AU,Plain name)", 6, true, "Plain name"},
      {R"(1,2,3,4,AU,a"b"c)", 6, true, "a\"b\"c"},  // a quote inside an unquoted field
      {R"("a,b",2,3,4,AU,Name)", 6, true, "Name"},  // a comma inside an earlier field
      {R"("1","2","3","4","AU","")", 6, true, ""},
      {R"("1","2","3","4","AU",)", 6, true, ""},
      {R"("1","2","3","4","AU")", 6, false, ""},
      {"", 1, true, ""},
      {"", 2, false, ""},
  };
  for (const Case &c : cases) {
    std::string value = "stale";
    EXPECT_EQ(orvik::read_csv_field(c.line, c.index, &value), c.found) << c.line;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.line;
    }
  }
}

// Python's csv module (its default, lenient dialect) as the oracle on lines
// made of the characters that matter: commas, quotes, blanks, letters.
TEST(OrvikCsvField, ReadsAsPythonsCsvModule) {
  SKIP_WITHOUT_PYTHON();
  std::mt19937 random(2026);
  const char alphabet[] = {'a', 'b', ',', ',', '"', '"', ' '};
  std::vector<std::string> lines;
  std::string input;
  for (int i = 0; i < 2000; ++i) {
    std::string line(1 + random() % 24, 'x');
    for (char &c : line) c = alphabet[random() % sizeof alphabet];
    lines.push_back(line);
    input += line + "\n";
  }
  // One output line per input line, the fields separated by \x1f.
  const auto python =
      testing_support::run_python({"-c",
                                   "import csv, sys\n"
                                   "for line in sys.stdin.read().split('\\n')[:-1]:\n"
                                   "    print('\\x1f'.join(next(csv.reader([line]))))"},
                                  input);
  ASSERT_EQ(python.status, 0) << python.err;
  const auto rows = testing_support::split_lines(python.out);
  ASSERT_EQ(rows.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> fields;
    for (size_t pos = 0;;) {
      const size_t end = rows[i].find('\x1f', pos);
      fields.push_back(rows[i].substr(pos, end - pos));
      if (end == std::string::npos) break;
      pos = end + 1;
    }
    for (int index = 1; index <= 8; ++index) {
      std::string value;
      const bool found = orvik::read_csv_field(lines[i].c_str(), index, &value);
      ASSERT_EQ(found, index <= static_cast<int>(fields.size())) << lines[i] << " field " << index;
      if (found) {
        ASSERT_EQ(value, fields[index - 1]) << lines[i] << " field " << index;
      }
    }
  }
}

TEST(OrvikWriteEntry, MatchesTheTableFormat) {
  for (uint32_t start : {0u, 1u, 0x0A000001u, 0x01020304u, 0x7F000100u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    for (int id : {0, 9, 45, 100, 255, -1, 1000}) {
      char *text = nullptr;
      size_t size = 0;
      FILE *out = open_memstream(&text, &size);
      orvik::write_entry(out, start, id);
      fclose(out);
      EXPECT_EQ(std::string(text, size),
                std::string(str_ip_format(start)) + " " + std::to_string(id) + "\n");
      free(text);
    }
  }
}

// Runs orvik's logic on input in a child process after prepare(); returns
// its exit status.
int run_in_child(const std::string &root, const std::string &input,
                 const std::function<void()> &prepare) {
  FILE *in = tmpfile();
  fwrite(input.data(), 1, input.size(), in);
  rewind(in);
  const pid_t pid = fork();
  if (pid == 0) {
    prepare();
    testing_support::reset_logger();
    _exit(orvik_run(root.c_str(), in));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  fclose(in);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void nothing() {}

void become_nobody() {
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
}

// A file-size limit that the table outgrows: writes fail with EFBIG.
void limit_file_size() {
  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{100, 100};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(99);
}

// Lines alternating between two codes, so that every line writes an entry.
std::string alternating_ranges(int count) {
  std::string input;
  for (int i = 0; i < count; ++i) {
    const std::string first = "1." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".0";
    const std::string last =
        "1." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".255";
    input += csv_line(first, last, i % 2 ? "CN" : "AU", "Somewhere");
  }
  return input;
}

class OrvikFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(root / "conf/countries", "13 au Australia\n45 cn China\n");
    write_file(root / "conf/countries.ips", kOldTable);
  }
  std::string conf_listing() {
    std::string names;
    for (const char *name : {"countries", "countries.ips"}) {
      if (path_exists(root / "conf/" + name)) names += std::string(name) + " ";
    }
    return names;
  }
  bool temporary_left() {
    const std::string listing = testing_support::run_program("/bin/ls", {root / "conf"}, "").out;
    return listing.find("countries.ips.") != std::string::npos;
  }

  static constexpr const char *kOldTable = "0.0.0.0 0\n9.0.0.0 13\n";
  TempRoot root;
};

TEST_F(OrvikFaults, UnwritableConfIsReportedAndChangesNothing) {
  chmod(root.path().c_str(), 0755);
  chmod((root / "logs").c_str(), 0777);  // the message itself must be able to land
  EXPECT_EQ(run_in_child(root.path(), alternating_ranges(3), become_nobody), 1);
  EXPECT_TRUE(std::regex_search(
      day_log(root.path(), "error.log"),
      std::regex(R"(\|orvik\| cannot open conf/countries\.lock: Permission denied\n)")))
      << day_log(root.path(), "error.log");
  EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable);
  EXPECT_FALSE(temporary_left());
}

TEST_F(OrvikFaults, FullDiskAtCloseKeepsTheOldTable) {
  // 10 entries stay in the stream's buffer until the close; 400 fail earlier.
  for (int lines : {10, 400}) {
    EXPECT_EQ(run_in_child(root.path(), alternating_ranges(lines), limit_file_size), 1) << lines;
    EXPECT_TRUE(std::regex_search(
        day_log(root.path(), "error.log"),
        std::regex(R"(\|orvik\| cannot close conf/countries\.ips\.\d+: File too large\n)")))
        << lines << ": " << day_log(root.path(), "error.log");
    EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable) << lines;
    EXPECT_FALSE(temporary_left()) << lines;
    remove((root / "logs/current/error.log").c_str());
  }
}

TEST_F(OrvikFaults, FullFileSystemKeepsTheOldTable) {
  // "conf" becomes a 64 KiB tmpfs holding the names and the old table; the
  // new table (about 120 KiB) does not fit.
  const std::string conf = root / "conf";
  if (mount("tmpfs", conf.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << strerror(errno)
                 << "): the full file system is not tested";
  write_file(conf + "/countries", "13 au Australia\n45 cn China\n");
  write_file(conf + "/countries.ips", kOldTable);
  EXPECT_EQ(run_in_child(root.path(), alternating_ranges(10000), nothing), 1);
  EXPECT_TRUE(std::regex_search(
      day_log(root.path(), "error.log"),
      std::regex(R"(\|orvik\| cannot close conf/countries\.ips\.\d+: No space left on device\n)")))
      << day_log(root.path(), "error.log");
  EXPECT_EQ(read_file(conf + "/countries.ips"), kOldTable);
  EXPECT_FALSE(temporary_left());
  umount2(conf.c_str(), MNT_DETACH);
}

TEST_F(OrvikFaults, FailedRenameRemovesTheTemporaryFile) {
  // A non-empty directory where the table should be cannot be renamed over.
  remove((root / "conf/countries.ips").c_str());
  mkdir((root / "conf/countries.ips").c_str(), 0755);
  write_file(root / "conf/countries.ips/keep", "x");
  EXPECT_EQ(run_in_child(root.path(), alternating_ranges(3), nothing), 1);
  EXPECT_TRUE(std::regex_search(
      day_log(root.path(), "error.log"),
      std::regex(R"(\|orvik\| cannot rename conf/countries\.ips\.\d+ -> conf/countries\.ips: )")))
      << day_log(root.path(), "error.log");
  EXPECT_EQ(read_file(root / "conf/countries.ips/keep"), "x");
  EXPECT_FALSE(temporary_left());
}

TEST_F(OrvikFaults, MissingRootLogsNothing) {
  EXPECT_EQ(run_in_child(root / "absent", "", nothing), 1);
  EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable);
  EXPECT_EQ(day_log(root.path(), "error.log"), "");
}

// A names file that cannot be read gives no code an id: the table would be
// id 0 alone, so the run fails and the old table stays.
TEST_F(OrvikFaults, UnreadableNamesKeepTheOldTable) {
  remove((root / "conf/countries").c_str());
  mkdir((root / "conf/countries").c_str(), 0755);  // there, but no file to read
  EXPECT_EQ(run_in_child(root.path(), alternating_ranges(3), nothing), 1);
  EXPECT_EQ(read_file(root / "conf/countries.ips"), kOldTable);
  EXPECT_NE(
      day_log(root.path(), "error.log").find("|orvik| cannot read the names file conf/countries\n"),
      std::string::npos)
      << day_log(root.path(), "error.log");
  EXPECT_FALSE(temporary_left());
}

// Another account that can write conf/ plants a link under the temporary
// name, pointing at a file of root's. orvik used to open it with
// fopen("w"), overwrite the victim and rename the link over the table. The
// name is removed (the link itself, not its target) and created anew.
TEST_F(OrvikFaults, PlantedLinkUnderTheTemporaryNameIsNeverWrittenThrough) {
  const std::string victim = root / "victim";
  write_file(victim, "precious\n");
  const std::string conf = root / "conf";
  EXPECT_EQ(run_in_child(root.path(), alternating_ranges(3),
                         [&] {
                           const std::string planted =
                               conf + "/countries.ips." + std::to_string(getpid());
                           if (symlink(victim.c_str(), planted.c_str()) != 0) _exit(99);
                         }),
            0);
  EXPECT_EQ(read_file(victim), "precious\n");
  struct stat st;
  ASSERT_EQ(lstat((conf + "/countries.ips").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(read_file(conf + "/countries.ips"),
            "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.2.0 13\n1.0.3.0 0\n");
  EXPECT_FALSE(temporary_left());
}

}  // namespace
