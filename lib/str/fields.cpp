// Field splitting: a line cut into fixed-size output buffers on a set of
// delimiter bytes.
#include <cstdarg>
#include <cstring>

#include "misc.h"
#include "str.h"

namespace {

constexpr size_t kSplitBufferSize = 1024;
char *split_buffer = nullptr;  // copy of the line being cut, kept for reuse

}  // namespace

extern "C" int str_split(const char *source, const char *delimiters, int32_t size, ...) {
  if (size < 1) return 0;
  if (split_buffer == nullptr) {
    split_buffer = static_cast<char *>(mem_calloc(kSplitBufferSize, "str", __LINE__));
    if (split_buffer == nullptr) return 0;
  }
  const size_t length = strnlen(source, kSplitBufferSize - 1);
  memcpy(split_buffer, source, length);
  split_buffer[length] = '\0';

  // Outputs hold at most size - 2 characters; the last byte of an output is
  // never written. A one-byte output can only be emptied.
  const size_t limit = size >= 2 ? static_cast<size_t>(size - 2) : 0;
  va_list outputs;
  va_start(outputs, size);
  char *token = strtok(split_buffer, delimiters);
  for (char *out = va_arg(outputs, char *); out != nullptr; out = va_arg(outputs, char *)) {
    if (token == nullptr) {
      out[0] = '\0';
      continue;
    }
    const size_t n = strnlen(token, limit);
    memcpy(out, token, n);
    out[n] = '\0';
    token = strtok(nullptr, delimiters);
  }
  va_end(outputs);
  return 1;
}
