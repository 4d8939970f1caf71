// Internal: the locale's character classes and lower-case mapping for code
// points, as the multibyte text operations need them.
#pragma once

#include <cstdint>

namespace velmor {

// True when the current locale gives c the class alphabetic, digit or number.
bool locale_is_word_class(uint32_t c);

// The current locale's lower-case form of c (c itself when it has none).
uint32_t locale_to_lower(uint32_t c);

}  // namespace velmor
