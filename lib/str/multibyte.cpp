// Multibyte text in the current locale: in-place lower-casing and character
// counting.
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "str.h"
#include "str/internal/wide_locale.h"

extern "C" char *str_lower(char *text) {
  const size_t n = strlen(text);
  if (!str_fold_ready) str_fold_init();
  if (n >= INT32_MAX) return text;

  unsigned char *s = reinterpret_cast<unsigned char *>(text);
  size_t i = 0;
  while (i <= n) {
    if (s[i] < 0x80) {
      s[i] = str_fold_table[s[i]];
      ++i;
      continue;
    }
    mbstate_t in_state{};
    wchar_t wc = 0;
    const size_t used = mbrtowc(&wc, text + i, n + 1 - i, &in_state);
    if (used == 0 || used > n + 1 - i) break;  // NUL, invalid or cut short: stop here

    const auto lower = static_cast<wchar_t>(velmor::locale_to_lower(static_cast<uint32_t>(wc)));
    char encoded[MB_LEN_MAX];
    mbstate_t out_state{};
    const size_t written = wcrtomb(encoded, lower, &out_state);
    if (written == static_cast<size_t>(-1)) break;
    // A lower-case form of another encoded length would either spill over
    // the following input or leave stray bytes behind; such a character
    // keeps its original form.
    if (written == used) memcpy(text + i, encoded, used);
    i += used;
  }
  return text;
}

extern "C" int32_t str_char_count(const char *text) {
  int32_t count = 0;
  const char *p = text;
  while (*p != '\0') {
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
    } else {
      // At most 3 bytes per character are examined: a 4-byte sequence does
      // not decode within that limit and counts byte by byte.
      size_t limit = strnlen(p, 3);
      if (limit < 3) ++limit;  // let the decoder see the terminator
      mbstate_t state{};
      const size_t len = mbrtowc(nullptr, p, limit, &state);
      p += (len != 0 && len <= limit) ? len : 1;
    }
    ++count;
  }
  return count;
}
