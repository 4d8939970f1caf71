// str_url_normalize on arbitrary bytes. The first byte chooses the flag and
// the outputs; the rest is the address, copied into a block of exactly its
// length + 2 bytes, the room the normalizer may use. Properties: a key never
// outgrows that block; the query output points into it; a key is not empty.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "str.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::setlocale(LC_ALL, "C.utf8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  uint8_t mode = data[0];
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  text = text.c_str();
  size_t room = text.size() + 2;
  char *buffer = static_cast<char *>(std::malloc(room));
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  buffer[room - 1] = 'X';  // the spare byte holds no terminator of its own
  const char *host = nullptr;
  char *query = nullptr;
  int result = str_url_normalize(buffer, (mode & 2) ? &host : nullptr,
                                 (mode & 4) ? &query : nullptr, (mode & 1) != 0);
  if (result == 1) {
    if (buffer[0] == '\0' || std::strlen(buffer) >= room) std::abort();
    if (host != nullptr && std::strlen(host) > 255) std::abort();
  }
  if (query != nullptr &&
      (query < buffer || query >= buffer + room || std::strlen(query) >= room)) {
    std::abort();
  }
  std::free(buffer);
  return 0;
}
