// Input lines for orvik's IPv6 tests: the six-field form as the published
// IPv6 list writes it (a space after each comma), and text addresses as
// numbers.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ip_ranges/internal/cidr.h"
#include "str.h"

namespace orvik_lines {

using velmor::uint128;

// The address of an IPv6 text; aborts on a text that is none (a broken test).
inline uint128 address6(const std::string &text) {
  uint8_t bytes[16];
  if (!str_ip6_parse(text.c_str(), bytes)) abort();
  return velmor::uint128_from_bytes(bytes);
}

// The 16 bytes of an IPv6 text.
inline std::array<uint8_t, 16> bytes6(const std::string &text) {
  std::array<uint8_t, 16> bytes;
  velmor::uint128_to_bytes(address6(text), bytes.data());
  return bytes;
}

inline std::string decimal(uint128 value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

inline std::string quoted(const std::string &text) { return "\"" + text + "\""; }

// Six quoted fields joined by separator: the texts, the numbers as given,
// the code and the name.
inline std::string six_fields(const std::string &first, const std::string &last,
                              const std::string &first_number, const std::string &last_number,
                              const std::string &code, const std::string &name,
                              const std::string &separator = ", ") {
  return quoted(first) + separator + quoted(last) + separator + quoted(first_number) + separator +
         quoted(last_number) + separator + quoted(code) + separator + quoted(name) + "\n";
}

// A line of the published IPv6 list for [first, last].
inline std::string line6(const std::string &first, const std::string &last, const std::string &code,
                         const std::string &name = "Somewhere",
                         const std::string &separator = ", ") {
  return six_fields(first, last, decimal(address6(first)), decimal(address6(last)), code, name,
                    separator);
}

// The line of the /32 "<prefix>::/32" ("2001:200" gives 2001:200:: up to
// 2001:200:ffff:ffff:ffff:ffff:ffff:ffff).
inline std::string slash32(const std::string &prefix, const std::string &code,
                           const std::string &name = "Somewhere") {
  return line6(prefix + "::", prefix + ":ffff:ffff:ffff:ffff:ffff:ffff", code, name);
}

}  // namespace orvik_lines
