// Remembered code lookups. The names table answers by a scan over 256 ids
// with exact comparison; the answer for a code cannot change while the names
// stay loaded, so each code is asked once. While the names cannot be loaded
// every question goes to the table, which tries to load them again.
#include "orvik.h"

orvik_code_cache::orvik_code_cache(ip_ranges *names) : names_(names), two_letter_{} {
  for (int16_t &id : two_letter_) id = kNotAsked;
}

int16_t orvik_code_cache::find(const char *code) {
  const bool two_letter = code[0] != '\0' && code[1] != '\0' && code[2] == '\0';
  if (two_letter) {
    const int key = static_cast<unsigned char>(code[0]) << 8 | static_cast<unsigned char>(code[1]);
    int16_t &slot = two_letter_[key];
    if (slot != kNotAsked) return slot;
    const int16_t id = ip_ranges_find(names_, code);
    if (names_ != nullptr && names_->titles != nullptr) slot = id;
    return id;
  }
  const std::string key(code);
  if (const auto it = other_.find(key); it != other_.end()) return it->second;
  const int16_t id = ip_ranges_find(names_, code);
  if (names_ != nullptr && names_->titles != nullptr) other_.emplace(key, id);
  return id;
}
