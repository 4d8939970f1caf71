// Field splitting: a line cut into fixed-size output buffers on a set of
// delimiter bytes.
#include <cstdarg>
#include <cstring>

#include "str.h"

namespace {

constexpr size_t kSplitBufferSize = 1024;
char split_buffer[kSplitBufferSize];  // copy of the line being cut

}  // namespace

extern "C" int str_split(const char *source, const char *delimiters, int32_t size, ...) {
  if (size < 1) return 0;
  const size_t length = strnlen(source, kSplitBufferSize - 1);
  memcpy(split_buffer, source, length);
  split_buffer[length] = '\0';

  // Tokens as strtok finds them: runs of delimiter bytes separate, and
  // leading and trailing runs produce nothing. One pass with a bit table is
  // much cheaper than strtok's per-token scans on short lines.
  uint64_t delimiter_bits[4] = {1, 0, 0, 0};  // the terminator ends every token
  for (const unsigned char *d = reinterpret_cast<const unsigned char *>(delimiters); *d; ++d) {
    delimiter_bits[*d >> 6] |= uint64_t{1} << (*d & 63);
  }
  const auto is_delimiter = [&delimiter_bits](unsigned char c) {
    return (delimiter_bits[c >> 6] >> (c & 63) & 1) != 0;
  };
  const unsigned char *p = reinterpret_cast<const unsigned char *>(split_buffer);
  const unsigned char *const end = p + length;
  // With one delimiter byte (the usual case) the end of a token is found by
  // the C library's vectorised search.
  const char single = delimiters[0] != '\0' && delimiters[1] == '\0' ? delimiters[0] : '\0';

  // Outputs hold at most size - 2 characters; the last byte of an output is
  // never written. A one- or two-byte output can only be emptied.
  const size_t limit = size >= 2 ? static_cast<size_t>(size - 2) : 0;
  va_list outputs;
  va_start(outputs, size);
  for (char *out = va_arg(outputs, char *); out != nullptr; out = va_arg(outputs, char *)) {
    while (*p != 0 && is_delimiter(*p)) ++p;
    const unsigned char *token = p;
    if (single != 0) {
      const void *found = memchr(p, single, static_cast<size_t>(end - p));
      p = found != nullptr ? static_cast<const unsigned char *>(found) : end;
    } else {
      while (!is_delimiter(*p)) ++p;
    }
    const size_t n =
        static_cast<size_t>(p - token) < limit ? static_cast<size_t>(p - token) : limit;
    memcpy(out, token, n);
    out[n] = '\0';
  }
  va_end(outputs);

  // Like strtok, leave no tokenizing sequence of the caller's in progress.
  static char nothing_left[1];
  strtok(nothing_left, delimiters);
  return 1;
}
