// Internal: the latest error the logger wrote, for a program that ends a
// failed run with one line on standard error naming its cause.
#pragma once

namespace velmor {

// The message of the latest line logged at LOG_ERROR (with its errno text,
// without the time, the program name and the line feed); "" when there was
// none since the last forget_logged_error().
const char *last_logged_error();

void forget_logged_error();

}  // namespace velmor
