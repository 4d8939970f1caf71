// The IPv6 range store: 32-byte ranges in one block that doubles when full.
#include <algorithm>

#include "misc.h"
#include "tamsel.h"

namespace tamsel {

namespace {

// 2048 ranges (64 KiB): a short list costs little, and doubling reaches a
// million ranges in nine steps.
constexpr size_t initial_capacity = 2048;

}  // namespace

RangeStore6::RangeStore6()
    : ranges_(
          static_cast<Range6 *>(mem_alloc(initial_capacity * sizeof(Range6), __FILE__, __LINE__))),
      capacity_(ranges_ != nullptr ? initial_capacity : 0) {}

RangeStore6::~RangeStore6() { mem_free(ranges_); }

bool RangeStore6::grow() {
  size_t capacity = capacity_ * 2;
  void *ranges = mem_realloc(ranges_, capacity * sizeof(Range6), __FILE__, __LINE__);
  if (ranges == nullptr) return false;
  ranges_ = static_cast<Range6 *>(ranges);
  capacity_ = capacity;
  return true;
}

bool RangeStore6::add(Range6 range) {
  if (count_ == capacity_ && !grow()) return false;
  ranges_[count_++] = range;
  return true;
}

const Range6 *RangeStore6::sort() {
  std::sort(ranges_, ranges_ + count_,
            [](const Range6 &a, const Range6 &b) { return a.first < b.first; });
  return ranges_;
}

}  // namespace tamsel
