// Short codes: 32-bit values written as six characters of the 64-character
// alphabet (6 bits each, most significant first), and read back.
#include <cstring>

#include "misc.h"
#include "str.h"

namespace {

// Position (0-63) of each byte in the alphabet; 0 for bytes outside it.
unsigned char code_table[256];
bool code_table_built = false;

char single_code[7];
char double_code[13];

void encode_into(char *out, uint32_t value) {
  const char *alphabet = process_info.alphabet64;
  for (int i = 0; i < 6; ++i) out[i] = alphabet[(value >> (30 - 6 * i)) & 63];
}

}  // namespace

extern "C" int str_code_init(void) {
  memset(code_table, 0, sizeof code_table);
  const unsigned char *alphabet = reinterpret_cast<const unsigned char *>(process_info.alphabet64);
  for (int i = 0; i < 64 && alphabet[i] != 0; ++i)
    code_table[alphabet[i]] = static_cast<unsigned char>(i);
  code_table_built = true;
  return 1;
}

extern "C" const char *str_code_encode(uint32_t value) {
  encode_into(single_code, value);
  single_code[6] = '\0';
  return single_code;
}

extern "C" const char *str_code_encode2(uint32_t first, uint32_t second) {
  encode_into(double_code, first);
  encode_into(double_code + 6, second);
  double_code[12] = '\0';
  return double_code;
}

extern "C" uint32_t str_code_decode(const char *code) {
  if (code == nullptr) return 0;
  if (!code_table_built) str_code_init();
  uint32_t value = 0;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(code);
  for (int i = 0; i < 6 && p[i] != 0; ++i) value = value * 64 + code_table[p[i]];
  return value;
}
