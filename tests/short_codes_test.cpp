// Short codes and the character-set validators.
#include <gtest/gtest.h>

#include <string>

#include "str.h"

namespace {

TEST(StrCode, EncodeKnownValues) {
  EXPECT_STREQ(str_code_encode(0), "000000");
  EXPECT_STREQ(str_code_encode(63), "00000_");
  EXPECT_STREQ(str_code_encode(64), "000010");
  EXPECT_STREQ(str_code_encode(4294967295u), "3_____");
  EXPECT_STREQ(str_code_encode2(1, 2), "000001000002");
}

TEST(StrCode, DecodeRoundTripAndOddInput) {
  for (uint32_t v : {0u, 1u, 63u, 64u, 123456789u, 4294967295u}) {
    EXPECT_EQ(str_code_decode(str_code_encode(v)), v);
  }
  struct Case {
    const char *code;
    uint32_t value;
  } cases[] = {
      {"10", 64}, {"3_____", 4294967295u}, {"______", 4294967295u}, {"", 0}, {"!", 0},
      {"1!", 64}, {"000001000002", 1},  // only the first six characters
  };
  for (const Case &c : cases) EXPECT_EQ(str_code_decode(c.code), c.value) << c.code;
  EXPECT_EQ(str_code_decode(nullptr), 0u);
  EXPECT_EQ(str_code_init(), 1);
  EXPECT_EQ(str_code_decode("a"), 36u);
}

TEST(StrValidators, CharacterSets) {
  struct Case {
    const char *text;
    int filename, path, nodot, list, ascii;
  } cases[] = {
      {"", 1, 1, 1, 1, 1},        {"a-b_c.9", 1, 1, 0, 1, 1}, {"dir/a_b", 0, 1, 1, 1, 1},
      {"a,b/c.d", 0, 0, 0, 1, 1}, {"a b", 0, 0, 0, 0, 1},     {"caf\xC3\xA9", 0, 0, 0, 0, 0},
      {"\x7F", 0, 0, 0, 0, 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(str_is_filename(c.text), c.filename) << c.text;
    EXPECT_EQ(str_is_path(c.text), c.path) << c.text;
    EXPECT_EQ(str_is_path_nodot(c.text), c.nodot) << c.text;
    EXPECT_EQ(str_is_path_list(c.text), c.list) << c.text;
    EXPECT_EQ(str_is_ascii(c.text), c.ascii) << c.text;
  }
}

TEST(StrIsEmail, Shapes) {
  for (const char *ok : {"a.b@c.d", "a@b.", "a@.b", ".@b.c", "x_y-z@host-1.co.uk"}) {
    EXPECT_EQ(str_is_email(ok), 1) << ok;
  }
  for (const char *bad : {"@b.c", "a@b", "a@b_c.d", "a@b.c@d", "", "a", "a@b.c d", "a@b.c_"}) {
    EXPECT_EQ(str_is_email(bad), 0) << bad;
  }
}

}  // namespace
