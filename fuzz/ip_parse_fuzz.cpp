// Address text round trip: every text that parses formats to a dotted quad
// that parses back to the same address and formats to itself again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "str.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);  // ends at the first NUL
  uint32_t address = str_ip_parse(text.c_str());
  if (address == 0xFFFFFFFFu) return 0;  // a failure (or 255.255.255.255)
  std::string formatted = str_ip_format(address);
  if (str_ip_parse(formatted.c_str()) != address) abort();
  if (formatted != str_ip_format(address)) abort();
  // The canonical form: four numbers 0..255 without leading zeros.
  unsigned parts[4];
  char tail = 0;
  if (sscanf(formatted.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3],
             &tail) != 4)
    abort();
  for (unsigned part : parts)
    if (part > 255) abort();
  return 0;
}
