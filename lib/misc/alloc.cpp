// Allocation that reports a failure with the caller's source location.
#include <cstdlib>
#include <cstring>

#include "misc.h"

namespace {

void *report(const char *verb, size_t size, const char *file, unsigned int line) {
  log_msg(LOG_ERROR, "cannot %s %zu bytes on %s:%u", verb, size, file ? file : "?", line);
  return nullptr;
}

}  // namespace

extern "C" {

void *mem_alloc(size_t size, const char *file, unsigned int line) {
  void *block = malloc(size);
  return block ? block : report("allocate", size, file, line);
}

void *mem_calloc(size_t size, const char *file, unsigned int line) {
  void *block = calloc(1, size);
  return block ? block : report("allocate", size, file, line);
}

void *mem_realloc(void *block, size_t size, const char *file, unsigned int line) {
  void *grown = realloc(block, size);
  return grown ? grown : report("reallocate", size, file, line);
}

void *mem_free(void *block) {
  free(block);
  return nullptr;
}

char *mem_strdup(const char *text, const char *file, unsigned int line) {
  size_t size = strlen(text) + 1;
  auto *copy = static_cast<char *>(malloc(size));
  if (!copy) return static_cast<char *>(report("allocate", size, file, line));
  return static_cast<char *>(memcpy(copy, text, size));
}

}  // extern "C"
