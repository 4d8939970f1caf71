// One log line built from its parts: control bytes escaped, the message's
// trailing line feeds dropped, exactly one line feed at the end, and the
// 1024-byte limit applied to the escaped line without cutting an escape.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "misc/internal/log_line.h"

namespace {

using velmor::build_log_line;
using velmor::log_line_max;
using velmor::LogLineParts;

const std::string prefix = "12:34:56|n| ";             // 12 bytes
const size_t room = log_line_max - 1 - prefix.size();  // 1011 bytes for message and error text
const std::string no_file = ": No such file or directory";

std::string build(const LogLineParts &parts) {
  char line[log_line_max];
  size_t length = build_log_line(line, parts);
  EXPECT_LE(length, log_line_max);
  return std::string(line, length);
}

std::string a(size_t n) { return std::string(n, 'a'); }

TEST(LogLine, EscapesControlBytesAndDropsTrailingLineFeeds) {
  using namespace std::string_literals;
  struct Case {
    const char *what;
    std::string message;
    std::string expected;  // the line between prefix and line feed
    std::string error_text = "";
  } cases[] = {
      {"plain", "table loaded", "table loaded"},
      {"forged line", "x\n03:00:00|orvik| table replaced by admin",
       "x\\x0a03:00:00|orvik| table replaced by admin"},
      {"carriage return", "ok\rFAKE", "ok\\x0dFAKE"},
      {"terminal escape", "\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
      {"NUL (from %c)", "a\0b"s, "a\\x00b"},
      {"unit separator and DEL", "\x1f\x7f", "\\x1f\\x7f"},
      {"TAB kept", "a\tb", "a\tb"},
      {"bytes from 0x80 kept", "caf\xc3\xa9 \x80\xff", "caf\xc3\xa9 \x80\xff"},
      {"a backslash is not escaped", "C:\\x41", "C:\\x41"},
      {"trailing line feeds", "done\n\n\n", "done"},
      {"only a line feed", "\n", ""},
      {"empty", "", ""},
      {"CR LF", "read\r\n", "read\\x0d"},
      {"inner and trailing", "a\nb\n", "a\\x0ab"},
      {"error text after the dropped line feeds", "cannot open x\n\n", "cannot open x" + no_file,
       no_file},
      {"a message of line feeds only, with error text", "\n\n", no_file, no_file},
  };
  for (const Case &c : cases) {
    LogLineParts parts{prefix, c.message, true, c.error_text};
    EXPECT_EQ(build(parts), prefix + c.expected + "\n") << c.what;
  }
}

TEST(LogLine, CutsAtTheLimitNeverInsideAnEscape) {
  struct Case {
    const char *what;
    std::string message;
    std::string error_text;
    std::string expected;  // the line between prefix and line feed
  } cases[] = {
      {"fills the line exactly", a(room), "", a(room)},
      {"one byte over", a(room + 1), "", a(room)},
      {"far over", a(5000), "", a(room)},
      {"escape ends exactly at the limit", a(room - 4) + "\x1b", "", a(room - 4) + "\\x1b"},
      {"escape one byte short", a(room - 3) + "\x1b", "", a(room - 3)},
      {"escape three bytes short", a(room - 1) + "\x1b", "", a(room - 1)},
      {"nothing after a cut escape", a(room - 3) + "\x1b" + "b", "", a(room - 3)},
      {"escapes only", std::string(400, '\r'), "",
       [] {
         std::string s;
         for (size_t i = 0; i < room / 4; i++) s += "\\x0d";
         return s;
       }()},
      {"many trailing line feeds", a(10) + std::string(3000, '\n'), "", a(10)},
      {"error text cut", a(room - 5), no_file, a(room - 5) + no_file.substr(0, 5)},
      {"full message: no error text", a(room), no_file, a(room)},
      {"cut message: no error text in the room left", a(room - 3) + "\x1b", no_file, a(room - 3)},
  };
  for (const Case &c : cases) {
    LogLineParts parts{prefix, c.message, true, c.error_text};
    std::string line = build(parts);
    EXPECT_EQ(line, prefix + c.expected + "\n") << c.what;
  }
}

// A message the formatter had to cut ends where the buffer ended, not where
// the message did: its last line feeds are inner ones and stay, escaped.
TEST(LogLine, LineFeedsAtTheEndOfACutMessageAreKept) {
  std::string message = a(100) + std::string(923, '\n');  // what 1024 bytes held
  std::string line = build({prefix, message, false, no_file});
  std::string expected = prefix + a(100);
  while (expected.size() + 4 <= log_line_max - 1) expected += "\\x0a";
  EXPECT_EQ(line, expected + "\n");
}

TEST(LogLine, ControlBytesInTheProgramNameAreEscapedToo) {
  EXPECT_EQ(build({"12:34:56|a\nb| ", "x", true, ""}), "12:34:56|a\\x0ab| x\n");
}

}  // namespace
