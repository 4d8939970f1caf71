// Whole-text duplicate and in-place edits: byte reversal and the cut of a
// path at its last '/'.
#include <cstring>

#include "misc.h"
#include "str.h"

extern "C" void str_reverse(char *text) {
  size_t length = strlen(text);
  if (length < 2) return;
  for (char *a = text, *b = text + length - 1; a < b; ++a, --b) {
    const char t = *a;
    *a = *b;
    *b = t;
  }
}

extern "C" char *str_dup(const char *text) {
  if (text == nullptr) return nullptr;
  const size_t size = strlen(text) + 1;
  char *copy = static_cast<char *>(mem_alloc(size, "str", __LINE__));
  if (copy != nullptr) memcpy(copy, text, size);
  return copy;
}

extern "C" int32_t str_dirname(char *path, int32_t length) {
  for (int32_t i = length - 1; i >= 0; --i) {
    if (path[i] == '/') {
      path[i] = '\0';
      return i;
    }
  }
  return 0;
}
