// Internal: large blocks backed by huge pages. Each fresh page costs a
// fault when it is first touched; an array of a few megabytes (a table, the
// ranges of a sorted run) costs thousands of them in 4 KB pages and a few in
// 2 MB ones. Where transparent huge pages are only given on request
// ("madvise", Debian's default) the request is made here; elsewhere it
// changes nothing.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "misc.h"

namespace velmor {

// Blocks from this size on are worth the request; the size of a huge page.
constexpr size_t large_block_min = size_t{2} << 20;

// A block of size bytes that free() releases, null when memory ran out (not
// reported). From large_block_min on it starts on a huge page's boundary and
// huge pages are asked for under all of it.
void *allocate_block(size_t size);

// Asks for huge pages under the whole 2 MB pages of [block, block + size)
// when size is at least large_block_min; nothing else changes.
void advise_large_block(void *block, size_t size);

// std::allocator with the request above for large arrays (std::vector of
// entries or ranges); throws std::bad_alloc when memory runs out, as
// std::allocator does.
template <class T>
struct LargeBlockAllocator {
  using value_type = T;
  LargeBlockAllocator() = default;
  template <class U>
  explicit LargeBlockAllocator(const LargeBlockAllocator<U> &) {}

  T *allocate(size_t count) {
    if (count > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    void *block = allocate_block(count * sizeof(T));
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T *>(block);
  }
  void deallocate(T *block, size_t) { std::free(block); }

  template <class U>
  bool operator==(const LargeBlockAllocator<U> &) const {
    return true;
  }
};

}  // namespace velmor
