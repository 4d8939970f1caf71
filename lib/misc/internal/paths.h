// Internal: the one place where the library builds a path. Paths are
// limited to path_max bytes; a longer one is refused, never cut, since a cut
// path names another file.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace velmor {

constexpr size_t path_max = 255;

// A built path: text holds it with its terminator.
struct PathText {
  char text[path_max + 1] = {};
  const char *c_str() const { return text; }
};

// How a refused path is reported: the operation's usual message, written as
// before + path + after ("cannot open file " + path).
struct PathReport {
  const char *before;
  const char *after = "";
};

// Joins parts into out. A result longer than path_max bytes is refused: out
// is emptied, errno is set to ENAMETOOLONG and the report logged at
// LOG_ERROR|LOG_ERRNO with the whole path (as much of it as a log line
// holds). False then, true otherwise.
bool build_path(PathText &out, PathReport report, std::initializer_list<std::string_view> parts);

// path without its trailing slashes ("/" stays): a trailing slash makes the
// system follow a symbolic link at the last component, even with
// O_NOFOLLOW, so operations that refuse links strip them first.
inline std::string_view without_trailing_slashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// The directory and the last component of a path: "a/b" is "b" in "a", "b"
// is "b" in ".", "/b" is "b" in "/". Trailing slashes are not removed.
struct PathParts {
  std::string_view dir;
  std::string_view name;
};

inline PathParts split_last(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", path};
  return {slash == 0 ? path.substr(0, 1) : path.substr(0, slash), path.substr(slash + 1)};
}

// "." or "..": directory walks skip them by name, since not every file
// system lists them first.
inline bool is_dot_entry(const char *name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace velmor
