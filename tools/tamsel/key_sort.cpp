// Sorting range keys (first << 32 | last) by first address. The merge keeps
// the largest last among equal firsts in any order, so only the upper half
// is sorted and the order among equal firsts is left as it falls.
//
// The keys are distributed in place by the top byte (an American flag
// sort), and each bucket recursively by the next byte, until a block fits
// the scratch buffer; such a block is finished by LSD radix passes through
// the scratch, in cache. Memory beyond the keys is the small scratch only.
#include <cstring>
#include <utility>

#include "tamsel.h"

namespace tamsel {

namespace {

constexpr size_t bucket_count = 256;

// Byte 3 is the top byte of the first address, byte 0 its lowest.
unsigned byte_of(uint64_t key, int byte) {
  return static_cast<unsigned>(key >> (32 + 8 * byte)) & (bucket_count - 1);
}

void insertion_sort(uint64_t *keys, size_t n) {
  for (size_t i = 1; i < n; ++i) {
    uint64_t key = keys[i];
    size_t j = i;
    for (; j > 0 && keys[j - 1] >> 32 > key >> 32; --j) keys[j] = keys[j - 1];
    keys[j] = key;
  }
}

// LSD passes over bytes 0..top through scratch (room for n keys); a byte
// that is the same in every key is skipped. The result ends up in keys.
void lsd_sort(uint64_t *keys, size_t n, int top, uint64_t *scratch) {
  size_t counts[4][bucket_count] = {};
  for (size_t i = 0; i < n; ++i) {
    for (int b = 0; b <= top; ++b) ++counts[b][byte_of(keys[i], b)];
  }
  uint64_t *from = keys, *to = scratch;
  for (int b = 0; b <= top; ++b) {
    size_t *count = counts[b];
    if (count[byte_of(from[0], b)] == n) continue;
    size_t offset = 0;
    for (size_t d = 0; d < bucket_count; ++d) offset += std::exchange(count[d], offset);
    for (size_t i = 0; i < n; ++i) to[count[byte_of(from[i], b)]++] = from[i];
    std::swap(from, to);
  }
  if (from != keys) memcpy(keys, from, n * sizeof *keys);
}

// Moves every key into the bucket of its byte, in place: each displaced
// key is carried on to its own bucket until the cycle closes.
void distribute(uint64_t *keys, size_t n, int byte, size_t *count) {
  size_t next[bucket_count], end[bucket_count];
  memset(count, 0, bucket_count * sizeof *count);
  for (size_t i = 0; i < n; ++i) ++count[byte_of(keys[i], byte)];
  size_t offset = 0;
  for (size_t d = 0; d < bucket_count; ++d) {
    next[d] = offset;
    offset += count[d];
    end[d] = offset;
  }
  for (unsigned d = 0; d < bucket_count; ++d) {
    while (next[d] < end[d]) {
      uint64_t key = keys[next[d]];
      for (unsigned to = byte_of(key, byte); to != d; to = byte_of(key, byte)) {
        std::swap(key, keys[next[to]++]);
      }
      keys[next[d]++] = key;
    }
  }
}

void msd_sort(uint64_t *keys, size_t n, int byte, uint64_t *scratch, size_t scratch_size) {
  if (n <= small_sort) return insertion_sort(keys, n);
  if (n <= scratch_size) return lsd_sort(keys, n, byte, scratch);
  size_t count[bucket_count];
  distribute(keys, n, byte, count);
  if (byte == 0) return;
  for (size_t d = 0, begin = 0; d < bucket_count; begin += count[d++]) {
    msd_sort(keys + begin, count[d], byte - 1, scratch, scratch_size);
  }
}

}  // namespace

void sort_keys(uint64_t *keys, size_t n, uint64_t *scratch, size_t scratch_size) {
  msd_sort(keys, n, 3, scratch, scratch_size);
}

}  // namespace tamsel
