// Building paths: joined whole or refused with the operation's message.
#include "misc/internal/paths.h"

#include <cerrno>
#include <cstring>

#include "misc.h"

namespace velmor {

namespace {

// Appends as much of text as fits into [*p, end), keeping room for the
// terminator.
void append_cut(char **p, char *end, std::string_view text) {
  size_t room = static_cast<size_t>(end - *p) - 1;
  size_t n = text.size() < room ? text.size() : room;
  memcpy(*p, text.data(), n);
  *p += n;
  **p = '\0';
}

void report_refused(PathReport report, std::initializer_list<std::string_view> parts) {
  char shown[1024];  // a log line holds no more
  char *p = shown;
  *p = '\0';
  for (std::string_view part : parts) append_cut(&p, shown + sizeof shown, part);
  errno = ENAMETOOLONG;
  log_msg(LOG_ERROR | LOG_ERRNO, "%s%s%s", report.before, shown, report.after);
  errno = ENAMETOOLONG;
}

}  // namespace

bool build_path(PathText &out, PathReport report, std::initializer_list<std::string_view> parts) {
  size_t length = 0;
  for (std::string_view part : parts) length += part.size();
  if (length > path_max) {
    out.text[0] = '\0';
    report_refused(report, parts);
    return false;
  }
  char *p = out.text;
  for (std::string_view part : parts) {
    memcpy(p, part.data(), part.size());
    p += part.size();
  }
  *p = '\0';
  return true;
}

}  // namespace velmor
