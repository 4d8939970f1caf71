// Texts of 128-bit numbers for the benchmarks' generated inputs: an IPv6
// address as RFC 5952 text, and a number in decimal (the six-field list's
// number fields).
#pragma once

#include <cstdint>
#include <string>

#include "str/internal/ipv6_text.h"
#include "str/internal/number_scan.h"
#include "str/internal/uint128.h"

namespace bench_text {

inline std::string ipv6_text(velmor::uint128 address) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(address, bytes);
  char text[velmor::ipv6_text_max];
  return {text, velmor::format_ipv6(bytes, text)};
}

inline std::string decimal(velmor::uint128 value) {
  char text[velmor::decimal_text_size<velmor::uint128>];
  return {text, velmor::format_decimal(value, text)};
}

}  // namespace bench_text
