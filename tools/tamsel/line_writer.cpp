// Printing the output lines: each table entry formatted by the table
// format's own writer, each CIDR block by the CIDR line writer, into a
// large buffer (printf costs more than all the rest of the run together).
#include <cerrno>
#include <cstring>

#include "ip_ranges/internal/cidr.h"
#include "ip_ranges/internal/table_format.h"
#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {

constexpr size_t buffer_size = size_t{64} * 1024;

}  // namespace

LineWriter::LineWriter(FILE *out, int16_t covered_id)
    : out_(out),
      buf_(static_cast<char *>(mem_alloc(buffer_size, __FILE__, __LINE__))),
      covered_id_(covered_id) {}

LineWriter::~LineWriter() { mem_free(buf_); }

void LineWriter::flush() {
  errno = 0;
  if (len_ != 0 && write_errno_ == 0 && fwrite(buf_, 1, len_, out_) != len_) {
    write_errno_ = errno != 0 ? errno : EIO;
  }
  len_ = 0;
}

void LineWriter::make_room(size_t line_max) {
  if (buffer_size - len_ < line_max) flush();
}

void LineWriter::entry(uint32_t start, bool covered) {
  make_room(velmor::table_entry_max);
  len_ += velmor::format_table_entry(buf_ + len_, start, covered ? covered_id_ : 0);
}

void LineWriter::block(uint32_t base, int prefix_length) {
  make_room(velmor::cidr_line_max);
  len_ += velmor::format_cidr_line(base, prefix_length, buf_ + len_);
}

void LineWriter::entry6(velmor::uint128 start, bool covered) {
  make_room(velmor::table6_entry_max);
  uint8_t bytes[16];
  velmor::uint128_to_bytes(start, bytes);
  len_ += velmor::format_table_entry6(buf_ + len_, bytes, covered ? covered_id_ : 0);
}

void LineWriter::block6(velmor::uint128 base, int prefix_length) {
  make_room(velmor::cidr6_line_max);
  len_ += velmor::format_cidr6_line(base, prefix_length, buf_ + len_);
}

bool LineWriter::finish() {
  flush();
  errno = 0;
  if (write_errno_ == 0 && fflush(out_) != 0) write_errno_ = errno != 0 ? errno : EIO;
  return write_errno_ == 0;
}

}  // namespace tamsel
