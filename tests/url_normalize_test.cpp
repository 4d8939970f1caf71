// Normalization of visited addresses into "host/path" statistics keys.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "str.h"
#include "text_locale.h"

namespace {

constexpr bool kBare = true;
constexpr bool kUrl = false;
// Which outputs a case asks for.
constexpr int kHost = 1;
constexpr int kQuery = 2;
constexpr int kBoth = kHost | kQuery;
constexpr int kNone = 0;

struct Case {
  const char *input;
  bool bare;
  int outputs;
  int result;
  const char *key;    // null: not checked
  const char *host;   // null: the host output is not set
  const char *query;  // null: the query output is not set
};

const char kUnset[] = "unset";

// Runs one case in a heap buffer of exactly strlen + 2 bytes, so that the
// sanitizer catches a write beyond the room the caller must provide.
void check(const Case &c) {
  SCOPED_TRACE(c.input);
  size_t n = std::strlen(c.input);
  std::vector<char> buffer(c.input, c.input + n + 1);
  buffer.push_back('\0');
  buffer.shrink_to_fit();
  const char *host = kUnset;
  char *query = const_cast<char *>(kUnset);
  int result = str_url_normalize(buffer.data(), (c.outputs & kHost) ? &host : nullptr,
                                 (c.outputs & kQuery) ? &query : nullptr, c.bare);
  EXPECT_EQ(result, c.result);
  if (c.key != nullptr) {
    EXPECT_STREQ(buffer.data(), c.key);
  }
  if (c.host == nullptr) {
    EXPECT_EQ(host, kUnset);
  } else {
    EXPECT_STREQ(host, c.host);
  }
  if (c.query == nullptr) {
    EXPECT_EQ(query, kUnset);
  } else {
    EXPECT_STREQ(query, c.query);
  }
}

TEST(UrlNormalize, WorkedExamplesAndEdgeCases) {
  const Case cases[] = {
      // Worked examples.
      {"HTTP://www.Example.com:8080/koi8-r//a/./index.html?x=1#top", kUrl, kBoth, 1,
       "example.com/a/", "www.example.com", "x=1"},
      {"example.com/path/", kBare, kBoth, 1, "example.com/path/", "example.com", nullptr},
      {"example.com/path/", kUrl, kBoth, 0, "example.com/path/", nullptr, nullptr},
      {"https://WWW2.Example.org./", kUrl, kBoth, 1, "example.org/", "www2.example.org", nullptr},
      {"http://Shop.Example.net/Docs/./Default.ASP;sid=7?p=2", kUrl, kBoth, 1,
       "shop.example.net/Docs/", "shop.example.net", "p=2"},
      {"http://Host.Example.com/a%20b+c/.", kUrl, kBoth, 1, "host.example.com/a b c/",
       "host.example.com", nullptr},
      {"http://localhost/x", kUrl, kBoth, 0, nullptr, nullptr, nullptr},
      {"http://localhost/x", kUrl, kQuery, 1, "localhost/x", nullptr, nullptr},
      // Fragment, ';' and query.
      {"http://a.b/c#d", kUrl, kBoth, 1, "a.b/c", "a.b", nullptr},
      {"http://a.b/c;x/d?q", kUrl, kBoth, 1, "a.b/c", "a.b", "q"},
      {"http://a.b/c?", kUrl, kBoth, 1, "a.b/c", "a.b", nullptr},
      {"http://a.b/c?#x", kUrl, kBoth, 1, "a.b/c", "a.b", ""},
      {"http://a.b/c?q;r#s;t", kUrl, kQuery, 1, "a.b/c", nullptr, "q;r"},
      // Bare addresses gain their '/'; the query survives that.
      {"example.com", kBare, kNone, 1, "example.com/", nullptr, nullptr},
      {"example.com?x=1", kBare, kBoth, 1, "example.com/", "example.com", "x=1"},
      {"example.com?x=1#f", kBare, kQuery, 1, "example.com/", nullptr, "x=1"},
      {"example.com/?x=1", kBare, kQuery, 1, "example.com/", nullptr, "x=1"},
      // Scheme forms.
      {"http:\\\\a.b\\c", kUrl, kNone, 1, "a.b/c", nullptr, nullptr},
      {"http://a", kUrl, kNone, 1, "a/", nullptr, nullptr},
      {"http://a", kUrl, kHost, 0, nullptr, nullptr, nullptr},
      {"http://", kUrl, kNone, 0, nullptr, nullptr, nullptr},
      {"hTtPs://X.Y", kUrl, kNone, 1, "x.y/", nullptr, nullptr},
      {"ftp://a.b/c", kUrl, kNone, 0, nullptr, nullptr, nullptr},
      {"", kBare, kNone, 0, "", nullptr, nullptr},
      // Host: dots, port, prefixes, spaces, user information.
      {"http://.a.b./", kUrl, kHost, 1, "a.b/", "a.b", nullptr},
      {"http://a.b:80/c", kUrl, kHost, 1, "a.b/c", "a.b", nullptr},
      {"http://www.com/", kUrl, kHost, 1, "www.com/", "www.com", nullptr},
      {"http://www5x.a.b/", kUrl, kHost, 1, "www5x.a.b/", "www5x.a.b", nullptr},
      {"http://www..a/", kUrl, kHost, 1, ".a/", "www..a", nullptr},
      {"http://a+b.c/d+e", kUrl, kHost, 1, "ab.c/d e", "a b.c", nullptr},
      {"http://%20/x", kUrl, kNone, 1, "/x", nullptr, nullptr},
      {"http://A%2Eb/", kUrl, kHost, 1, "a.b/", "a.b", nullptr},
      {"http://User:pw@Host.com/x", kUrl, kHost, 0, nullptr, nullptr, nullptr},
      {"http://User:pw@Host.com/x", kUrl, kNone, 1, "User/x", nullptr, nullptr},
      {"http://First.Last:pw@host.com/", kUrl, kHost, 1, "first.last/", "first.last", nullptr},
      {"http://c1.velmor.net/p", kUrl, kHost, 1, "velmor.net/p", "c1.velmor.net", nullptr},
      {"http://c.velmor.net", kUrl, kNone, 1, "velmor.net/", nullptr, nullptr},
      {"http://cx.velmor.net/", kUrl, kNone, 1, "cx.velmor.net/", nullptr, nullptr},
      {"http://c1.other.net/", kUrl, kNone, 1, "c1.other.net/", nullptr, nullptr},
      {"http://:80/", kUrl, kNone, 0, nullptr, nullptr, nullptr},
      // Path: slashes, charset segment, index pages.
      {"http://a.b/x%2F%2E%2Fy//z/./././w", kUrl, kNone, 1, "a.b/x/y/z/w", nullptr, nullptr},
      {"http://a.b/koi8-r", kUrl, kNone, 1, "a.b/koi8-r", nullptr, nullptr},
      {"http://a.b/x/koi8-r/y", kUrl, kNone, 1, "a.b/x/koi8-r/y", nullptr, nullptr},
      {"http://a.b/koi8-r//y", kUrl, kNone, 1, "a.b/y", nullptr, nullptr},
      {"http://a.b/KOI8-R/a", kUrl, kNone, 1, "a.b/KOI8-R/a", nullptr, nullptr},
      {"http://a.b/koi7/dos/a", kUrl, kNone, 1, "a.b/dos/a", nullptr, nullptr},
      {"http://a.b/x/Index.HTM", kUrl, kNone, 1, "a.b/x/", nullptr, nullptr},
      {"http://a.b/x/default.aspx", kUrl, kNone, 1, "a.b/x/", nullptr, nullptr},
      {"http://a.b/x/index", kUrl, kNone, 1, "a.b/x/index", nullptr, nullptr},
      {"http://a.b/x/indexes.html", kUrl, kNone, 1, "a.b/x/indexes.html", nullptr, nullptr},
      {"http://a.b/x/..", kUrl, kNone, 1, "a.b/x/..", nullptr, nullptr},
      {"http://a.b/x/.", kUrl, kNone, 1, "a.b/x/", nullptr, nullptr},
      {"http://a.b/index.html0123456789012345678901234567890", kUrl, kNone, 1, "a.b/", nullptr,
       nullptr},
  };
  for (const Case &c : cases) check(c);
}

TEST(UrlNormalize, NullBuffer) { EXPECT_EQ(str_url_normalize(nullptr, nullptr, nullptr, true), 0); }

TEST(UrlNormalize, LongHostOutputIsCut) {
  std::string host(296, 'h');
  host += ".com";
  std::string text = "http://" + host + "/p";
  text.resize(text.size() + 2);
  const char *host_out = nullptr;
  ASSERT_EQ(str_url_normalize(text.data(), &host_out, nullptr, false), 1);
  EXPECT_EQ(std::string(host_out), host.substr(0, 255));
  EXPECT_EQ(std::string(text.c_str()), host + "/p");
}

TEST(UrlNormalize, NonAsciiHostFollowsTheLocale) {
  REQUIRE_UTF8_LOCALE(utf8);
  std::string text = "http://\xD0\x94\xD0\x9E\xD0\x9C.Example.RU/%D0%94";
  text.resize(text.size() + 2);
  ASSERT_EQ(str_url_normalize(text.data(), nullptr, nullptr, false), 1);
  EXPECT_STREQ(text.c_str(), "\xD0\xB4\xD0\xBE\xD0\xBC.example.ru/\xD0\x94");
}

}  // namespace
