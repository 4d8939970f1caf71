// Fuzzes the building of one log line from arbitrary message bytes:
// - the line is at most 1024 bytes and ends in its only line feed;
// - before that it holds no control byte other than TAB;
// - it starts with the prefix, and reading the message part back (each
//   "\xHH" as the byte it stands for) gives a prefix of the message with its
//   trailing line feeds dropped (all of them when the message was whole);
// - what follows a message read back whole is a prefix of the error text,
//   and anything cut was cut only because the next byte or escape did not fit.
// Input: byte 0 holds flags (bit 0: the formatter cut the message, bit 1:
// an error text follows), byte 1 the length of the program name, byte 2 the
// error number; the rest is the message.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "misc/internal/log_line.h"

namespace {

constexpr size_t limit = velmor::log_line_max;

void check(bool ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
  }
}

// Written here again rather than taken from the code under test.
bool is_control(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }

// How one message byte appears in the line.
std::string token_of(unsigned char c) {
  if (!is_control(c)) return std::string(1, static_cast<char>(c));
  char escape[5];
  snprintf(escape, sizeof escape, "\\x%02x", c);
  return escape;
}

// Reads the message back from the start of body, byte by byte as long as
// the next byte's token follows; returns how many message bytes were read
// and leaves body at the rest.
size_t read_back(std::string_view message, std::string_view *body) {
  size_t read = 0;
  for (; read < message.size(); read++) {
    std::string token = token_of(static_cast<unsigned char>(message[read]));
    if (body->substr(0, token.size()) != token) break;
    body->remove_prefix(token.size());
  }
  return read;
}

void check_line(std::string_view line, std::string_view prefix, std::string_view message,
                std::string_view error_text) {
  check(!line.empty() && line.size() <= limit, "at most 1024 bytes");
  check(line.back() == '\n', "ends in a line feed");
  std::string_view content = line.substr(0, line.size() - 1);
  for (char c : content) check(!is_control(static_cast<unsigned char>(c)), "no control byte");
  check(content.substr(0, prefix.size()) == prefix, "starts with the prefix");
  std::string_view body = content.substr(prefix.size());
  size_t read = read_back(message, &body);
  if (read < message.size()) {
    check(body.empty(), "nothing follows a cut message");
    size_t next = token_of(static_cast<unsigned char>(message[read])).size();
    check(content.size() + next > limit - 1, "the message was cut only when full");
  } else {
    check(error_text.substr(0, body.size()) == body, "the error text follows the message");
    check(body.size() == error_text.size() || content.size() == limit - 1,
          "the error text was cut only when full");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  bool cut_by_formatter = data[0] & 1, with_error = data[0] & 2;
  std::string prefix = "12:34:56|" + std::string(data[1], 'n') + "| ";
  std::string error_text = with_error ? std::string(": ") + strerror(data[2]) : "";
  std::string_view message(reinterpret_cast<const char *>(data + 3), size - 3);

  char line[limit];
  size_t length = velmor::build_log_line(line, {prefix, message, !cut_by_formatter, error_text});
  std::string_view expected = message;
  if (!cut_by_formatter) {
    while (!expected.empty() && expected.back() == '\n') expected.remove_suffix(1);
  }
  check_line(std::string_view(line, length), prefix, expected, error_text);
  return 0;
}
