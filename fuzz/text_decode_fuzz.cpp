// Decoders and escapers on arbitrary bytes. Properties: decoding never makes
// a text longer; percent-decoding what str_url_encode made gives the input
// back; the HTML and quote escapers add exactly their entities' bytes.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "str.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Wide escapes and references produce multibyte characters in UTF-8.
  std::setlocale(LC_ALL, "C.utf8");
  return 0;
}

namespace {

// Decodes a copy of text in an exactly sized block, so that the sanitizer
// sees any access past the terminator.
void check_decoder(char *(*decode)(char *), const std::string &text) {
  char *copy = static_cast<char *>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  if (decode(copy) != copy || std::strlen(copy) > text.size()) std::abort();
  std::free(copy);
}

size_t count_of(const std::string &text, const char *bytes) {
  size_t n = 0;
  for (char c : text) n += std::strchr(bytes, c) != nullptr;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  text = text.c_str();  // up to the first NUL
  check_decoder(str_url_decode, text);
  check_decoder(str_percent_decode, text);
  check_decoder(str_entity_decode, text);

  const char *encoded = str_url_encode(text.c_str());
  if (text.size() <= 5460) {  // short enough never to be cut
    std::string round_trip = encoded;
    str_percent_decode(round_trip.data());
    if (std::strcmp(round_trip.c_str(), text.c_str()) != 0) std::abort();
  }
  if (std::strlen(str_url_encode_min(text.c_str())) > 1023) std::abort();

  size_t html = std::strlen(str_html_escape(text.c_str()));
  size_t expected =
      text.size() + 5 * count_of(text, "\"") + 4 * count_of(text, "&") + 3 * count_of(text, "<>");
  if (html != expected) std::abort();
  if (std::strlen(str_quote_escape(text.c_str())) != text.size() + count_of(text, "\"")) {
    std::abort();
  }
  return 0;
}
