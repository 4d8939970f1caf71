// Allocation that reports a failure with the caller's source location.
#include <cstdlib>
#include <cstring>

#include "misc.h"

namespace {

void report(const char *verb, size_t size, const char *file, unsigned int line) {
  log_msg(LOG_ERROR, "cannot %s %zu bytes on %s:%u", verb, size, file ? file : "?", line);
}

}  // namespace

extern "C" {

void *mem_alloc(size_t size, const char *file, unsigned int line) {
  void *block = malloc(size);
  if (!block) report("allocate", size, file, line);
  return block;
}

void *mem_calloc(size_t size, const char *file, unsigned int line) {
  void *block = calloc(1, size);
  if (!block) report("allocate", size, file, line);
  return block;
}

void *mem_realloc(void *block, size_t size, const char *file, unsigned int line) {
  void *grown = realloc(block, size);
  if (!grown) report("reallocate", size, file, line);
  return grown;
}

void *mem_free(void *block) {
  free(block);
  return nullptr;
}

char *mem_strdup(const char *text, const char *file, unsigned int line) {
  size_t size = strlen(text) + 1;
  auto *copy = static_cast<char *>(malloc(size));
  if (!copy) {
    report("allocate", size, file, line);
    return nullptr;
  }
  return static_cast<char *>(memcpy(copy, text, size));
}

}  // extern "C"
