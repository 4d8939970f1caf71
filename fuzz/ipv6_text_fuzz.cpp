// IPv6 address text: the scanner stays inside its range and agrees with the
// whole-text reader, which accepts exactly what glibc's inet_pton accepts
// (with the same bytes), and every address read writes a text that reads
// back to it and is written the same way again.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "str.h"
#include "str/internal/ipv6_text.h"

namespace {

bool continues_address(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

// Scans from begin in a buffer whose last byte is the last of the input, so
// that AddressSanitizer stops any read past end.
void check_scan(const char *begin, const char *end) {
  uint8_t out[16];
  const char *stop = velmor::scan_ipv6(begin, end, out);
  if (stop == nullptr) return;
  if (stop <= begin || stop > end) abort();
  if (stop < end && continues_address(*stop)) abort();  // an address is never cut short
  uint8_t whole[16];
  std::string text(begin, stop);
  if (!str_ip6_parse(text.c_str(), whole) || memcmp(whole, out, 16) != 0) abort();
}

void check_round_trip(const uint8_t addr[16]) {
  std::string written = str_ip6_format(addr);
  uint8_t again[16];
  if (!str_ip6_parse(written.c_str(), again) || memcmp(again, addr, 16) != 0) abort();
  if (written != str_ip6_format(again)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  auto exact = std::make_unique<char[]>(size == 0 ? 1 : size);
  if (size > 0) memcpy(exact.get(), data, size);
  const char *end = exact.get() + size;
  // Each start position; addresses are short, so the work stays linear.
  for (size_t start = 0; start < size && start < 64; start++) check_scan(exact.get() + start, end);

  std::string text(reinterpret_cast<const char *>(data), size);  // read up to the first NUL
  uint8_t ours[16], theirs[16] = {};
  bool ours_ok = str_ip6_parse(text.c_str(), ours);
  bool theirs_ok = inet_pton(AF_INET6, text.c_str(), theirs) == 1;
  if (ours_ok != theirs_ok) abort();
  if (!ours_ok) {
    static const uint8_t kZero[16] = {};
    if (memcmp(ours, kZero, 16) != 0) abort();  // a refusal leaves zero bytes
    return 0;
  }
  if (memcmp(ours, theirs, 16) != 0) abort();
  check_round_trip(ours);
  return 0;
}
