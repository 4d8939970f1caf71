// The one-line summary of a conversion, for -v and --check.
#include <string>

#include "orvik.h"

namespace orvik {

namespace {

std::string count(uint64_t number, const char *what) { return std::to_string(number) + what; }

}  // namespace

std::string summary_line(const Summary &summary) {
  std::string line =
      count(summary.lines, " lines read, ") + count(summary.accepted, " ranges accepted, ") +
      count(summary.entries, " entries, ") + count(summary.unsorted, " skipped as unsorted, ") +
      count(summary.malformed, " skipped as malformed, ");
  if (summary.new_codes >= 0) line += count(summary.new_codes, " new codes, ");
  line += count(summary.unknown.size(), " unknown codes");
  const char *separator = " (";
  for (const auto &[code, ranges] : summary.unknown) {
    line += separator + code + " " + std::to_string(ranges);
    separator = ", ";
  }
  if (!summary.unknown.empty()) line += ")";
  return line;
}

}  // namespace orvik
