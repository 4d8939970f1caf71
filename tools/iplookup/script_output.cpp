// The lines of a set script that must reach its reader whole.
#include "set_script.h"

namespace iplookup {

// The stream's buffer (a page for a pipe) takes the text whole when it
// starts empty, and the second flush hands it to the kernel in one write.
void write_whole(const std::string &text, FILE *out) {
  fflush(out);
  fwrite(text.data(), 1, text.size(), out);
  fflush(out);
}

}  // namespace iplookup
