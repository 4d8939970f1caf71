// Internal: building one log line from its parts. A message can neither end
// its line early nor carry control bytes into the file (or the terminal of
// whoever reads it): each control byte is written as "\xHH".
#pragma once

#include <cstddef>
#include <string_view>

namespace velmor {

// A line's size limit, its line feed included.
constexpr size_t log_line_max = 1024;

struct LogLineParts {
  std::string_view prefix;      // "hh:mm:ss|name| "
  std::string_view message;     // the formatted message
  bool message_whole = true;    // false when the formatter stopped short of its end
  std::string_view error_text;  // ": <error text>" with LOG_ERRNO, else empty
};

// True for the bytes written escaped: below 0x20 except TAB, and 0x7F.
constexpr bool is_log_control(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }

// Writes prefix, message and error text into line, every control byte as
// "\xHH" (lower-case hex), then one line feed; returns the length. A whole
// message's trailing line feeds are dropped first. What does not fit into
// log_line_max bytes is cut between bytes, never inside an escape; the error
// text follows only a message that fit whole. *message_at, when given, gets
// where the message begins in line (after the escaped prefix).
size_t build_log_line(char (&line)[log_line_max], const LogLineParts &parts,
                      size_t *message_at = nullptr);

}  // namespace velmor
