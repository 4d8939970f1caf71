// str_tr, str_unescape, str_strip_cr and str_trim on arbitrary bytes. The
// input is split at its first two NULs into from, to and the text.
// Properties: deletion removes exactly the bytes of from; a replacement
// keeps the length; the other edits never lengthen the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "str.h"

namespace {

// Copy of text in an exactly sized block (the sanitizer sees overruns).
char *exact_copy(const std::string &text) {
  char *copy = static_cast<char *>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

std::string next_field(const char **p, const char *end) {
  const char *nul = static_cast<const char *>(std::memchr(*p, '\0', end - *p));
  const char *stop = nul != nullptr ? nul : end;
  std::string field(*p, stop);
  *p = nul != nullptr ? nul + 1 : end;
  return field;
}

void check_tr(const std::string &from, const std::string &to, const std::string &text) {
  char *copy = exact_copy(text);
  str_tr(from.c_str(), to.c_str(), copy, static_cast<char *>(nullptr));
  size_t length = std::strlen(copy);
  if (from.empty()) {
    if (text != copy) std::abort();
  } else if (to.empty()) {
    size_t kept = 0;
    for (char c : text) kept += from.find(c) == std::string::npos;
    if (length != kept || std::strpbrk(copy, from.c_str()) != nullptr) std::abort();
  } else if (length != text.size()) {
    std::abort();
  }
  std::free(copy);
}

void check_shrinks(void (*edit)(char *, ...), const std::string &text) {
  char *copy = exact_copy(text);
  edit(copy, static_cast<char *>(nullptr));
  if (std::strlen(copy) > text.size()) std::abort();
  std::free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *p = reinterpret_cast<const char *>(data);
  const char *end = p + size;
  std::string from = next_field(&p, end);
  std::string to = next_field(&p, end);
  std::string text = next_field(&p, end);
  check_tr(from, to, text);
  check_shrinks(str_unescape, text);
  check_shrinks(str_strip_cr, text);
  char *copy = exact_copy(text);
  if (std::strlen(str_trim(copy)) > text.size()) std::abort();
  std::free(copy);
  return 0;
}
