// The range store and its sort. Ranges are kept as 64-bit keys
// (first << 32 | last). The merge only needs them in order of first
// address (among equal firsts it keeps the largest last, whatever the
// order), so a stable LSD radix sort on the upper half does it in four
// linear passes.
#include <algorithm>
#include <cstring>

#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {

// 65536 ranges (512 KiB): most lists fit without growing.
constexpr size_t initial_capacity = 65536;

constexpr int digit_bits = 8;
constexpr int digit_count = 32 / digit_bits;
constexpr int first_shift = 32;
constexpr size_t bucket_count = size_t{1} << digit_bits;

unsigned digit_of(uint64_t key, int digit) {
  return static_cast<unsigned>(key >> (first_shift + digit * digit_bits)) & (bucket_count - 1);
}

// Counts of every digit position in one pass over the keys.
void count_digits(const uint64_t *keys, size_t n, size_t (*counts)[bucket_count]) {
  memset(counts, 0, sizeof(size_t) * digit_count * bucket_count);
  for (size_t i = 0; i < n; ++i) {
    for (int d = 0; d < digit_count; ++d) ++counts[d][digit_of(keys[i], d)];
  }
}

void radix_sort(uint64_t *&from, uint64_t *&to, size_t n) {
  static size_t counts[digit_count][bucket_count];
  count_digits(from, n, counts);
  for (int d = 0; d < digit_count; ++d) {
    size_t *count = counts[d];
    // A digit that is the same in every key would only copy: skip it.
    if (count[digit_of(from[0], d)] == n) continue;
    size_t offset = 0;
    for (size_t b = 0; b < bucket_count; ++b) {
      size_t c = count[b];
      count[b] = offset;
      offset += c;
    }
    for (size_t i = 0; i < n; ++i) to[count[digit_of(from[i], d)]++] = from[i];
    std::swap(from, to);
  }
}

}  // namespace

uint64_t *sort_keys(uint64_t *keys, uint64_t *scratch, size_t n) {
  if (n < 2) return keys;
  if (scratch == nullptr) {
    std::stable_sort(keys, keys + n, [](uint64_t a, uint64_t b) { return a >> 32 < b >> 32; });
    return keys;
  }
  radix_sort(keys, scratch, n);
  return keys;
}

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

// The radix sort needs a second buffer as large as the keys; when there is
// no memory for it, an in-place sort gives the same order, only slower.
const uint64_t *RangeStore::sort() {
  if (count_ > 1 && scratch_ == nullptr) {
    scratch_ = static_cast<uint64_t *>(mem_alloc(count_ * sizeof(uint64_t), __FILE__, __LINE__));
  }
  return sort_keys(keys_, scratch_, count_);
}

}  // namespace tamsel
