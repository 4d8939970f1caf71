// Sizes and durations as short texts for people to read.
#include <cstdio>

#include "str.h"
#include "str/internal/text_ring.h"

namespace {

constexpr int kSlotSize = 32;

thread_local velmor::TextRing<4, kSlotSize> size_ring;
thread_local velmor::TextRing<4, kSlotSize> duration_ring;

}  // namespace

extern "C" const char *str_size_text(int64_t bytes) {
  char *slot = size_ring.take();
  if (bytes < 1000) {
    snprintf(slot, kSlotSize, "%5lld", static_cast<long long>(bytes));
    return slot;
  }
  static const char kUnits[] = "bkMGT";
  int unit = 1;
  double value = static_cast<double>(bytes) / 1024;
  while (value >= 1000 && kUnits[unit] != 'T') {
    value /= 1024;
    ++unit;
  }
  const char *format = value < 9.995 ? "%4.2f%c" : value < 99.95 ? "%4.1f%c" : "%4.0f%c";
  snprintf(slot, kSlotSize, format, value, kUnits[unit]);
  return slot;
}

extern "C" const char *str_duration_text(int32_t seconds) {
  char *slot = duration_ring.take();
  // 64-bit arithmetic: rounding must not overflow near the 32-bit limit.
  int64_t s = seconds;
  int64_t minutes = (s + 30) / 60;
  int64_t hours = (minutes + 30) / 60;
  if (s < 120) {
    snprintf(slot, kSlotSize, "%llds", static_cast<long long>(s));
  } else if (s < 7170) {
    snprintf(slot, kSlotSize, "%lldm", static_cast<long long>(minutes));
  } else if (s < 127770) {
    snprintf(slot, kSlotSize, "%lldh", static_cast<long long>(hours));
  } else {
    snprintf(slot, kSlotSize, "%lldd", static_cast<long long>((hours + 12) / 24));
  }
  return slot;
}
