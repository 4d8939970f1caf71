// Single-character tests: ASCII letters and digits, Windows-1251 letters, and
// word characters of the current locale given as code points.
#include "str.h"
#include "str/internal/wide_locale.h"

extern "C" int str_is_alnum(signed char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

extern "C" int str_is_digit(char c) { return c >= '0' && c <= '9'; }

namespace {

// 0xA1..0xBF: the capital and small forms of Ў, Ј, Ґ, Ё, Є, Ї and І are
// letters; the punctuation, signs, Ѕ and ѕ sharing that block are not.
constexpr unsigned char kLetters1251A1[31] = {
    1, 1, 1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0,  // A1..B0
    0, 1, 1, 1, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1};    // B1..BF

}  // namespace

extern "C" int str_is_alnum_1251(unsigned char c) {
  if (c >= 0xC0) return 1;
  if (c >= 0xA1 && c <= 0xBF) return kLetters1251A1[c - 0xA1];
  return str_is_alnum(static_cast<signed char>(c));
}

extern "C" int str_is_word_char(uint32_t c) {
  if (c >= 0x0590 && c <= 0x06FF) return 1;  // Hebrew and Arabic
  if (c >= 0x4E00 && c <= 0x9FBB) return 1;  // CJK unified ideographs
  return velmor::locale_is_word_class(c) ? 1 : 0;
}
