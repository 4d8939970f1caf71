// Building one log line: the parts escaped, cut to the limit, one line feed.
#include "misc/internal/log_line.h"

namespace velmor {

namespace {

// Appends to a line, keeping the last byte of log_line_max for its line feed.
class LineWriter {
 public:
  explicit LineWriter(char *line) : line_(line) {}

  // Appends text escaped; false when it did not fit whole (the bytes and
  // escapes that fit stay).
  bool append(std::string_view text) {
    for (char c : text) {
      auto byte = static_cast<unsigned char>(c);
      if (!is_log_control(byte)) {
        if (!reserve(1)) return false;
        line_[length_++] = c;
      } else {
        if (!reserve(4)) return false;
        line_[length_++] = '\\';
        line_[length_++] = 'x';
        line_[length_++] = hex_digits[byte >> 4];
        line_[length_++] = hex_digits[byte & 0xf];
      }
    }
    return true;
  }

  size_t length() const { return length_; }

  size_t finish() {
    line_[length_++] = '\n';
    return length_;
  }

 private:
  static constexpr char hex_digits[] = "0123456789abcdef";
  bool reserve(size_t bytes) const { return length_ + bytes <= log_line_max - 1; }

  char *line_;
  size_t length_ = 0;
};

}  // namespace

size_t build_log_line(char (&line)[log_line_max], const LogLineParts &parts, size_t *message_at) {
  std::string_view message = parts.message;
  if (parts.message_whole) {
    while (!message.empty() && message.back() == '\n') message.remove_suffix(1);
  }
  LineWriter writer(line);
  const bool prefix_whole = writer.append(parts.prefix);
  if (message_at) *message_at = writer.length();
  if (prefix_whole && writer.append(message)) writer.append(parts.error_text);
  return writer.finish();
}

}  // namespace velmor
