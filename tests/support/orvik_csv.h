// Builds input lines for orvik in the six-quoted-field form.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

// Address from dotted text (four plain numbers 0-255).
inline uint32_t dotted(const std::string &text) {
  uint32_t value = 0;
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    size_t used = 0;
    value = value << 8 | static_cast<uint32_t>(std::stoul(text.substr(pos), &used));
    pos += used + 1;
  }
  return value;
}

// "first","last","<first as number>","<last as number>","code","name"
inline std::string csv_line(const std::string &first, const std::string &last,
                            const std::string &code, const std::string &name) {
  return "\"" + first + "\",\"" + last + "\",\"" + std::to_string(dotted(first)) + "\",\"" +
         std::to_string(dotted(last)) + "\",\"" + code + "\",\"" + name + "\"\n";
}

// Lines of the two countries most tests use: AU (id 13) and CN (id 45).
inline std::string au(const std::string &first, const std::string &last) {
  return csv_line(first, last, "AU", "Australia");
}
inline std::string cn(const std::string &first, const std::string &last) {
  return csv_line(first, last, "CN", "China");
}

}  // namespace testing_support
