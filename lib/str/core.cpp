// Small text helpers used everywhere: bounded concatenation and copy,
// line-end cutting, the white-space test.
#include <cstdarg>
#include <cstring>

#include "str.h"

extern "C" {

int str_concat(char *dst, int size, ...) {
  if (!dst || size <= 0) return 0;
  va_list texts;
  va_start(texts, size);
  size_t length = 0;
  for (const char *text; (text = va_arg(texts, const char *)) != nullptr;) {
    size_t n = strlen(text);
    if (n == 0) continue;
    if (length + n >= static_cast<size_t>(size)) {
      dst[0] = '\0';
      va_end(texts);
      return 0;
    }
    memmove(dst + length, text, n);
    length += n;
  }
  va_end(texts);
  dst[length] = '\0';
  return static_cast<int>(length);
}

void str_copy(char *dst, const char *src, int32_t size) {
  if (!dst || size < 1) return;
  size_t n = strnlen(src, static_cast<size_t>(size) - 1);
  memmove(dst, src, n);
  dst[n] = '\0';
}

char *str_chomp(char *text) {
  if (!text) return text;
  size_t n = strlen(text);
  if (n && text[n - 1] == '\n') text[--n] = '\0';
  if (n && text[n - 1] == '\r') text[--n] = '\0';
  return text;
}

bool str_is_space(int c) { return c == '\n' || c == '\r' || c == ' ' || c == '\t'; }

}  // extern "C"
