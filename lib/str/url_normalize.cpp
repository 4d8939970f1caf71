// Normalization of visited page addresses into statistics keys "host/path",
// so that the many spellings of one page's address count as one page.
// Everything happens in the caller's buffer and two static buffers; nothing
// is allocated.
#include <cstring>

#include "misc.h"
#include "str.h"
#include "str/internal/byte_scan.h"

namespace {

// Mirror hosts "c.<name>", "c1.<name>", "c2.<name>"... of the suite's own
// site count as <name> itself.
constexpr char kMirroredHost[] = "velmor.net";

constexpr size_t kHostCopySize = 256;
constexpr size_t kSegmentCopySize = 32;

char host_copy[kHostCopySize];
char segment_copy[kSegmentCopySize];

struct Scan {
  size_t length;  // index of the byte that ended the scan (+1 for '?')
  char *query;    // query text found in this call, or null
};

// Turns backslashes into slashes and ends the text at the fragment, the
// query and the first ';' before them. The query pointer is stored at once
// (and returned) when wanted and not empty.
Scan scan_address(char *text, char **query_out) {
  char *end = text + std::strlen(text);
  char *semicolon = nullptr;
  Scan scan{static_cast<size_t>(end - text), nullptr};
  for (char *p = velmor::find_any(text, end, '\\', ';', '#', '?'); p != end;
       p = velmor::find_any(p + 1, end, '\\', ';', '#', '?')) {
    if (*p == '\\') {
      *p = '/';
    } else if (*p == ';') {
      if (semicolon == nullptr) semicolon = p;
    } else if (*p == '#') {
      *p = '\0';
      scan.length = static_cast<size_t>(p - text);
      break;
    } else {  // '?'
      *p = '\0';
      scan.length = static_cast<size_t>(p - text) + 1;
      if (query_out != nullptr && p[1] != '\0') {
        scan.query = *query_out = p + 1;
        char *fragment = static_cast<char *>(std::memchr(p + 1, '#', end - p - 1));
        if (fragment != nullptr) *fragment = '\0';
      }
      break;
    }
  }
  if (semicolon != nullptr) *semicolon = '\0';
  return scan;
}

inline bool upper_is(char c, char expected) { return (c & ~0x20) == expected; }

// Offset of the host after an "http://" or "https://" scheme (any case), or
// -1 when there is none.
int scheme_length(const char *text, size_t scanned) {
  if (scanned < 8) return -1;
  bool http = upper_is(text[0], 'H') && upper_is(text[1], 'T') && upper_is(text[2], 'T') &&
              upper_is(text[3], 'P');
  if (!http) return -1;
  if (text[4] == ':' && text[5] == '/' && text[6] == '/') return 7;
  // 's', ':', '/', '/' with bit 0x20 cleared.
  if (upper_is(text[4], 'S') && upper_is(text[5], 0x1A) && upper_is(text[6], 0x0F) &&
      upper_is(text[7], 0x0F)) {
    return 8;
  }
  return -1;
}

// Lower-cases the host up to its first '@' when that part holds a '.'.
void lower_host(char *host) {
  char *p = host;
  bool dotted = false;
  bool changes = false;  // a capital or a multibyte character
  for (; *p != '\0' && *p != '@'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    dotted |= c == '.';
    changes |= (c >= 'A' && c <= 'Z') || c >= 0x80;
  }
  if (!dotted || !changes) return;
  char stop = *p;
  *p = '\0';
  str_lower(host);
  *p = stop;
}

// Cuts the port and the surrounding dots; returns the host's new start and
// stores its length.
char *trim_host(char *host, size_t *length) {
  char *end = host;
  while (*end != '\0' && *end != ':') ++end;
  *end = '\0';
  while (*host == '.') ++host;
  while (end > host && end[-1] == '.') *--end = '\0';
  *length = static_cast<size_t>(end - host);
  return host;
}

// After a leading letter, zero or more digits and a '.': the rest, or null.
const char *after_numbered_label(const char *host, const char *letters) {
  size_t n = std::strlen(letters);
  if (std::strncmp(host, letters, n) != 0) return nullptr;
  const char *p = host + n;
  while (*p >= '0' && *p <= '9') ++p;
  return *p == '.' ? p + 1 : nullptr;
}

// "www", "www2"... before a host that still has a '.' are dropped, and so
// is "c", "c1"... before the mirrored host.
char *drop_host_prefix(char *host) {
  if (std::strncmp(host, "www", 3) == 0) {
    const char *rest = after_numbered_label(host, "www");
    return rest != nullptr && std::strchr(rest, '.') != nullptr ? const_cast<char *>(rest) : host;
  }
  const char *rest = after_numbered_label(host, "c");
  return rest != nullptr && std::strcmp(rest, kMirroredHost) == 0 ? const_cast<char *>(rest) : host;
}

// Removes every space from the first n bytes of text; returns the new length.
size_t remove_spaces(char *text, size_t n) {
  const char *space = static_cast<const char *>(std::memchr(text, ' ', n));
  if (space == nullptr) {
    text[n] = '\0';
    return n;
  }
  size_t w = static_cast<size_t>(space - text);
  for (size_t r = w; r < n; ++r) {
    if (text[r] != ' ') text[w++] = text[r];
  }
  text[w] = '\0';
  return w;
}

// True when path holds "//" or "/./" (most paths hold neither).
bool needs_cleaning(const char *path) {
  const char *end = path + std::strlen(path);
  for (const char *p = path; (p = velmor::find_any(p, end, '/')) != end; ++p) {
    if (p[1] == '/' || (p[1] == '.' && p[2] == '/')) return true;
  }
  return false;
}

// Collapses runs of '/' into one, then removes "/." wherever it is followed
// by '/', in one pass each (the same result as deleting the first match
// again and again). Nothing is written before the first change.
void clean_slashes(char *path) {
  if (!needs_cleaning(path)) return;
  char *w = std::strstr(path, "//");
  if (w != nullptr) {
    for (const char *r = w + 1; *r != '\0'; ++r) {
      if (*r == '/' && w[0] == '/') continue;
      *++w = *r;
    }
    *++w = '\0';
  }
  w = std::strstr(path, "/./");
  if (w == nullptr) return;
  const char *r = w;
  while (*r != '\0') {
    if (r[0] == '/' && r[1] == '.' && r[2] == '/') {
      r += 2;
      continue;
    }
    *w++ = *r++;
  }
  *w = '\0';
}

// Drops a first segment that names a charset, when more segments follow.
void drop_charset_segment(char *path) {
  char *segment = path + 1;
  for (const charset_entry *c = process_info.charsets; c != nullptr && c->name != nullptr; ++c) {
    if (c->length <= 0) continue;
    size_t n = static_cast<size_t>(c->length);
    if (segment[0] == c->name[0] && std::strncmp(segment, c->name, n) == 0 && segment[n] == '/') {
      std::memmove(segment, segment + n + 1, std::strlen(segment + n + 1) + 1);
      return;
    }
  }
}

// Drops a last segment that names an index page ("index.*", "default.*" or
// ".", in any case).
void drop_index_page(char *path) {
  char *last = std::strrchr(path, '/') + 1;
  if (*last == '\0') return;
  if (!str_fold_ready) str_fold_init();
  size_t n = 0;
  for (; n < kSegmentCopySize - 1 && last[n] != '\0'; ++n) {
    segment_copy[n] = static_cast<char>(str_fold_table[static_cast<unsigned char>(last[n])]);
  }
  segment_copy[n] = '\0';
  if (std::strncmp(segment_copy, "index.", 6) == 0 ||
      std::strncmp(segment_copy, "default.", 8) == 0 || std::strcmp(segment_copy, ".") == 0) {
    *last = '\0';
  }
}

void copy_host_out(const char *host, size_t n, const char **host_out) {
  if (n > kHostCopySize - 1) n = kHostCopySize - 1;
  std::memcpy(host_copy, host, n);
  host_copy[n] = '\0';
  *host_out = host_copy;
}

}  // namespace

extern "C" int str_url_normalize(char *buffer, const char **host_out, char **query_out, bool bare) {
  if (buffer == nullptr || *buffer == '\0') return 0;
  Scan scan = scan_address(buffer, query_out);
  int start = scheme_length(buffer, scan.length);
  if (start < 0 && !bare) return 0;
  char *host = buffer + (start < 0 ? 0 : start);

  char *slash = std::strchr(host, '/');
  char *path_rest = nullptr;  // the path after its leading '/', when there is one
  if (slash != nullptr) {
    *slash = '\0';
    if (slash[1] != '\0') path_rest = slash + 1;
  }

  str_url_decode(host);
  lower_host(host);
  size_t host_length = 0;
  host = trim_host(host, &host_length);
  if (host_out != nullptr) {
    if (std::memchr(host, '.', host_length) == nullptr) return 0;
    copy_host_out(host, host_length, host_out);
  }
  char *bare_host = drop_host_prefix(host);
  host_length -= static_cast<size_t>(bare_host - host);
  host = bare_host;
  if (host_length == 0) return 0;
  std::memmove(buffer, host, host_length);
  host_length = remove_spaces(buffer, host_length);

  char *path = buffer + host_length;
  if (path_rest == nullptr) {
    // A bare host followed directly by its query keeps all of the query:
    // the key's '/' and terminator take the '?' and the next byte, so the
    // query moves up by one into the spare byte past the input.
    if (scan.query != nullptr && scan.query <= path + 1) {
      std::memmove(scan.query + 1, scan.query, std::strlen(scan.query) + 1);
      *query_out = ++scan.query;
    }
    path[0] = '/';
    path[1] = '\0';
    return 1;
  }
  *path = '/';
  if (path + 1 != path_rest) std::memmove(path + 1, path_rest, std::strlen(path_rest) + 1);

  str_url_decode(path);
  clean_slashes(path);
  drop_charset_segment(path);
  drop_index_page(path);
  return 1;
}
