// Internal: word-at-a-time search for the next of a few special bytes in a
// range of known length. The decoders and escapers spend nearly all their time
// looking for the next escape in long stretches of plain text; testing eight
// bytes per step keeps that far above a byte loop. Loads go through memcpy, so
// nothing is read outside [p, end).
#pragma once

#include <cstdint>
#include <cstring>

namespace velmor {

namespace scan_detail {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

// Non-zero when some byte of word equals c; the lowest set high bit marks
// the first such byte (higher marks may be false positives, never lower).
inline uint64_t byte_hits(uint64_t word, unsigned char c) {
  uint64_t x = word ^ (kOnes * c);
  return (x - kOnes) & ~x & kHighs;
}

inline uint64_t load_word(const char *p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

template <typename... Bytes>
inline bool is_one_of(char c, Bytes... targets) {
  return ((c == static_cast<char>(targets)) || ...);
}

}  // namespace scan_detail

// First position in [p, end) holding one of the bytes in targets (1 to 4
// bytes), or end when there is none.
template <typename... Bytes>
inline const char *find_any(const char *p, const char *end, Bytes... targets) {
  static_assert(sizeof...(targets) >= 1 && sizeof...(targets) <= 4);
  using namespace scan_detail;
  if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
    while (end - p >= 8) {
      uint64_t word = load_word(p);
      uint64_t hits = (byte_hits(word, static_cast<unsigned char>(targets)) | ...);
      if (hits != 0) {
        // The lowest hit is exact (borrows only run upward), so the first
        // set bit gives the first matching byte.
        return p + (__builtin_ctzll(hits) >> 3);
      }
      p += 8;
    }
  }
  for (; p < end; ++p) {
    if (is_one_of(*p, targets...)) return p;
  }
  return end;
}

template <typename... Bytes>
inline char *find_any(char *p, char *end, Bytes... targets) {
  return const_cast<char *>(find_any(static_cast<const char *>(p), end, targets...));
}

}  // namespace velmor
