// Internal: lets tests start the hit counter afresh within one process.
#pragma once

namespace velmor {

// Closes the counter file and forgets every count and the failed flag, as if
// the process had just started.
void hit_count_reset_for_tests();

}  // namespace velmor
