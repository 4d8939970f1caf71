// Reading the run's input, streamed or held in memory.
#include "input_lines.h"

#include <cstdio>

#include "misc.h"

namespace orvik {

namespace {

constexpr int kLineSize = 1024;
constexpr size_t kFirstRoom = size_t{1} << 20;

// Hands every piece of in to take; false when reading failed.
bool read_pieces(FILE *in, const LineSource::Take &take) {
  char line[kLineSize];
  for (bool first = true; fgets(line, sizeof line, in) != nullptr; first = false) take(line, first);
  return ferror(in) == 0;
}

}  // namespace

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
    if (end > begin) {
      FILE *in = fmemopen(text_ + begin, end - begin, "r");
      if (in == nullptr) {
        log_msg(LOG_ERROR | LOG_ERRNO, "cannot read the input held in memory");
        return false;
      }
      read_pieces(in, take);  // memory cannot fail to be read
      fclose(in);
    }
    begin = end;
  }
  return true;
}

}  // namespace orvik
