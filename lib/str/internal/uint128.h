// Internal: an IPv6 address as one 128-bit number, for the arithmetic of
// ranges and blocks (the compilers' extension type; C callers see only the
// 16 network-order bytes).
#pragma once

#include <cstdint>

namespace velmor {

__extension__ typedef unsigned __int128 uint128;

constexpr uint128 uint128_max = ~uint128{0};

inline uint128 uint128_from_bytes(const uint8_t addr[16]) {
  uint128 value = 0;
  for (int i = 0; i < 16; ++i) value = value << 8 | addr[i];
  return value;
}

inline void uint128_to_bytes(uint128 value, uint8_t addr[16]) {
  for (int i = 15; i >= 0; --i, value >>= 8) addr[i] = static_cast<uint8_t>(value);
}

}  // namespace velmor
