// Printing the boundary table: "%s %d\n" per entry, formatted by hand into a
// large buffer (printf costs more than all the rest of the run together).
#include <cerrno>
#include <cstring>

#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {

constexpr size_t buffer_size = size_t{64} * 1024;
constexpr size_t longest_entry = 15 + 8;  // dotted quad, then " -32768\n"

// Decimal text of every octet value, four bytes each: length, then digits.
struct OctetTexts {
  char text[256][4] = {};
  OctetTexts() {
    for (int v = 0; v < 256; ++v) {
      char digits[4];
      int len = snprintf(digits, sizeof digits, "%d", v);
      text[v][0] = static_cast<char>(len);
      memcpy(text[v] + 1, digits, static_cast<size_t>(len));
    }
  }
};

const OctetTexts octet_texts;

}  // namespace

size_t format_quad(uint32_t addr, char *dst) {
  size_t len = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char *t = octet_texts.text[(addr >> shift) & 0xFF];
    memcpy(dst + len, t + 1, 3);  // copying all three is cheaper than a loop
    len += static_cast<size_t>(t[0]);
    if (shift != 0) dst[len++] = '.';
  }
  return len;
}

TableWriter::TableWriter(FILE *out, int16_t covered_id)
    : out_(out), buf_(static_cast<char *>(mem_alloc(buffer_size, __FILE__, __LINE__))) {
  int n = snprintf(covered_text_, sizeof covered_text_, " %d\n", covered_id);
  covered_len_ = static_cast<size_t>(n);
}

TableWriter::~TableWriter() { mem_free(buf_); }

void TableWriter::flush() {
  errno = 0;
  if (len_ != 0 && write_errno_ == 0 && fwrite(buf_, 1, len_, out_) != len_) {
    write_errno_ = errno != 0 ? errno : EIO;
  }
  len_ = 0;
}

void TableWriter::entry(uint32_t start, bool covered) {
  if (buffer_size - len_ < longest_entry + 3) flush();
  char *p = buf_ + len_;
  size_t n = format_quad(start, p);
  if (covered) {
    memcpy(p + n, covered_text_, covered_len_);
    n += covered_len_;
  } else {
    p[n++] = ' ';
    p[n++] = '0';
    p[n++] = '\n';
  }
  len_ += n;
}

bool TableWriter::finish() {
  flush();
  errno = 0;
  if (write_errno_ == 0 && fflush(out_) != 0) write_errno_ = errno != 0 ? errno : EIO;
  return write_errno_ == 0;
}

}  // namespace tamsel
