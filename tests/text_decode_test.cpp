// Decoding of form data, percent escapes and character references, and the
// URL, HTML and quote escapers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "str.h"
#include "text_alloc_limit.h"
#include "text_locale.h"

TEXT_ALLOW_FAILED_ALLOCATIONS

namespace {

using Decoder = char *(*)(char *);

struct DecodeCase {
  const char *input;
  std::string expected;  // every byte up to the new terminator
};

std::string decode(Decoder decoder, const std::string &input) {
  std::vector<char> buffer(input.begin(), input.end());
  buffer.push_back('\0');
  EXPECT_EQ(decoder(buffer.data()), buffer.data());
  return std::string(buffer.data());
}

void expect_table(Decoder decoder, const std::vector<DecodeCase> &cases) {
  for (const DecodeCase &c : cases) EXPECT_EQ(decode(decoder, c.input), c.expected) << c.input;
}

TEST(UrlDecode, EscapesPlusAndMalformedInput) {
  expect_table(str_url_decode, {
                                   {"a+b%20c", "a b c"},
                                   {"%41", "A"},
                                   {"%zz", "%zz"},
                                   {"100%", "100%"},
                                   {"x%4", "x%4"},
                                   {"%4g%41", "%4gA"},
                                   {"%%41", "%A"},
                                   {"%u0041z", "Az"},
                                   {"%u41z", "Az"},
                                   {"%u00410", "A0"},  // at most four digits
                                   {"%E9", "\xE9"},
                                   {"a%uzb", "a"},  // no digit: value 0 ends the text
                                   {"a%u", "a"},
                                   {"a%00b", "a"},
                                   {"", ""},
                               });
}

TEST(UrlDecode, RunsOnBehindADecodedNul) {
  char text[] = "a%uz%41+";
  str_url_decode(text);
  EXPECT_EQ(0, std::memcmp(text, "a\0zA \0", 6));
}

TEST(UrlDecode, NullGivesNull) {
  EXPECT_EQ(str_url_decode(nullptr), nullptr);
  EXPECT_EQ(str_percent_decode(nullptr), nullptr);
  EXPECT_EQ(str_entity_decode(nullptr), nullptr);
}

TEST(UrlDecode, WideEscapeFollowsTheLocale) {
  // The default "C" locale has no character for U+00E9.
  EXPECT_EQ(decode(str_url_decode, "caf%u00e9"), "caf?");
  REQUIRE_UTF8_LOCALE(utf8);
  EXPECT_EQ(decode(str_url_decode, "caf%u00e9"), "caf\xC3\xA9");
  EXPECT_EQ(decode(str_url_decode, "%u434"), "\xD0\xB4");  // three digits
  EXPECT_EQ(decode(str_url_decode, "%uD800"), "?");        // a surrogate has no encoding
}

TEST(PercentDecode, KeepsPlusAndWideEscapes) {
  expect_table(str_percent_decode, {
                                       {"a+b%41", "a+bA"},
                                       {"%u0041", "%u0041"},
                                       {"%2", "%2"},
                                       {"%2F%2f", "//"},
                                   });
}

TEST(EntityDecode, DecimalReferencesOnly) {
  expect_table(str_entity_decode, {
                                      {"&#65;", "A"},
                                      {"x&#65;&#66;y", "xABy"},
                                      {"&#x41;", "&#x41;"},
                                      {"&#65", "&#65"},
                                      {"&amp;&#", "&amp;&#"},
                                      {"&#-1;", "?"},
                                      {"&# 65;", "A"},  // strtol skips white space
                                      {"&#99999999999999999999999;", "?"},
                                      {"&&#65;", "&A"},
                                      {"a&#;b", "a"},  // value 0 ends the text
                                  });
}

TEST(EntityDecode, NonAsciiFollowsTheLocale) {
  EXPECT_EQ(decode(str_entity_decode, "&#1076;"), "?");
  REQUIRE_UTF8_LOCALE(utf8);
  EXPECT_EQ(decode(str_entity_decode, "&#1076;&#1086;"), "\xD0\xB4\xD0\xBE");
  // "&#128512;" (9 bytes) becomes a 4-byte character.
  EXPECT_EQ(decode(str_entity_decode, "&#128512;"), "\xF0\x9F\x98\x80");
}

TEST(Decoders, LongTextsWithEscapesEverywhere) {
  std::string plain(100000, 'a');
  std::string input;
  std::string expected;
  for (int i = 0; i < 10000; ++i) {
    input += "abc%41+";
    expected += "abcA ";
  }
  input += plain;
  expected += plain;
  EXPECT_EQ(decode(str_url_decode, input), expected);
  EXPECT_EQ(decode(str_percent_decode, std::string(100000, '%')), std::string(100000, '%'));
  EXPECT_EQ(decode(str_entity_decode, std::string(50000, '&') + "#65;"),
            std::string(49999, '&') + "A");
}

TEST(HexValue, EveryByte) {
  const std::string digits = "0123456789abcdef";
  for (int b = 0; b < 256; ++b) {
    size_t pos = digits.find(static_cast<char>(b >= 'A' && b <= 'F' ? b + 32 : b));
    int expected = b != 0 && pos != std::string::npos ? static_cast<int>(pos) : -1;
    EXPECT_EQ(str_hex_value(static_cast<unsigned char>(b)), expected) << b;
  }
}

TEST(UrlIsSafe, EveryByte) {
  for (int b = 0; b < 256; ++b) {
    bool safe = (b >= 0x2C && b <= 0x3B) || (b >= 'A' && b <= 'Z') || (b >= 0x5E && b <= 0x7A);
    EXPECT_EQ(str_url_is_safe(static_cast<signed char>(b)), safe ? 1 : 0) << b;
  }
}

TEST(UrlEncode, EscapesOutsideTheSafeSet) {
  EXPECT_STREQ(str_url_encode(" ~\xE9/:,^`az09;+?%"), "%20%7E%E9/:,^`az09;%2B%3F%25");
  EXPECT_EQ(str_url_encode(nullptr), nullptr);
  const char *empty = "";
  EXPECT_EQ(str_url_encode(empty), empty);
}

TEST(UrlEncode, CutsAtItsLimit) {
  std::string spaces(6000, ' ');
  std::string out = str_url_encode(spaces.c_str());
  EXPECT_EQ(out.size(), 16383u);
  EXPECT_EQ(out.size() / 3, 5461u);
  // Plain bytes stop at exactly 16381.
  EXPECT_EQ(std::strlen(str_url_encode(std::string(20000, 'a').c_str())), 16381u);
}

TEST(UrlEncodeMin, MinimalEscapeSetAndLimit) {
  EXPECT_STREQ(str_url_encode_min("a b\"<>%&#?\x01\xE9"), "a%20b%22%3C%3E%&#?\x01%E9");
  EXPECT_STREQ(str_url_encode_min(nullptr), "");
  EXPECT_STREQ(str_url_encode_min(""), "");
  std::string out = str_url_encode_min(std::string(400, '\xFF').c_str());
  EXPECT_EQ(out.size(), 1023u);
  EXPECT_EQ(out.substr(0, 6), "%FF%FF");
}

TEST(HtmlEscape, EntitiesAndUnchangedText) {
  const char *plain = "no specials here";
  EXPECT_EQ(str_html_escape(plain), plain);
  EXPECT_STREQ(str_html_escape("<a href=\"x\">&</a>"),
               "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
  // A call that escapes nothing leaves the previous result in place.
  const char *escaped = str_html_escape("a&b");
  str_html_escape(plain);
  EXPECT_STREQ(escaped, "a&amp;b");
}

TEST(QuoteEscape, BackslashBeforeQuotes) {
  const char *plain = "a\\b";
  EXPECT_EQ(str_quote_escape(plain), plain);
  EXPECT_STREQ(str_quote_escape("say \"hi\" \\"), "say \\\"hi\\\" \\");
}

TEST(Escapers, EmptyTextWhenTheBufferCannotBeAllocated) {
  std::string quotes(32 << 20, '"');
  EXPECT_TRUE(testing_support::passes_without_memory([&] {
    const char *html = str_html_escape(quotes.c_str());
    const char *quoted = str_quote_escape(quotes.c_str());
    return html != nullptr && *html == '\0' && quoted != nullptr && *quoted == '\0';
  }));
}

}  // namespace
