// In-place editing (unescape, CR removal, byte mapping, trimming), assembly
// of texts on the heap, and wrapping into quoted pieces.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "str.h"
#include "text_alloc_limit.h"
#include "text_locale.h"

TEXT_ALLOW_FAILED_ALLOCATIONS

namespace {

struct EditCase {
  const char *input;
  const char *expected;
};

TEST(Unescape, RemovesBackslashesKeepingTheNextByte) {
  const EditCase cases[] = {
      {"a\\,b", "a,b"}, {"\\\\", "\\"}, {"\\t\\n", "tn"}, {"plain", "plain"},
      {"\\\\\\", "\\"}, {"ab\\", "ab"}, {"\\", ""},       {"\\\\x\\y", "\\xy"},
  };
  for (const EditCase &c : cases) {
    std::string text = c.input;
    str_unescape(text.data(), static_cast<char *>(nullptr));
    EXPECT_STREQ(text.c_str(), c.expected) << c.input;
  }
}

TEST(Unescape, LoneFinalBackslashNeverReadsPastTheText) {
  // Exactly sized heap block: the sanitizer catches any read past it.
  char *text = static_cast<char *>(std::malloc(4));
  std::memcpy(text, "ab\\", 4);
  str_unescape(text, static_cast<char *>(nullptr));
  EXPECT_STREQ(text, "ab");
  std::free(text);
}

TEST(Unescape, EveryTextOfTheList) {
  char a[] = "x\\y";
  char b[] = "\\q";
  str_unescape(a, b, static_cast<char *>(nullptr));
  EXPECT_STREQ(a, "xy");
  EXPECT_STREQ(b, "q");
}

TEST(StripCr, DropsEveryCr) {
  char a[] = "one\r\ntwo\r\n\r\r";
  char b[] = "no cr\n";
  str_strip_cr(a, b, static_cast<char *>(nullptr));
  EXPECT_STREQ(a, "one\ntwo\n");
  EXPECT_STREQ(b, "no cr\n");
}

struct TrCase {
  const char *from;
  const char *to;
  const char *input;
  const char *expected;
};

TEST(Tr, DeleteReplaceAndMap) {
  const TrCase cases[] = {
      {"abc", "", "xaabbcx", "xx"},
      {"a", "", "aaXa", "X"},
      {"abc", "_", "xaabbcx", "x_____x"},
      {"abcd", "xy", "abcd", "xyyy"},
      {"ab", "xyz", "abc", "xyc"},
      {"ab", "ba", "abba", "baab"},  // each byte is mapped once
      {"aa", "xy", "a", "y"},        // a repeated byte keeps its later mapping
      {"\xC0\xFF", "\xE0!", "\xC0\xFF\x7F", "\xE0!\x7F"},
      {"", "x", "abc", "abc"},
  };
  for (const TrCase &c : cases) {
    std::string text = c.input;
    str_tr(c.from, c.to, text.data(), static_cast<char *>(nullptr));
    EXPECT_EQ(text.c_str(), std::string(c.expected)) << c.from << " -> " << c.to;
  }
}

TEST(Tr, NullArgumentsChangeNothing) {
  char text[] = "abc";
  str_tr(nullptr, "x", text, static_cast<char *>(nullptr));
  str_tr("a", nullptr, text, static_cast<char *>(nullptr));
  str_tr("a", "x", static_cast<char *>(nullptr), text, static_cast<char *>(nullptr));
  EXPECT_STREQ(text, "abc");
  char a[] = "abc";
  char b[] = "cab";
  str_tr("ab", "", a, b, static_cast<char *>(nullptr));
  EXPECT_STREQ(a, "c");
  EXPECT_STREQ(b, "c");
}

TEST(Trim, BothEndsButNotVerticalTab) {
  const EditCase cases[] = {
      {" \t\r\nword  x\r\n", "word  x"},
      {" \t\n\r", ""},
      {"", ""},
      {"\vkeep\f", "\vkeep\f"},
  };
  for (const EditCase &c : cases) {
    std::string text = c.input;
    EXPECT_STREQ(str_trim(text.data()), c.expected) << c.input;
  }
}

TEST(ConcatAlloc, JoinsIntoANewBlock) {
  char *joined = str_concat_alloc("ab", "", "cd", "e", static_cast<char *>(nullptr));
  EXPECT_STREQ(joined, "abcde");
  std::free(joined);
  char *empty = str_concat_alloc(nullptr, "ignored", static_cast<char *>(nullptr));
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  std::free(empty);
}

TEST(Append, GrowsTheCallersBlock) {
  char *text = nullptr;
  EXPECT_EQ(str_append(&text, nullptr), nullptr);
  EXPECT_STREQ(str_append(&text, "abc"), "abc");
  char *before = text;
  EXPECT_EQ(str_append(&text, nullptr), before);
  EXPECT_STREQ(str_append_list(&text, "-", "de", static_cast<char *>(nullptr)), "abc-de");
  EXPECT_STREQ(str_append_list(&text, static_cast<char *>(nullptr)), "abc-de");
  std::free(text);

  char *fresh = nullptr;
  EXPECT_STREQ(str_append_list(&fresh, static_cast<char *>(nullptr)), "");
  std::free(fresh);
  EXPECT_EQ(str_append_list(nullptr, "x", static_cast<char *>(nullptr)), nullptr);
}

TEST(Append, TheBlockMayBeAppendedToItself) {
  char *text = str_concat_alloc("abc", static_cast<char *>(nullptr));
  str_append_list(&text, text, "+", text + 1, static_cast<char *>(nullptr));
  EXPECT_STREQ(text, "abcabc+bc");
  str_append(&text, text);
  EXPECT_STREQ(text, "abcabc+bcabcabc+bc");
  std::free(text);
}

// A long text of 'a' that costs one chunk of memory: the same 1 MiB of a
// memory file mapped over and over, then a page of NULs.
class HugeText {
 public:
  explicit HugeText(size_t chunks) : size_(chunks * kChunk + kChunk) {
    void *base = mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return;
    base_ = static_cast<char *>(base);
    int fd = memfd_create("huge-text", 0);
    if (fd < 0) return;
    std::string fill(kChunk, 'a');
    bool ok = write(fd, fill.data(), kChunk) == static_cast<ssize_t>(kChunk);
    for (size_t i = 0; ok && i < chunks; ++i) {
      ok = mmap(base_ + i * kChunk, kChunk, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) != MAP_FAILED;
    }
    close(fd);
    ok_ = ok && mmap(base_ + chunks * kChunk, kChunk, PROT_READ,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED;
  }
  ~HugeText() {
    if (base_ != nullptr) munmap(base_, size_);
  }
  const char *text() const { return ok_ ? base_ : nullptr; }

 private:
  static constexpr size_t kChunk = 1 << 20;
  size_t size_;
  char *base_ = nullptr;
  bool ok_ = false;
};

TEST(Assembly, RefusesTotalsBeyondSigned32Bits) {
  HugeText huge(512);  // 512 MiB
  ASSERT_NE(huge.text(), nullptr) << "cannot map the huge text";
  const char *t = huge.text();
  EXPECT_EQ(std::strlen(t), size_t{1} << 29);
  // Four copies reach 2^31 bytes.
  EXPECT_EQ(str_concat_alloc(t, t, t, t, static_cast<char *>(nullptr)), nullptr);
  char *text = str_concat_alloc("keep", static_cast<char *>(nullptr));
  char *before = text;
  EXPECT_EQ(str_append_list(&text, t, t, t, t, static_cast<char *>(nullptr)), nullptr);
  EXPECT_EQ(text, before);
  EXPECT_STREQ(text, "keep");
  std::free(text);
}

TEST(Assembly, FailedAllocationKeepsTheCallersBlock) {
  std::string big(64 << 20, 'x');
  char *text = str_concat_alloc("keep", static_cast<char *>(nullptr));
  EXPECT_TRUE(testing_support::passes_without_memory([&] {
    char *before = text;
    return str_concat_alloc(big.c_str(), static_cast<char *>(nullptr)) == nullptr &&
           str_append(&text, big.c_str()) == nullptr && text == before &&
           std::strcmp(text, "keep") == 0;
  }));
  std::free(text);
}

// The pieces of a wrapped text, without the joints.
std::vector<std::string> pieces(const std::string &wrapped) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t joint; (joint = wrapped.find("\"+\n\"", start)) != std::string::npos;
       start = joint + 4) {
    out.push_back(wrapped.substr(start, joint - start));
  }
  out.push_back(wrapped.substr(start));
  return out;
}

std::string words_text(size_t bytes) {
  const char *words[] = {"alpha", "be", "gammadelta", "x", "epsilonzetaetathetaiotakappa"};
  std::string text;
  for (size_t i = 0; text.size() < bytes; ++i) {
    if (!text.empty()) text += ' ';
    text += words[i % 5];
  }
  return text;
}

TEST(WrapQuoted, ShortTextsComeBackAsTheyAre) {
  std::string short_text(47, 'a');
  EXPECT_EQ(str_wrap_quoted(short_text.c_str()), short_text.c_str());
  std::string text(48, 'a');
  const char *out = str_wrap_quoted(text.c_str());
  EXPECT_NE(out, text.c_str());
  EXPECT_EQ(out, text);
}

TEST(WrapQuoted, CutsBeforeWhiteSpaceWithinTheColumns) {
  std::string text = words_text(3000);  // longer than the initial buffer allows
  std::vector<std::string> parts = pieces(str_wrap_quoted(text.c_str()));
  ASSERT_GT(parts.size(), 40u);
  std::string joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_LE(parts[i].size(), i == 0 ? 48u : 64u) << i;
    if (i > 0) {
      EXPECT_EQ(parts[i][0], ' ') << i;
    }
    joined += parts[i];
  }
  EXPECT_EQ(joined, text);
}

TEST(WrapQuoted, WithoutWhiteSpaceCutsAtTheWindowsEnd) {
  std::string text(200, 'z');
  std::vector<std::string> parts = pieces(str_wrap_quoted(text.c_str()));
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[0].size(), 48u);
  EXPECT_EQ(parts[1].size(), 64u);
  EXPECT_EQ(parts[2].size(), 64u);
  EXPECT_EQ(parts[3].size(), 24u);
}

TEST(WrapQuoted, CountsCharactersNotBytes) {
  REQUIRE_UTF8_LOCALE(utf8);
  std::string cyrillic;
  for (int i = 0; i < 47; ++i) cyrillic += "\xD0\xB4";  // 47 characters, 94 bytes
  EXPECT_STREQ(str_wrap_quoted(cyrillic.c_str()), cyrillic.c_str());
  cyrillic += "\xD0\xB4 \xD0\xB4";
  std::vector<std::string> parts = pieces(str_wrap_quoted(cyrillic.c_str()));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[1], " \xD0\xB4");
}

TEST(WrapQuoted, EmptyTextWhenTheBufferCannotBeAllocated) {
  std::string big = words_text(16 << 20);
  EXPECT_TRUE(testing_support::passes_without_memory([&] {
    const char *out = str_wrap_quoted(big.c_str());
    return out != nullptr && *out == '\0';
  }));
}

}  // namespace
