// Reading the run's input, streamed or held in memory.
#include "input_lines.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "misc.h"

namespace orvik {

namespace {

constexpr size_t kPieceMax = 1023;  // what fgets(line, 1024, in) hands over at most
constexpr size_t kReadSize = size_t{1} << 18;
constexpr size_t kFirstRoom = size_t{1} << 20;

// Lends the piece [piece, piece + length) to take in place, ended by a NUL
// in the byte after it (which the buffer always has). take may cut the
// line end, the piece's last two bytes; those and the byte after the piece
// are put back, so a text held for a second pass is read the same again.
void lend_piece(char *piece, size_t length, bool first, const LineSource::Take &take) {
  const char after = piece[length];
  const char last = length > 0 ? piece[length - 1] : '\0';
  const char before_last = length > 1 ? piece[length - 2] : '\0';
  piece[length] = '\0';
  take(piece, length, first);
  piece[length] = after;
  if (length > 0) piece[length - 1] = last;
  if (length > 1) piece[length - 2] = before_last;
}

// Hands the pieces of [text, text + size) to take as fgets would cut them:
// up to and with a line feed, or 1023 bytes of a longer line; text[size]
// must be there for the NUL after the last piece. The piece at the end
// without a line feed is handed over only when at_end; gives the bytes
// handed over.
size_t cut_pieces(char *text, size_t size, bool at_end, bool *first, const LineSource::Take &take) {
  size_t pos = 0;
  while (pos < size) {
    const size_t rest = size - pos;
    const size_t window = rest < kPieceMax ? rest : kPieceMax;
    const auto *feed = static_cast<const char *>(memchr(text + pos, '\n', window));
    size_t length;
    if (feed != nullptr)
      length = static_cast<size_t>(feed - (text + pos)) + 1;
    else if (window == kPieceMax || at_end)
      length = window;
    else
      break;  // the rest of the line is still to be read
    lend_piece(text + pos, length, *first, take);
    *first = false;
    pos += length;
  }
  return pos;
}

// Hands every piece of in to take; false when reading failed.
bool read_pieces(FILE *in, const LineSource::Take &take) {
  // Large reads instead of a copy per line; the pieces are the ones fgets
  // would give.
  // One byte more than is read, for the NUL after the last piece.
  std::vector<char> buffer(kReadSize + kPieceMax + 1);
  const size_t room = buffer.size() - 1;
  size_t held = 0;
  bool first = true;
  for (;;) {
    const size_t got = fread(buffer.data() + held, 1, room - held, in);
    held += got;
    const bool at_end = got == 0;
    const size_t used = cut_pieces(buffer.data(), held, at_end, &first, take);
    memmove(buffer.data(), buffer.data() + used, held - used);
    held -= used;
    if (at_end) return ferror(in) == 0;
  }
}

// The end of the whole pieces at the start of [text, text + size) when
// more may follow: after the last line feed, or, in a line longer than the
// text, after its last whole 1023 bytes (0 when there are none yet).
size_t whole_pieces(const char *text, size_t size) {
  const auto *feed = static_cast<const char *>(memrchr(text, '\n', size));
  if (feed != nullptr) return static_cast<size_t>(feed - text) + 1;
  return size / kPieceMax * kPieceMax;
}

// Hands the blocks of whole pieces of in to take; false when reading failed.
bool read_blocks(FILE *in, const LineSource::TakeBlock &take) {
  std::vector<char> buffer(kReadSize + kPieceMax);
  size_t held = 0;
  bool input_start = true;
  for (;;) {
    const size_t got = fread(buffer.data() + held, 1, buffer.size() - held, in);
    held += got;
    const bool at_end = got == 0;
    const size_t whole = at_end ? held : whole_pieces(buffer.data(), held);
    if (whole > 0) {
      take(buffer.data(), whole, input_start);
      input_start = false;
    }
    memmove(buffer.data(), buffer.data() + whole, held - whole);
    held -= whole;
    if (at_end) return ferror(in) == 0;
  }
}

}  // namespace

void cut_block(char *text, size_t size, bool first, std::string *spill,
               const std::function<void(const char *piece, size_t length, bool first)> &take) {
  for (size_t pos = 0; pos < size; first = false) {
    const size_t rest = size - pos;
    const size_t window = rest < kPieceMax ? rest : kPieceMax;
    char *piece = text + pos;
    auto *feed = static_cast<char *>(memchr(piece, '\n', window));
    size_t length = feed != nullptr ? static_cast<size_t>(feed - piece) : window;
    pos += feed != nullptr ? length + 1 : length;
    char *line = piece;
    if (feed != nullptr) {
      *feed = '\0';
    } else {  // no byte of its own to end it: a copy
      line = spill->data() + spill->size();
      spill->append(piece, length);
      spill->push_back('\0');
    }
    // The line end cut as str_chomp cuts it: the line feed, then a '\r'.
    if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
    take(line, length, first);
  }
}

bool StreamedInput::feed_blocks(const TakeBlock &take) {
  while (FILE *in = inputs_.next()) {
    if (!read_blocks(in, take)) {
      inputs_.report_read_error();
      return false;
    }
  }
  return !inputs_.failed();
}

bool StreamedInput::feed(const Take &take) {
  while (FILE *in = inputs_.next()) {
    if (!read_pieces(in, take)) {
      inputs_.report_read_error();
      return false;
    }
  }
  return !inputs_.failed();
}

HeldInput::~HeldInput() { mem_free(text_); }

bool HeldInput::hold(velmor_tools::InputFiles &inputs) {
  while (FILE *in = inputs.next()) {
    if (!append(in, inputs)) return false;
    ends_.push_back(size_);
  }
  return !inputs.failed();
}

// Appends all of in, the current input, to text_; false after a logged
// failure (a read error, or no memory, which the allocator reports).
bool HeldInput::append(FILE *in, const velmor_tools::InputFiles &inputs) {
  // A file's size is known: room for all of it (and the byte that finds its
  // end) at once, instead of copies on the way.
  const int64_t file_size = fd_size(fileno(in));
  if (file_size > 0 && !grow(size_ + static_cast<size_t>(file_size) + 1)) return false;
  for (;;) {
    if (size_ == room_ && !grow(room_ == 0 ? kFirstRoom : room_ * 2)) return false;
    const size_t got = fread(text_ + size_, 1, room_ - size_, in);
    size_ += got;
    if (got > 0) continue;
    if (ferror(in) == 0) return true;
    inputs.report_read_error();
    return false;
  }
}

// Makes room for at least room bytes; false when memory ran out (reported).
bool HeldInput::grow(size_t room) {
  if (room <= room_) return true;
  auto *text = static_cast<char *>(mem_realloc(text_, room, __FILE__, __LINE__));
  if (text == nullptr) return false;
  text_ = text;
  room_ = room;
  return true;
}

bool HeldInput::feed(const Take &take) {
  size_t begin = 0;
  for (const size_t end : ends_) {
    bool first = true;  // each input cut on its own
    cut_pieces(text_ + begin, end - begin, true, &first, take);
    begin = end;
  }
  return true;
}

}  // namespace orvik
