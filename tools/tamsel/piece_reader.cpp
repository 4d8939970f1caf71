// Cutting an input into pieces: big block reads, fgets semantics.
#include <cerrno>
#include <cstring>

#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {
// Room for the unread tail of the previous block (less than one piece)
// and a fresh block behind it.
constexpr size_t block_size = size_t{256} * 1024;
}  // namespace

PieceReader::PieceReader(FILE *in, size_t size)
    : in_(in),
      block_(static_cast<char *>(mem_alloc(block_size, __FILE__, __LINE__))),
      size_(size < piece6_max ? size : piece6_max) {}

PieceReader::~PieceReader() { mem_free(block_); }

void PieceReader::restart(FILE *in) {
  in_ = in;
  pos_ = len_ = 0;
  at_eof_ = false;
  read_errno_ = 0;
}

// Moves the unread tail to the front and fills the block behind it. fread
// only returns short at the end of the input or on an error.
void PieceReader::refill() {
  size_t tail = len_ - pos_;
  memmove(block_, block_ + pos_, tail);
  pos_ = 0;
  len_ = tail;
  errno = 0;
  size_t got = fread(block_ + tail, 1, block_size - tail, in_);
  len_ += got;
  if (got < block_size - tail) {
    at_eof_ = true;
    if (ferror(in_)) read_errno_ = errno != 0 ? errno : EIO;
  }
}

bool PieceReader::next(const char **begin, const char **end) {
  if (len_ - pos_ < size_ && !at_eof_) refill();
  size_t avail = len_ - pos_;
  if (avail == 0 || read_errno_ != 0) return false;
  const char *start = block_ + pos_;
  size_t take = avail < size_ ? avail : size_;
  const void *lf = memchr(start, '\n', take);
  if (lf != nullptr) take = static_cast<size_t>(static_cast<const char *>(lf) - start) + 1;
  pos_ += take;
  *begin = start;
  *end = start + take;
  return true;
}

const char *piece_text_end(const char *begin, const char *end) {
  const void *nul = memchr(begin, '\0', static_cast<size_t>(end - begin));
  if (nul != nullptr) end = static_cast<const char *>(nul);
  if (end > begin && end[-1] == '\n') --end;
  if (end > begin && end[-1] == '\r') --end;
  return end;
}

}  // namespace tamsel
