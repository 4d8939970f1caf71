// Integer helpers: growing a size by doubling, counting bits.
#include "misc.h"

extern "C" uint32_t grow_pow2(uint32_t needed, int start) {
  if (static_cast<int32_t>(needed) < 0) return 0x80000000u;
  uint32_t size = static_cast<uint32_t>(start);
  // Doubling 0 would never reach needed: start from 1 instead. Below
  // 0x80000000 no doubling can overflow before reaching needed.
  if (size == 0 && needed > 0) size = 1;
  while (size < needed) size *= 2;
  return size;
}

extern "C" int bit_count(uint32_t value) {
  int count = 0;
  for (; value != 0; value &= value - 1) ++count;
  return count;
}
