// The summary of a conversion, for -v and --check: one line, or one per
// table when the input held IPv6 lines.
#include <string>
#include <vector>

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
  if (summary.overlapping >= 0)
    line += count(static_cast<uint64_t>(summary.overlapping), " skipped as overlapping, ");
  if (summary.passed > 0) line += count(summary.passed, " passed over, ");
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

std::vector<std::string> summary_lines(const RunSummary &summary) {
  // An input without IPv6 lines gets the one line IPv4 runs always had.
  if (summary.of[index_of(Family::ipv6)].lines == 0)
    return {summary_line(summary.of[index_of(Family::ipv4)])};
  std::vector<std::string> lines;
  for (const Family family : kAllFamilies) {
    const int i = index_of(family);
    lines.push_back(std::string(table_path(family)) + ": " + summary_line(summary.of[i]) +
                    (summary.replaced[i] ? "" : "; not replaced"));
  }
  return lines;
}

}  // namespace orvik
