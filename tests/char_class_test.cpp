// Character tests, multibyte lower-casing and character counts, in the
// default locale and in a UTF-8 one.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <cwctype>
#include <string>

#include "str.h"

namespace {

// Switches LC_ALL for one test and back to "C" afterwards.
class InLocale {
 public:
  explicit InLocale(const char *name) { ok_ = setlocale(LC_ALL, name) != nullptr; }
  ~InLocale() { setlocale(LC_ALL, "C"); }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

std::string lowered(std::string text) {
  str_lower(text.data());
  return text;
}

TEST(StrIsAlnum, AsciiOnly) {
  for (int b = 0; b < 256; ++b) {
    const bool want = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    EXPECT_EQ(str_is_alnum(static_cast<signed char>(b)), want ? 1 : 0) << b;
    EXPECT_EQ(str_is_digit(static_cast<char>(b)), (b >= '0' && b <= '9') ? 1 : 0) << b;
  }
}

TEST(StrIsAlnum1251, LettersOfTheCyrillicPage) {
  const unsigned char special[] = {0xA1, 0xA2, 0xA3, 0xA5, 0xA8, 0xAA, 0xAF,
                                   0xB2, 0xB3, 0xB4, 0xB8, 0xBA, 0xBC, 0xBF};
  for (int b = 0; b < 256; ++b) {
    bool want = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                b >= 0xC0 || memchr(special, b, sizeof special) != nullptr;
    EXPECT_EQ(str_is_alnum_1251(static_cast<unsigned char>(b)), want ? 1 : 0) << std::hex << b;
  }
}

TEST(StrIsWordChar, FixedBlocksInAnyLocale) {
  for (uint32_t c : {0x0590u, 0x06FFu, 0x4E00u, 0x9FBBu}) EXPECT_EQ(str_is_word_char(c), 1) << c;
  for (uint32_t c : {0x058Fu, 0x0700u, 0x9FBCu, 0xE9u, 0xB2u, 0x5Fu, 0x20u}) {
    EXPECT_EQ(str_is_word_char(c), 0) << c;  // the C locale knows only ASCII
  }
  EXPECT_EQ(str_is_word_char('a'), 1);
  EXPECT_EQ(str_is_word_char('7'), 1);
}

TEST(StrIsWordChar, Utf8LocaleClasses) {
  InLocale utf8("C.utf8");
  ASSERT_TRUE(utf8.ok());
  EXPECT_EQ(str_is_word_char(0xE9), 1);    // é, alphabetic
  EXPECT_EQ(str_is_word_char(0x0434), 1);  // д
  EXPECT_EQ(str_is_word_char(0xB2), 1);    // ², number
  EXPECT_EQ(str_is_word_char(0x2163), 1);  // Ⅳ, number
  EXPECT_EQ(str_is_word_char(0xBD), 1);    // ½, number
  EXPECT_EQ(str_is_word_char(0xA7), 0);    // §
  EXPECT_EQ(str_is_word_char(0x2014), 0);  // em dash
  EXPECT_EQ(str_is_word_char(0x9FBC), iswalpha(0x9FBC) ? 1 : 0);
}

TEST(StrLower, DefaultLocaleChangesOnlyAscii) {
  EXPECT_EQ(lowered("ABC xyz-09"), "abc xyz-09");
  // Bytes from 0x80 up do not decode in the C locale: the walk stops there.
  EXPECT_EQ(lowered("AB\xC3\x80"
                    "CD"),
            "ab\xC3\x80"
            "CD");
  EXPECT_EQ(lowered(""), "");
}

TEST(StrLower, Utf8Locale) {
  InLocale utf8("C.utf8");
  ASSERT_TRUE(utf8.ok());
  struct Case {
    std::string in, out;
  } cases[] = {
      {"\xC3\x80\xC3\x89 STRA\xC3\x9F"
       "E",
       "\xC3\xA0\xC3\xA9 stra\xC3\x9F"
       "e"},                                                     // ÀÉ STRAßE
      {"\xD0\x94\xD0\x9E\xD0\x9C", "\xD0\xB4\xD0\xBE\xD0\xBC"},  // ДОМ
      {"\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1"},                  // ΣΑ
      {"AB\xFF"
       "CD",
       "ab\xFF"
       "CD"},              // stops at a byte that does not decode
      {"A\xC3", "a\xC3"},  // sequence cut by the terminator
      // İ (2 bytes) lowers to i (1 byte), Ⱥ (2 bytes) to ⱥ (3 bytes): both keep
      // their form, and the text after them is still lower-cased.
      {"\xC4\xB0X", "\xC4\xB0x"},
      {"Y\xC8\xBAZ", "y\xC8\xBAz"},
  };
  for (const Case &c : cases) EXPECT_EQ(lowered(c.in), c.out) << c.in;
}

TEST(StrCharCount, CountsCharactersAndBadBytes) {
  EXPECT_EQ(str_char_count(""), 0);
  EXPECT_EQ(str_char_count("abc"), 3);
  EXPECT_EQ(str_char_count("\xD0\xB4\xD0\xBE\xD0\xBC"), 6);  // C locale: one per byte

  InLocale utf8("C.utf8");
  ASSERT_TRUE(utf8.ok());
  EXPECT_EQ(str_char_count("\xD0\xB4\xD0\xBE\xD0\xBC"), 3);  // дом
  EXPECT_EQ(str_char_count("\xE2\x82\xAC"), 1);              // €, 3 bytes
  EXPECT_EQ(str_char_count("\xF0\x9F\x98\x80"), 4);          // 4 bytes exceed the limit
  EXPECT_EQ(str_char_count("a\xFF"
                           "b"),
            3);
  EXPECT_EQ(str_char_count("\xD0"), 1);  // cut short by the terminator
}

}  // namespace
