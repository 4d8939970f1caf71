// Wrapping of long texts into quoted pieces joined by "\"+\n\"", for texts
// written out as string literals that continue over several lines.
//
// Columns count characters of the current locale (at most 3 bytes each; a
// byte that does not decode counts as one). The first line starts at column
// 17, so its piece holds at most 48 characters; each later piece at most 64.
// A piece is cut before the last white-space byte of its window, so that the
// white space begins the next piece; a window without white space is cut at
// its end. The result buffer starts at 1024 bytes and grows as needed, so
// no text is ever cut short.
#include <cstdlib>
#include <cstring>

#include "misc.h"
#include "str.h"

namespace {

constexpr size_t kShortText = 47;  // up to this many bytes are returned as they are
constexpr int kFirstColumn = 17;
constexpr int kLastColumn = 64;
constexpr size_t kInitialSize = 1024;
constexpr char kJoint[] = "\"+\n\"";
constexpr size_t kJointLength = sizeof kJoint - 1;

char *buffer = nullptr;
size_t buffer_size = 0;

// Makes room for size bytes; false (already reported) when that fails.
bool reserve(size_t size) {
  if (buffer == nullptr) {
    buffer = static_cast<char *>(mem_calloc(kInitialSize, __FILE__, __LINE__));
    if (buffer == nullptr) return false;
    buffer_size = kInitialSize;
  }
  if (size <= buffer_size) return true;
  size_t grown = buffer_size;
  while (grown < size) grown *= 2;
  void *block = mem_realloc(buffer, grown, __FILE__, __LINE__);
  if (block == nullptr) return false;
  buffer = static_cast<char *>(block);
  buffer_size = grown;
  return true;
}

// Byte length of the character at p (before end): 1 for ASCII and for a
// sequence that does not decode within 3 bytes.
size_t char_length(const char *p, const char *end) {
  if (static_cast<unsigned char>(*p) < 0x80) return 1;
  size_t limit = end - p < 3 ? static_cast<size_t>(end - p) : 3;
  int n = mbtowc(nullptr, p, limit);
  if (n > 0) return static_cast<size_t>(n);
  mbtowc(nullptr, nullptr, 0);  // leave no conversion state behind a bad sequence
  return 1;
}

// Where the piece starting at s is cut when its window ends at n: at the
// last white-space byte in (s, n], else at n itself.
const char *cut_point(const char *s, const char *n) {
  for (const char *c = n; c > s; --c) {
    if (str_is_space(static_cast<unsigned char>(*c))) return c;
  }
  return n;
}

// Appends the bytes [from, to) at offset *o, then the joint when joint is
// set, keeping a terminator after them. False when the buffer cannot grow.
bool append_piece(size_t *o, const char *from, const char *to, bool joint) {
  size_t n = static_cast<size_t>(to - from);
  size_t extra = joint ? kJointLength : 0;
  if (!reserve(*o + n + extra + 1)) return false;
  std::memcpy(buffer + *o, from, n);
  std::memcpy(buffer + *o + n, kJoint, extra);
  *o += n + extra;
  buffer[*o] = '\0';
  return true;
}

}  // namespace

extern "C" {

const char *str_wrap_quoted(const char *text) {
  size_t length = std::strlen(text);
  if (length <= kShortText) return text;
  const char *end = text + length;
  size_t o = 0;
  if (!reserve(length + 1)) return "";
  int column = kFirstColumn;
  const char *s = text;
  const char *p = text;
  while (p < end) {
    const char *n = p + char_length(p, end);
    if (n > end) n = end;
    if (column < kLastColumn) {
      ++column;
      p = n;
      continue;
    }
    const char *cut = cut_point(s, n);
    if (cut == end) break;  // the rest fills this piece exactly: no joint
    if (!append_piece(&o, s, cut, true)) return "";
    column = 1;
    s = p = cut;
  }
  if (!append_piece(&o, s, end, false)) return "";
  return buffer;
}

}  // extern "C"
