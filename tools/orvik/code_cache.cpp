// Remembered code lookups. The names table answers by a scan over 256 ids
// with exact comparison; the answer for a code cannot change while the names
// stay loaded, so each code is asked once.
#include "misc.h"
#include "orvik.h"

namespace orvik {

namespace {

constexpr size_t kTwoLetterCodes = size_t{1} << 16;

}  // namespace

CodeCache::CodeCache(ip_ranges *names)
    : names_(names),
      two_letter_(static_cast<int16_t *>(
          mem_alloc(kTwoLetterCodes * sizeof(int16_t), __FILE__, __LINE__))) {
  if (two_letter_ == nullptr) return;
  for (size_t i = 0; i < kTwoLetterCodes; ++i) two_letter_[i] = kNotAsked;
}

CodeCache::~CodeCache() { mem_free(two_letter_); }

int16_t CodeCache::find(const char *code) {
  const bool two_letter = code[0] != '\0' && code[1] != '\0' && code[2] == '\0';
  if (two_letter) {
    const int key = static_cast<unsigned char>(code[0]) << 8 | static_cast<unsigned char>(code[1]);
    int16_t &slot = two_letter_[key];
    if (slot != kNotAsked) return slot;
    const int16_t id = ip_ranges_find(names_, code);
    if (names_loaded()) slot = id;
    return id;
  }
  const std::string key(code);
  if (const auto it = other_.find(key); it != other_.end()) return it->second;
  const int16_t id = ip_ranges_find(names_, code);
  if (names_loaded()) other_.emplace(key, id);
  return id;
}

}  // namespace orvik
