// Allocation that reports a failure with the caller's source location.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "misc.h"
#include "misc/internal/large_blocks.h"

namespace velmor {

void *allocate_block(size_t size) {
  if (size < large_block_min) return malloc(size);
  if (size > SIZE_MAX - large_block_min) return nullptr;
  // Whole huge pages from the block's start: the first megabytes of an
  // array are its busiest.
  const size_t rounded = (size + large_block_min - 1) / large_block_min * large_block_min;
  void *block = aligned_alloc(large_block_min, rounded);
  advise_large_block(block, rounded);
  return block;
}

void advise_large_block(void *block, size_t size) {
  if (block == nullptr || size < large_block_min) return;
  // The whole huge pages inside the block, found as offsets from its start.
  const auto begin = reinterpret_cast<uintptr_t>(block);
  const size_t head = (large_block_min - begin % large_block_min) % large_block_min;
  if (head >= size) return;
  const size_t whole = (size - head) / large_block_min * large_block_min;
  // Only a hint: where the kernel gives no huge pages the block stays as it is.
  if (whole > 0) madvise(static_cast<char *>(block) + head, whole, MADV_HUGEPAGE);
}

}  // namespace velmor

namespace {

void report(const char *verb, size_t size, const char *file, unsigned int line) {
  log_msg(LOG_ERROR, "cannot %s %zu bytes on %s:%u", verb, size, file ? file : "?", line);
}

}  // namespace

extern "C" {

void *mem_alloc(size_t size, const char *file, unsigned int line) {
  void *block = velmor::allocate_block(size);
  if (!block) report("allocate", size, file, line);
  return block;
}

void *mem_calloc(size_t size, const char *file, unsigned int line) {
  if (size >= velmor::large_block_min) {
    void *block = mem_alloc(size, file, line);
    return block ? memset(block, 0, size) : nullptr;
  }
  void *block = calloc(1, size);
  if (!block) report("allocate", size, file, line);
  return block;
}

void *mem_realloc(void *block, size_t size, const char *file, unsigned int line) {
  void *grown = realloc(block, size);
  if (!grown) report("reallocate", size, file, line);
  velmor::advise_large_block(grown, size);
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
