// Formatted text: bounded formatting into the caller's buffer that reports
// its own failures, and printf into a ring of library buffers.
#include <cstdarg>
#include <cstdio>

#include "misc.h"
#include "str.h"
#include "str/internal/text_ring.h"

namespace {

// Eight results can be used together in one call.
thread_local velmor::TextRing<8, 1024> print_ring;

}  // namespace

// A missing buffer, a formatting error or a cut text is reported with the
// caller's source location, so that callers need not check.
int str_snprintf(const char *file, int line, char *buf, int size, const char *format, ...) {
  // A null buffer is treated like a missing one rather than handed to vsnprintf.
  if (size <= 0 || buf == nullptr) {
    log_msg(LOG_ERROR, "no buffer for snprintf on %s:%d \"%s\"", file, line, format);
    return 0;
  }
  va_list args;
  va_start(args, format);
  int needed = vsnprintf(buf, static_cast<size_t>(size), format, args);
  va_end(args);
  if (needed < 0) {
    buf[0] = '\0';  // what vsnprintf left behind is not defined
    log_msg(LOG_ERROR, "snprintf negative on %s:%d \"%s\"", file, line, format);
    return 0;
  }
  if (needed < size) return needed;
  log_msg(LOG_ERROR, "snprintf overflow on %s:%d \"%s\": %d >= %d", file, line, format, needed,
          size);
  return size - 1;
}

extern "C" char *str_printf(const char *format, ...) {
  char *slot = print_ring.take();
  va_list args;
  va_start(args, format);
  vsnprintf(slot, print_ring.slot_size, format, args);
  va_end(args);
  return slot;
}
