// Internal: the day count and the text ring that the logger shares with the
// calendar functions.
#pragma once

#include <cstdint>
#include <ctime>

namespace velmor {

// Days from 2000-01-01 to the given calendar date; negative before 2000.
// The logger's day number and day_number() both come from here.
int32_t days_since_2000(int year, int yday);

// Next slot (64 bytes) of the text ring shared by the logger's directory
// date and time_text; valid until eight further slots have been taken.
char *text_ring_take();

constexpr int text_ring_slot_size = 64;

}  // namespace velmor
