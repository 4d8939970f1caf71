// Shape checks of short texts: file and path names, 7-bit text, e-mail
// addresses. Only ASCII letters and digits count as such; bytes from 0x80 up
// belong to no class.
#include <cstring>

#include "str.h"

namespace {

bool is_letter_or_digit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Every byte is a letter, a digit or one of extra.
int consists_of(const char *text, const char *extra) {
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
    if (!is_letter_or_digit(*p) && strchr(extra, *p) == nullptr) return 0;
  }
  return 1;
}

// Advances p over letters, digits and bytes of extra.
const unsigned char *skip_run(const unsigned char *p, const char *extra) {
  while (*p != 0 && (is_letter_or_digit(*p) || strchr(extra, *p) != nullptr)) ++p;
  return p;
}

}  // namespace

extern "C" int str_is_filename(const char *text) { return consists_of(text, "-._"); }
extern "C" int str_is_path(const char *text) { return consists_of(text, "-./_"); }
extern "C" int str_is_path_nodot(const char *text) { return consists_of(text, "-/_"); }
extern "C" int str_is_path_list(const char *text) { return consists_of(text, ",-./_"); }

extern "C" int str_is_ascii(const char *text) {
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
    if (*p > 0x7F) return 0;
  }
  return 1;
}

// local@host.rest: a non-empty local part of letters, digits, '-', '.', '_';
// a host part without '.' or '_'; one '.'; then letters, digits, '-', '.'.
extern "C" int str_is_email(const char *text) {
  const unsigned char *start = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *p = skip_run(start, "-._");
  if (p == start || *p != '@') return 0;
  p = skip_run(p + 1, "-");
  if (*p != '.') return 0;
  p = skip_run(p + 1, "-.");
  return *p == '\0' ? 1 : 0;
}
