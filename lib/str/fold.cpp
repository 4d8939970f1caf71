// Byte-wise case folding for ASCII mixed with Windows-1251 Cyrillic.
//
// The table is the identity with 66 overrides: Latin and Cyrillic capitals to
// their small letters, and both Ё and ё to е, so that folded texts compare
// equal whichever of the two spellings was used.
#include "str.h"

unsigned char str_fold_table[256];
bool str_fold_ready = false;

namespace {

// Two parallel rows: A-Z; А-Е, Ё, Ж-Я; then ё, І, Є, Ї, Ј, Ў, Ґ.
constexpr int kOverrides = 66;

// clang-format off
constexpr unsigned char kFrom[kOverrides] = {
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M',
    'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z',
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xA8, 0xC6, 0xC7, 0xC8, 0xC9,
    0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,
    0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xB8, 0xB2, 0xAA, 0xAF, 0xA3, 0xA1, 0xA5};

constexpr unsigned char kTo[kOverrides] = {
    'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm',
    'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z',
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9,
    0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4,
    0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    0xE5, 0xB3, 0xBA, 0xBF, 0xBC, 0xA2, 0xB4};
// clang-format on

}  // namespace

extern "C" void str_fold_init(void) {
  for (int b = 0; b < 256; ++b) str_fold_table[b] = static_cast<unsigned char>(b);
  for (int i = 0; i < kOverrides; ++i) str_fold_table[kFrom[i]] = kTo[i];
  str_fold_ready = true;
}

extern "C" int str_fold_char(int c) {
  if (!str_fold_ready) str_fold_init();
  return str_fold_table[c & 0xFF];
}

extern "C" char *str_fold(char *text) {
  if (!str_fold_ready) str_fold_init();
  for (unsigned char *p = reinterpret_cast<unsigned char *>(text); *p != 0; ++p) {
    *p = str_fold_table[*p];
  }
  return text;
}
