// The range store: ranges as 64-bit keys (first << 32 | last) in one block
// that doubles when full, so any number of ranges fits as memory allows.
#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {

// 65536 ranges (512 KiB): most lists fit without growing.
constexpr size_t initial_capacity = 65536;

// Blocks of up to this many keys are sorted through a scratch buffer.
constexpr size_t scratch_capacity = 65536;

}  // namespace

RangeStore::RangeStore()
    : keys_(static_cast<uint64_t *>(
          mem_alloc(initial_capacity * sizeof(uint64_t), __FILE__, __LINE__))),
      capacity_(keys_ != nullptr ? initial_capacity : 0) {}

RangeStore::~RangeStore() {
  mem_free(keys_);
  mem_free(scratch_);
}

bool RangeStore::grow() {
  size_t capacity = capacity_ * 2;
  void *keys = mem_realloc(keys_, capacity * sizeof(uint64_t), __FILE__, __LINE__);
  if (keys == nullptr) return false;
  keys_ = static_cast<uint64_t *>(keys);
  capacity_ = capacity;
  return true;
}

bool RangeStore::add(Range range) {
  if (count_ == capacity_ && !grow()) return false;
  keys_[count_++] = uint64_t{range.first} << 32 | range.last;
  return true;
}

// Without memory for the scratch buffer the sort works wholly in place:
// the same order, only slower.
const uint64_t *RangeStore::sort() {
  size_t scratch_size = count_ < scratch_capacity ? count_ : scratch_capacity;
  if (scratch_ == nullptr && scratch_size > small_sort) {
    scratch_ =
        static_cast<uint64_t *>(mem_alloc(scratch_size * sizeof(uint64_t), __FILE__, __LINE__));
  }
  sort_keys(keys_, count_, scratch_, scratch_ != nullptr ? scratch_size : 0);
  return keys_;
}

}  // namespace tamsel
