// Internal: the day count shared by the logger's time cache and the
// calendar functions.
#pragma once

#include <cstdint>

namespace velmor {

// Days from 2000-01-01 to the given calendar date; negative before 2000.
// The logger's day number and day_number() both come from here.
int32_t days_since_2000(int year, int yday);

}  // namespace velmor
