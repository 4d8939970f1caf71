// Assembly of texts on the heap. Blocks come straight from calloc/realloc
// (not the checked wrappers), belong to the caller and are released with
// free. Lengths are measured first and each call allocates once.
//
// Totals are kept below 2147483647 bytes so that they fit the signed 32-bit
// sizes the callers work with; a longer result is refused with null, and so
// is a failed allocation. Neither case touches the caller's block.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "misc.h"
#include "str.h"

namespace {

constexpr uint64_t kMaxTotal = INT32_MAX - 1;  // the block, with its terminator, fits int32

// Sum of the lengths of first and the following texts up to the null, or
// UINT64_MAX once it passes kMaxTotal (and stops measuring there).
uint64_t total_length(uint64_t start, const char *first, va_list ap) {
  uint64_t total = start;
  for (const char *t = first; t != nullptr; t = va_arg(ap, const char *)) {
    total += std::strlen(t);
    if (total > kMaxTotal) return UINT64_MAX;
  }
  return total;
}

// Copies first and the following texts to out, each with its terminator,
// which the next text overwrites.
void copy_texts(char *out, const char *first, va_list ap) {
  for (const char *t = first; t != nullptr; t = va_arg(ap, const char *)) {
    size_t n = std::strlen(t);
    std::memcpy(out, t, n + 1);
    out += n;
  }
}

// As copy_texts, for a list that may name the old content of the block that
// was just reallocated: such a text is read from its new place. It is taken
// to end where the old content ended (the old terminator is already
// overwritten by then), which is where it ended before.
char *copy_texts_after_move(char *block, size_t old_length, uintptr_t old_address, char *out,
                            const char *first, va_list ap) {
  for (const char *t = first; t != nullptr; t = va_arg(ap, const char *)) {
    uintptr_t at = reinterpret_cast<uintptr_t>(t);
    size_t n;
    if (at >= old_address && at <= old_address + old_length) {
      size_t offset = at - old_address;
      t = block + offset;
      n = old_length - offset;
    } else {
      n = std::strlen(t);
    }
    std::memmove(out, t, n);
    out += n;
  }
  return out;
}

}  // namespace

extern "C" {

char *str_concat_alloc(const char *text, ...) {
  if (text == nullptr) return static_cast<char *>(std::calloc(1, 1));
  va_list ap;
  va_start(ap, text);
  uint64_t total = total_length(0, text, ap);
  va_end(ap);
  if (total == UINT64_MAX) return nullptr;
  char *block = static_cast<char *>(std::calloc(total + 1, 1));
  if (block == nullptr) return nullptr;
  va_start(ap, text);
  copy_texts(block, text, ap);
  va_end(ap);
  return block;
}

char *str_append_list(char **block, ...) {
  if (block == nullptr) return nullptr;
  size_t old_length = *block == nullptr ? 0 : std::strlen(*block);
  va_list ap;
  va_start(ap, block);
  uint64_t total = total_length(old_length, va_arg(ap, const char *), ap);
  va_end(ap);
  if (total == UINT64_MAX) return nullptr;

  uintptr_t old_address = reinterpret_cast<uintptr_t>(*block);
  char *grown = static_cast<char *>(std::realloc(*block, total + 1));
  if (grown == nullptr) return nullptr;  // realloc left the old block alone
  *block = grown;
  va_start(ap, block);
  char *end = copy_texts_after_move(grown, old_length, old_address, grown + old_length,
                                    va_arg(ap, const char *), ap);
  va_end(ap);
  *end = '\0';
  return grown;
}

char *str_append(char **block, const char *text) {
  if (block == nullptr) return nullptr;
  if (text == nullptr) return *block;
  return str_append_list(block, text, static_cast<const char *>(nullptr));
}

}  // extern "C"

extern "C" char *str_dup(const char *text) {
  if (text == nullptr) return nullptr;
  const size_t size = strlen(text) + 1;
  char *copy = static_cast<char *>(mem_alloc(size, "str", __LINE__));
  if (copy != nullptr) memcpy(copy, text, size);
  return copy;
}
