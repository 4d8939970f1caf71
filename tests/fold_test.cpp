// Case folding of ASCII and Windows-1251 bytes.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "str.h"

namespace {

// The folded form of every byte that changes; all others map to themselves.
std::map<int, int> expected_changes() {
  std::map<int, int> m;
  for (int c = 'A'; c <= 'Z'; ++c) m[c] = c + 0x20;
  for (int c = 0xC0; c <= 0xDF; ++c) m[c] = c + 0x20;
  const int pairs[][2] = {{0xA8, 0xE5}, {0xB8, 0xE5}, {0xA1, 0xA2}, {0xA3, 0xBC},
                          {0xA5, 0xB4}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}};
  for (const auto &p : pairs) m[p[0]] = p[1];
  return m;
}

TEST(StrFold, TableMapsEveryByte) {
  const std::map<int, int> changes = expected_changes();
  ASSERT_EQ(changes.size(), 66u);
  for (int b = 0; b < 256; ++b) {
    const auto it = changes.find(b);
    const int want = it == changes.end() ? b : it->second;
    EXPECT_EQ(str_fold_char(b), want) << "byte 0x" << std::hex << b;
  }
}

TEST(StrFold, FoldCharUsesOnlyLowEightBits) {
  EXPECT_EQ(str_fold_char(0x141), 'a');
  EXPECT_EQ(str_fold_char(static_cast<signed char>(0xC1)), 0xE1);
  EXPECT_EQ(str_fold_char(0x180), 0x80);
}

TEST(StrFold, FoldsTextInPlace) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"\xA8\xCB\xCA\xC0", "\xE5\xEB\xEA\xE0"},  // Ё Л К А -> е л к а
      {"\xB8", "\xE5"},                          // ё -> е
      {"RU-12 ab.", "ru-12 ab."},
      {"\x80\xBD\x8A", "\x80\xBD\x8A"},  // capitals without a small row
      {"", ""},
  };
  for (const Case &c : cases) {
    std::string text = c.in;
    EXPECT_EQ(str_fold(text.data()), text.data());
    EXPECT_EQ(text, c.out);
  }
}

TEST(StrFold, InitRebuildsADamagedTable) {
  str_fold_init();
  str_fold_table['Q'] = '?';
  str_fold_init();
  EXPECT_TRUE(str_fold_ready);
  EXPECT_EQ(str_fold_table['Q'], 'q');
}

}  // namespace
