// Character classes and lower-case mapping over code points.
//
// The C library's wide-character functions already answer "alphabetic" and
// "digit" for the current locale. It has no "number" class (numeric
// characters that are neither letters nor decimal digits: superscripts,
// vulgar fractions, circled and parenthesised numbers). That class is kept
// here as a short list of Unicode ranges and applies only in multibyte
// locales, where wide characters are Unicode code points; single-byte
// locales know no such characters.
#include "str/internal/wide_locale.h"

#include <cstdlib>
#include <cwctype>

namespace velmor {
namespace {

struct CodeRange {
  uint32_t first;
  uint32_t last;
};

constexpr CodeRange kNumberRanges[] = {
    {0x00B2, 0x00B3}, {0x00B9, 0x00B9}, {0x00BC, 0x00BE},  // ² ³ ¹ ¼ ½ ¾
    {0x2070, 0x2070}, {0x2074, 0x2079}, {0x2080, 0x2089},  // super- and subscripts
    {0x2150, 0x2189},                                      // number forms
    {0x2460, 0x249B}, {0x24EA, 0x24FF},                    // enclosed numbers
    {0x2776, 0x2793},                                      // dingbat numbers
    {0x3007, 0x3007}, {0x3021, 0x3029},                    // CJK numerals
};

bool in_number_class(uint32_t c) {
  if (MB_CUR_MAX <= 1) return false;
  for (const CodeRange &r : kNumberRanges) {
    if (c >= r.first && c <= r.last) return true;
  }
  return false;
}

}  // namespace

bool locale_is_word_class(uint32_t c) {
  const auto wc = static_cast<wint_t>(c);
  return iswalpha(wc) || iswdigit(wc) || in_number_class(c);
}

uint32_t locale_to_lower(uint32_t c) {
  return static_cast<uint32_t>(towlower(static_cast<wint_t>(c)));
}

}  // namespace velmor
