// Escaping for URLs and HTML. The URL encoders write into fixed static
// buffers and cut their output silently at a limit; the HTML and quote
// escapers size a heap buffer held by the library to each call's result.
#include <cstring>

#include "misc.h"
#include "str.h"
#include "str/internal/byte_scan.h"

namespace {

// Bytes that a URL encoder copies unchanged (true) or escapes (false).
struct ByteSet {
  bool member[256];
  constexpr ByteSet(bool initial) : member() {
    for (bool &m : member) m = initial;
  }
  constexpr ByteSet &mark(int first, int last, bool value) {
    for (int b = first; b <= last; ++b) member[b] = value;
    return *this;
  }
};

// Comma to semicolon, A-Z, circumflex to z.
constexpr ByteSet kUrlSafe =
    ByteSet(false).mark(0x2C, 0x3B, true).mark(0x41, 0x5A, true).mark(0x5E, 0x7A, true);

// The minimal encoder escapes only space, '"', '<', '>' and bytes from 0x80.
constexpr ByteSet kMinSafe = ByteSet(true)
                                 .mark(' ', ' ', false)
                                 .mark('"', '"', false)
                                 .mark('<', '<', false)
                                 .mark('>', '>', false)
                                 .mark(0x80, 0xFF, false);

constexpr size_t kUrlBufferSize = 16384;
constexpr size_t kUrlLimit = 16381;  // stop once the output holds this much
constexpr size_t kMinBufferSize = 1024;
constexpr size_t kMinLimit = 1021;

char url_buffer[kUrlBufferSize];
char min_buffer[kMinBufferSize];
char *html_buffer = nullptr;
char *quote_buffer = nullptr;

// Copies text into out, escaping the bytes outside safe as "%XX", until the
// input ends or the output reaches limit. An escape may run at most two
// bytes past limit, which the buffer sizes leave room for.
void percent_encode(const char *text, const ByteSet &safe, char *out, size_t limit) {
  const char *hex = process_info.hex_digits;
  size_t o = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
    if (safe.member[*p]) {
      out[o++] = static_cast<char>(*p);
    } else {
      out[o++] = '%';
      out[o++] = hex[*p >> 4];
      out[o++] = hex[*p & 0x0F];
    }
    if (o >= limit) break;
  }
  out[o] = '\0';
}

// The HTML entity for c, or null when c needs none.
const char *html_entity(char c) {
  switch (c) {
    case '"':
      return "&quot;";
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return nullptr;
  }
}

size_t count_html_specials(const char *text, const char *end) {
  size_t n = 0;
  for (const char *p = velmor::find_any(text, end, '"', '&', '<', '>'); p != end;
       p = velmor::find_any(p + 1, end, '"', '&', '<', '>')) {
    ++n;
  }
  return n;
}

size_t count_quotes(const char *text, const char *end) {
  size_t n = 0;
  for (const char *p = static_cast<const char *>(std::memchr(text, '"', end - text)); p != nullptr;
       p = static_cast<const char *>(std::memchr(p + 1, '"', end - p - 1))) {
    ++n;
  }
  return n;
}

// Resizes the block held in *buffer; on failure (already reported) the old
// block stays where it was and null comes back.
char *resize_result(char **buffer, size_t size, unsigned line) {
  void *block = mem_realloc(*buffer, size, __FILE__, line);
  if (block != nullptr) *buffer = static_cast<char *>(block);
  return static_cast<char *>(block);
}

}  // namespace

extern "C" {

int str_url_is_safe(signed char c) {
  return kUrlSafe.member[static_cast<unsigned char>(c)] ? 1 : 0;
}

const char *str_url_encode(const char *text) {
  if (text == nullptr || *text == '\0') return text;
  percent_encode(text, kUrlSafe, url_buffer, kUrlLimit);
  return url_buffer;
}

const char *str_url_encode_min(const char *text) {
  if (text == nullptr || *text == '\0') return "";
  percent_encode(text, kMinSafe, min_buffer, kMinLimit);
  return min_buffer;
}

const char *str_html_escape(const char *text) {
  const char *end = text + std::strlen(text);
  size_t n = count_html_specials(text, end);
  if (n == 0) return text;
  char *out = resize_result(&html_buffer, static_cast<size_t>(end - text) + 6 * n + 1, __LINE__);
  if (out == nullptr) return "";
  const char *r = text;
  for (;;) {
    const char *special = velmor::find_any(r, end, '"', '&', '<', '>');
    size_t run = static_cast<size_t>(special - r);
    std::memcpy(out, r, run);
    out += run;
    if (special == end) break;
    const char *entity = html_entity(*special);
    size_t length = std::strlen(entity);
    std::memcpy(out, entity, length);
    out += length;
    r = special + 1;
  }
  *out = '\0';
  return html_buffer;
}

const char *str_quote_escape(const char *text) {
  const char *end = text + std::strlen(text);
  size_t n = count_quotes(text, end);
  if (n == 0) return text;
  char *out = resize_result(&quote_buffer, static_cast<size_t>(end - text) + 2 * n + 1, __LINE__);
  if (out == nullptr) return "";
  for (const char *p = text; p != end; ++p) {
    if (*p == '"') *out++ = '\\';
    *out++ = *p;
  }
  *out = '\0';
  return quote_buffer;
}

}  // extern "C"
