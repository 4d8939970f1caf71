// printf into a ring of eight 1024-byte buffers, each allocated on first use,
// so that several results can be used together in one call.
#include <cstdarg>
#include <cstdio>

#include "misc.h"
#include "str.h"

namespace {

constexpr int kPrintSlots = 8;
constexpr size_t kPrintSlotSize = 1024;
char *print_ring[kPrintSlots] = {};
unsigned int print_calls = 0;

}  // namespace

extern "C" char *str_printf(const char *format, ...) {
  char *&slot = print_ring[++print_calls % kPrintSlots];
  if (slot == nullptr) {
    slot = static_cast<char *>(mem_alloc(kPrintSlotSize, "str", __LINE__));
    if (slot == nullptr) return nullptr;
  }
  slot[0] = '\0';
  va_list args;
  va_start(args, format);
  vsnprintf(slot, kPrintSlotSize, format, args);
  va_end(args);
  return slot;
}
