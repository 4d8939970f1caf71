// str_wrap_quoted on arbitrary bytes, in the C or UTF-8 locale (first byte).
// Property, for texts without '"': the pieces between the joints are never
// empty, hold at most 64 characters, and join back into the input.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "str.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::setlocale(LC_ALL, (data[0] & 1) != 0 ? "C.utf8" : "C");
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  text = text.c_str();
  const char *wrapped = str_wrap_quoted(text.c_str());
  if (text.find('"') != std::string::npos) return 0;
  std::string out = wrapped;
  std::string joined;
  size_t start = 0;
  for (size_t joint; (joint = out.find("\"+\n\"", start)) != std::string::npos; start = joint + 4) {
    size_t piece = joint - start;
    if (piece == 0 || piece > 64 * 3) std::abort();
    joined += out.substr(start, piece);
  }
  joined += out.substr(start);
  if (joined != text) std::abort();
  return 0;
}
