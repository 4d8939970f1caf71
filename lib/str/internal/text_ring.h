// Internal: a ring of fixed-size text slots, the home of every "valid until
// N further calls" result text of the library.
//
// A result handed out from slot k stays untouched until the ring has come
// round to k again, so a caller may hold up to Slots - 1 earlier results of
// the same function while asking for a new one. Each ring is declared
// thread_local: every thread has rings of its own, so threads never
// overwrite each other's results, and the storage is fixed (no allocation,
// no failure).
#pragma once

#include <cstddef>

namespace velmor {

template <size_t Slots, size_t SlotSize>
class TextRing {
 public:
  static constexpr size_t slot_size = SlotSize;

  // The next slot, emptied; valid until Slots further slots have been taken.
  char *take() {
    next_ = (next_ + 1) % Slots;
    char *slot = slots_[next_];
    slot[0] = '\0';
    return slot;
  }

 private:
  char slots_[Slots][SlotSize] = {};
  size_t next_ = 0;
};

}  // namespace velmor
