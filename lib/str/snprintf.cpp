// Bounded formatting that reports a missing buffer, a formatting error or a
// cut text with the caller's source location, so that callers need not check.
#include <cstdarg>
#include <cstdio>

#include "misc.h"
#include "str.h"

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
