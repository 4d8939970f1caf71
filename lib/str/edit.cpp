// In-place editing: backslash escapes, carriage returns, byte mapping and
// deletion in lists of texts; trimming, reversal and the cut of a path at its
// last '/'. None of these makes a text longer.
#include <cstdarg>
#include <cstring>

#include "str.h"

namespace {

// Removes every occurrence of mark from text. With keep_next the byte after
// each mark is written literally (a backslash escape) and never examined as
// a mark itself; a mark that is the last byte then ends the text.
void remove_marks(char *text, char mark, bool keep_next) {
  char *found = std::strchr(text, mark);
  if (found == nullptr) return;
  char *w = text;
  char *r = text;
  while (found != nullptr) {
    size_t run = static_cast<size_t>(found - r);
    if (w != r) std::memmove(w, r, run);
    w += run;
    r = found + 1;
    if (keep_next) {
      *w = *r;
      if (*r == '\0') return;  // lone final backslash: the text ends here
      ++w;
      ++r;
    }
    found = std::strchr(r, mark);
  }
  if (w != r) std::memmove(w, r, std::strlen(r) + 1);
}

// Calls edit on text and on every further text of the list up to its null.
template <typename Edit>
void for_each_text(char *text, va_list ap, Edit edit) {
  for (; text != nullptr; text = va_arg(ap, char *)) edit(text);
}

enum class TrMode { kDelete, kReplace };

// Builds the byte map of str_tr: non-zero entries mark the bytes to change.
TrMode build_tr_map(const unsigned char *from, const unsigned char *to, unsigned char map[256]) {
  size_t k = std::strlen(reinterpret_cast<const char *>(to));
  if (k == 0) {
    for (; *from != 0; ++from) map[*from] = 1;
    return TrMode::kDelete;
  }
  // With one replacement byte every byte of from maps to it; with more the
  // i-th byte maps to the i-th, the last byte of to repeating once it is used up.
  for (size_t i = 0; from[i] != 0; ++i) map[from[i]] = to[i < k ? i : k - 1];
  return TrMode::kReplace;
}

void tr_delete(unsigned char *text, const unsigned char map[256]) {
  unsigned char *w = text;
  for (const unsigned char *r = text; *r != 0; ++r) {
    if (map[*r] == 0) *w++ = *r;
  }
  *w = 0;
}

void tr_replace(unsigned char *text, const unsigned char map[256]) {
  for (; *text != 0; ++text) {
    if (map[*text] != 0) *text = map[*text];
  }
}

}  // namespace

extern "C" {

void str_unescape(char *text, ...) {
  va_list ap;
  va_start(ap, text);
  for_each_text(text, ap, [](char *t) { remove_marks(t, '\\', true); });
  va_end(ap);
}

void str_strip_cr(char *text, ...) {
  va_list ap;
  va_start(ap, text);
  for_each_text(text, ap, [](char *t) { remove_marks(t, '\r', false); });
  va_end(ap);
}

void str_tr(const char *from, const char *to, ...) {
  if (from == nullptr || *from == '\0' || to == nullptr) return;
  unsigned char map[256] = {};
  TrMode mode = build_tr_map(reinterpret_cast<const unsigned char *>(from),
                             reinterpret_cast<const unsigned char *>(to), map);
  va_list ap;
  va_start(ap, to);
  for_each_text(va_arg(ap, char *), ap, [&](char *t) {
    auto *bytes = reinterpret_cast<unsigned char *>(t);
    if (mode == TrMode::kDelete) {
      tr_delete(bytes, map);
    } else {
      tr_replace(bytes, map);
    }
  });
  va_end(ap);
}

char *str_trim(char *text) {
  size_t n = std::strlen(text);
  while (n > 0 && str_is_space(static_cast<unsigned char>(text[n - 1]))) text[--n] = '\0';
  while (str_is_space(static_cast<unsigned char>(*text))) ++text;
  return text;
}

}  // extern "C"

extern "C" void str_reverse(char *text) {
  size_t length = strlen(text);
  if (length < 2) return;
  for (char *a = text, *b = text + length - 1; a < b; ++a, --b) {
    const char t = *a;
    *a = *b;
    *b = t;
  }
}

extern "C" int32_t str_dirname(char *path, int32_t length) {
  for (int32_t i = length - 1; i >= 0; --i) {
    if (path[i] == '/') {
      path[i] = '\0';
      return i;
    }
  }
  return 0;
}
